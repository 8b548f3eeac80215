// The main window at start: every control at its place and size, with its captions, hints,
// colours and first pictures; the picture store and the equalizer window as laid out. The
// rendered window is kept in the build tree (window.png) for a person to look at.
#include "support/app_fixtures.h"

#include "app/equalizer_window.h"
#include "app/picture_store.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void windowIsFixedSizeWithItsCaption();
    void everyControlLiesAtItsPositionAndSize();
    void captionsHintsAndColours();
    void firstPicturesComeFromTheStore();
    void pictureStoreHoldsThirtyFourPicturesOfTheirSizes();
    void equalizerWindowSliders();
    void renderedWindowShowsTheSkin();
    void qtOwnDialogsSpeakJapanese();
};

void WindowLayoutTest::windowIsFixedSizeWithItsCaption()
{
    TWindowsUnderTest app;
    TForm1& form = app.Form1();
    QCOMPARE(form.windowTitle(), QStringLiteral("Plumtone4"));
    QCOMPARE(form.size(), QSize(331, 192));
    QCOMPARE(form.minimumSize(), QSize(331, 192));
    QCOMPARE(form.maximumSize(), QSize(331, 192));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.font().pixelSize(), 12);
}

void WindowLayoutTest::everyControlLiesAtItsPositionAndSize()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    struct Place {
        QWidget* control;
        QWidget* parent;
        QRect rect;
    };
    const QList<Place> places = {
        {f.hontaiImage, &f, {0, 0, 331, 192}},
        {f.OpenImage, &f, {8, 153, 36, 36}},
        {f.playImage, &f, {48, 153, 36, 36}},
        {f.pauseImage, &f, {88, 153, 36, 36}},
        {f.stopImage, &f, {128, 153, 36, 36}},
        {f.back1Image, &f, {168, 153, 36, 36}},
        {f.next1Image, &f, {208, 153, 36, 36}},
        {f.back2Image, &f, {248, 153, 36, 36}},
        {f.next2Image, &f, {288, 153, 36, 36}},
        {f.FlatImage, &f, {8, 88, 39, 17}},
        {f.PopImage, &f, {48, 88, 39, 17}},
        {f.RockImage, &f, {88, 88, 39, 17}},
        {f.JazzImage, &f, {128, 88, 39, 17}},
        {f.ClassicImage, &f, {168, 88, 39, 17}},
        {f.VocalImage, &f, {208, 88, 39, 17}},
        {f.Shape1, &f, {29, 128, 100, 5}},
        {f.VolImage, &f, {26, 123, 25, 15}}, // volume 10
        {f.Shape2, &f, {149, 128, 100, 5}},
        {f.BalanceImage, &f, {186, 123, 25, 15}},
        {f.Panel1, &f, {9, 8, 313, 73}},
        {f.Bevel1, f.Panel1, {8, 24, 297, 2}},
        {f.Bevel2, f.Panel1, {8, 48, 297, 2}},
        {f.SongLabel2, f.Panel1, {50, 10, 257, 12}},
        {f.SongLabel1, f.Panel1, {48, 8, 257, 12}},
        {f.ArtistLabel2, f.Panel1, {50, 34, 257, 12}},
        {f.ArtistLabel1, f.Panel1, {48, 32, 257, 12}},
        {f.Status1Image, f.Panel1, {16, 53, 16, 16}},
        {f.Status2Image, f.Panel1, {40, 53, 16, 16}},
        {f.Status3Image, f.Panel1, {64, 53, 16, 16}},
        {f.Image1, f.Panel1, {1, 1, 310, 70}},
        {f.MailLabel, f.Panel1, {88, 36, 217, 15}},
        {f.AboutPanel, &f, {272, 87, 43, 17}},
        {f.AlbumPanel, &f, {272, 105, 43, 17}},
        {f.RepeatPanel, &f, {272, 123, 43, 17}},
    };
    for (const Place& place : places) {
        QCOMPARE(place.control->parentWidget(), place.parent);
        QCOMPARE(place.control->geometry(), place.rect);
    }
    // Labels sized by their text: position given, one 12-pixel row high.
    const QList<std::pair<QWidget*, QPoint>> labels = {
        {f.Label6, {29, 108}},     {f.Label9, {76, 108}},       {f.Label7, {149, 108}},
        {f.Label8, {200, 108}},    {f.Label1, {10, 10}},        {f.Label3, {8, 8}},
        {f.Label2, {10, 34}},      {f.Label4, {8, 32}},         {f.TimeLabel, {96, 56}},
        {f.Label5, {128, 56}},     {f.EndTimeLabel, {146, 56}}, {f.RepeatLabel, {216, 56}},
        {f.AlbumLabel, {264, 56}}, {f.tenmetuLabel, {72, 39}},
    };
    for (const auto& [label, pos] : labels) {
        QCOMPARE(label->pos(), pos);
        QCOMPARE(label->height(), 12);
        QVERIFY(label->width() > 0);
    }
    // What the person sees at start: the About view is hidden, the display shows.
    QVERIFY(f.Image1->isHidden());
    QVERIFY(f.MailLabel->isHidden());
    QVERIFY(f.tenmetuLabel->isHidden());
    for (QWidget* control : {static_cast<QWidget*>(f.playImage), static_cast<QWidget*>(f.Panel1),
                             static_cast<QWidget*>(f.VolImage), static_cast<QWidget*>(f.RepeatPanel)})
        QVERIFY(control->isVisible());
}

void WindowLayoutTest::captionsHintsAndColours()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QList<std::pair<QWidget*, QString>> hints = {
        {f.OpenImage, "開く"},
        {f.playImage, "再生"},
        {f.pauseImage, "一時停止"},
        {f.stopImage, "停止"},
        {f.back1Image, "巻き戻し"},
        {f.next1Image, "早送り"},
        {f.back2Image, "前のトラック"},
        {f.next2Image, "次のトラック"},
        {f.FlatImage, "FLAT"},
        {f.PopImage, "POP"},
        {f.RockImage, "ROCK"},
        {f.JazzImage, "JAZZ"},
        {f.ClassicImage, "CLASSIC"},
        {f.VocalImage, "VOCAL"},
        {f.AboutPanel, "バージョン情報"},
        {f.AlbumPanel, "連続再生"},
        {f.RepeatPanel, "リピート"},
    };
    for (const auto& [control, hint] : hints)
        QCOMPARE(control->toolTip(), hint);

    QCOMPARE(f.Label6->Caption(), QStringLiteral("Volume"));
    QCOMPARE(f.Label9->Caption(), QStringLiteral("10"));
    QCOMPARE(f.Label7->Caption(), QStringLiteral("Balance"));
    QCOMPARE(f.Label8->Caption(), QStringLiteral("0"));
    QCOMPARE(f.Label3->Caption(), QStringLiteral("Song"));
    QCOMPARE(f.Label1->FontColor(), clGray);
    QCOMPARE(f.Label4->Caption(), QStringLiteral("Artist"));
    QCOMPARE(f.SongLabel1->FontColor(), clLime);
    QCOMPARE(f.SongLabel2->FontColor(), clGreen);
    QCOMPARE(f.SongLabel1->Caption(), QString());
    QCOMPARE(f.TimeLabel->Caption(), QStringLiteral("00:00"));
    QCOMPARE(f.Label5->Caption(), QStringLiteral("／"));
    QCOMPARE(f.EndTimeLabel->Caption(), QStringLiteral("00:00"));
    QCOMPARE(f.RepeatLabel->Caption(), QStringLiteral("Repeat"));
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QCOMPARE(f.AlbumLabel->Caption(), QStringLiteral("Album"));
    QCOMPARE(f.AlbumLabel->FontColor(), clOlive);
    QCOMPARE(f.tenmetuLabel->Caption(), QStringLiteral("⇒"));
    QCOMPARE(f.tenmetuLabel->FontColor(), clRed);
    QVERIFY(f.tenmetuLabel->font().bold());
    QCOMPARE(f.MailLabel->Caption(), TForm1::ContactAddress());
    QCOMPARE(f.MailLabel->cursor().shape(), Qt::PointingHandCursor);
    for (TSkinPanel* panel : {f.AboutPanel, f.AlbumPanel, f.RepeatPanel}) {
        QCOMPARE(panel->FontColor(), clWhite);
        QCOMPARE(panel->BevelOuter(), TBevelCut::bvRaised);
        QCOMPARE(panel->cursor().shape(), Qt::PointingHandCursor);
    }
    QCOMPARE(f.AboutPanel->Caption(), QStringLiteral("About"));
    QCOMPARE(f.AlbumPanel->Caption(), QStringLiteral("Album"));
    QCOMPARE(f.RepeatPanel->Caption(), QStringLiteral("Repeat"));
    QCOMPARE(f.VolImage->cursor().shape(), Qt::SizeHorCursor);
    QCOMPARE(f.BalanceImage->cursor().shape(), Qt::SizeHorCursor);
    QCOMPARE(f.OpenDialog1.Filter, QStringLiteral("MP3ファイル（*.MP3）|*.MP3*;*.M3U;*.M3U8;*.PLS"));
    QCOMPARE(TOpenDialog::DesktopFilter(f.OpenDialog1.Filter),
             QStringLiteral("MP3ファイル（*.MP3） (*.[Mm][Pp]3* *.[Mm]3[Uu] *.[Mm]3[Uu]8 *.[Pp][Ll][Ss])"));

    // The player and the timers as the layout sets them.
    QCOMPARE(f.MP3Player1.AutoOpen(), true);
    QCOMPARE(f.MP3Player1.AutoPlay(), false);
    QCOMPARE(f.MP3Player1.ChangePosStep(), 400);
    QCOMPARE(f.MP3Player1.EqualizerEnabled(), true);
    QCOMPARE(f.MP3Player1.EqualizerCount(), 6);
    QCOMPARE(f.MP3Player1.EqualizerMode(), TMP3EqualizerMode::memFreq);
    QCOMPARE(f.MP3Player1.Volume(), 10u);
    QCOMPARE(f.MP3Player1.VolBalance(), 0);
    QCOMPARE(f.MMTimer1.Interval(), 100u);
    QCOMPARE(f.MMTimer2.Interval(), 1000u);
    QCOMPARE(f.MMTimer3.Interval(), 100u);
    QCOMPARE(f.MMTimer4.Interval(), 500u);
    QVERIFY(!f.MMTimer1.Running());
    QVERIFY(!f.MMTimer2.Running());
    QVERIFY(!f.MMTimer3.Running()); // only while minimised and playing
    QVERIFY(!f.MMTimer4.Running());
}

void WindowLayoutTest::firstPicturesComeFromTheStore()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TForm2& store = app.Form2();
    const QList<std::pair<TSkinImage*, int>> pictures = {
        {f.OpenImage, 1},     {f.playImage, 3},   {f.pauseImage, 5},    {f.stopImage, 7},
        {f.back1Image, 9},    {f.next1Image, 11}, {f.back2Image, 13},   {f.next2Image, 15},
        {f.FlatImage, 18},    {f.PopImage, 20},   {f.RockImage, 22},    {f.JazzImage, 24},
        {f.ClassicImage, 26}, {f.VocalImage, 28}, {f.Status1Image, 29}, {f.Status2Image, 31},
        {f.Status3Image, 34},
    };
    for (const auto& [image, number] : pictures)
        QVERIFY2(SamePicture(image->Picture(), store.Image(number)), qPrintable(QString::number(number)));
}

void WindowLayoutTest::pictureStoreHoldsThirtyFourPicturesOfTheirSizes()
{
    TForm2 store;
    for (int n = 1; n <= 34; ++n) {
        const QSize expected = n <= 16 ? QSize(36, 36) : n <= 28 ? QSize(39, 17) : QSize(16, 16);
        QCOMPARE(store.Image(n).size(), expected);
    }
    // Up and pressed, on and off, dark and lit differ: every pair is two pictures.
    for (int n = 1; n <= 33; n += 2)
        QVERIFY2(!SamePicture(store.Image(n), store.Image(n + 1)), qPrintable(QString::number(n)));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, store.Image(35));
    QCOMPARE(QPixmap(":/art/background.png").size(), QSize(331, 192));
    QCOMPARE(QPixmap(":/art/about.png").size(), QSize(310, 70));
    QCOMPARE(QPixmap(":/art/icon.png").size(), QSize(32, 32));
    QCOMPARE(QPixmap(":/art/knob_volume.png").size(), QSize(25, 15));
    QCOMPARE(QPixmap(":/art/knob_balance.png").size(), QSize(25, 15));
}

void WindowLayoutTest::equalizerWindowSliders()
{
    TWindowsUnderTest app;
    TForm3& eq = app.Form3();
    QCOMPARE(eq.windowTitle(), QStringLiteral("Form3"));
    QCOMPARE(eq.size(), QSize(192, 155));
    QVERIFY(eq.isHidden());
    const int lefts[] = {8, 37, 66, 94, 123, 152};
    for (int i = 0; i < 6; ++i) {
        QSlider* s = eq.TrackBar(i);
        QCOMPARE(s->geometry(), QRect(lefts[i], 4, 22, 120));
        QCOMPARE(s->orientation(), Qt::Vertical);
        QCOMPARE(s->minimum(), -12);
        QCOMPARE(s->maximum(), 12);
        QCOMPARE(s->pageStep(), 3);
        QCOMPARE(s->tickInterval(), 3);
        QCOMPARE(s->tickPosition(), QSlider::TicksBothSides);
        QCOMPARE(s->value(), 0);
    }
}

void WindowLayoutTest::renderedWindowShowsTheSkin()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QImage image = f.grab().toImage();
    QCOMPARE(image.size(), QSize(331, 192));
    image.save(QStringLiteral(PT4_BINARY_DIR "/window.png"));

    // Each picture button is drawn where it stands: the window's pixels there are its picture's.
    for (TSkinImage* button :
         {f.OpenImage, f.playImage, f.stopImage, f.next2Image, f.FlatImage, f.VocalImage}) {
        const QImage expected = button->Picture().toImage().convertToFormat(image.format());
        const QImage drawn = image.copy(button->geometry());
        QCOMPARE(drawn.pixelColor(button->width() / 2, button->height() / 2),
                 expected.pixelColor(button->width() / 2, button->height() / 2));
    }
    // The display is black inside its bevel, the tracks are black bars.
    QCOMPARE(image.pixelColor(9 + 150, 8 + 45), QColor(Qt::black));
    QCOMPARE(image.pixelColor(29 + 60, 130), QColor(Qt::black));
    QCOMPARE(image.pixelColor(149 + 90, 130), QColor(Qt::black));
    // The About panel's face.
    QCOMPARE(image.pixelColor(272 + 3, 87 + 3), kPanelColor);
}

// Qt's own dialogs: the message-box buttons and the file dialog's labels.
void WindowLayoutTest::qtOwnDialogsSpeakJapanese()
{
    TWindowsUnderTest app;
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QCOMPARE(dialog.labelText(QFileDialog::FileName), QStringLiteral("ファイル名(&N):"));
}

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
