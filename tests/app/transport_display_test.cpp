// Transport buttons and the display with the real player writing to a WAVE file: open, play,
// pause twice, stop, rewind and fast-forward, the labels after the player's events, the
// indicators and their blinking, the About view and the title while minimised.
#include "support/app_fixtures.h"

#include "app/time_text.h"

#include <QDesktopServices>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

namespace {

// "テスト曲" and "梅楽団" in Shift-JIS, as a tag from a Japanese tagger holds them.
const QByteArray kSjisTitle("\x83\x65\x83\x58\x83\x67\x8b\xc8");
const QByteArray kSjisArtist("\x94\x7e\x8a\x79\x92\x63");

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class TransportDisplayTest : public QObject {
    Q_OBJECT
private slots:
    void timesKeepTheirMinutes();
    void longTimesFitTheirPlaces();
    void playWithoutFileChangesOnlyThePicture();
    void buttonsActOnThePrimaryButtonReleasedOverThem();
    void cancelledOpenChangesNothing();
    void openShowsTitleArtistAndExactTotal();
    void openPlayPauseTwiceAndStop();
    void blinkingAlternatesTheLitIndicator();
    void fastForwardAndRewindWhilePlaying();
    void fastForwardToTheEndEndsPlay();
    void positionEventsReachTheElapsedTime();
    void unreadableFileIsReportedAndIndicatorsStay();
    void aboutShownAndHidden();
    void mailLinkOpensTheMailProgram();
    void minimisedTitleShowsTheTimes();
};

void TransportDisplayTest::timesKeepTheirMinutes()
{
    QCOMPARE(TimeText(0), QStringLiteral("00:00"));
    QCOMPARE(TimeText(999), QStringLiteral("00:00"));
    QCOMPARE(TimeText(61500), QStringLiteral("01:01"));
    QCOMPARE(TimeText(240000), QStringLiteral("04:00")); // the total is the exact length
    QCOMPARE(TimeText(75 * 60000), QStringLiteral("75:00"));
    QCOMPARE(TimeText(3599999), QStringLiteral("59:59"));
    QCOMPARE(TimeText(3600000), QStringLiteral("60:00"));
    QCOMPARE(TimeText(100 * 60000 + 5000), QStringLiteral("100:05"));
}

// Up to 999:59 the elapsed time stays clear of the "／" and the indicators, and the total of the
// "Repeat" label; short times keep their places.
void TransportDisplayTest::longTimesFitTheirPlaces()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.TimeLabel->SetCaption(QStringLiteral("999:59"));
    f.EndTimeLabel->SetCaption(QStringLiteral("999:59"));
    QVERIFY(f.TimeLabel->width() >=
            QFontMetrics(f.TimeLabel->font()).horizontalAdvance(QStringLiteral("999:59")));
    QVERIFY(f.TimeLabel->geometry().right() < f.Label5->x());
    QVERIFY(f.TimeLabel->x() > f.Status3Image->geometry().right());
    QVERIFY(f.EndTimeLabel->geometry().right() < f.RepeatLabel->x());
    f.TimeLabel->SetCaption(QStringLiteral("00:00"));
    QCOMPARE(f.TimeLabel->pos(), QPoint(96, 56));
}

void TransportDisplayTest::playWithoutFileChangesOnlyThePicture()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    Press(f.playImage);
    QVERIFY(SamePicture(f.playImage->Picture(), app.Form2().Image(4)));
    Release(f.playImage);
    QVERIFY(SamePicture(f.playImage->Picture(), app.Form2().Image(3)));
    QVERIFY(SamePicture(f.Status3Image->Picture(), app.Form2().Image(34)));
    QVERIFY(!f.BlinkPlay());
    QVERIFY(!f.MMTimer2.Running());
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsStopped);
}

void TransportDisplayTest::buttonsActOnThePrimaryButtonReleasedOverThem()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QList<std::tuple<TSkinImage*, int, int>> buttons = {
        {f.OpenImage, 1, 2},   {f.playImage, 3, 4},    {f.pauseImage, 5, 6},   {f.stopImage, 7, 8},
        {f.back1Image, 9, 10}, {f.next1Image, 11, 12}, {f.back2Image, 13, 14}, {f.next2Image, 15, 16},
    };
    int asked = 0;
    f.OpenDialog1.Chooser = [&asked] {
        ++asked;
        return std::optional<QString>();
    };
    for (const auto& [button, up, pressed] : buttons) {
        Press(button, Qt::RightButton);
        QVERIFY(SamePicture(button->Picture(), app.Form2().Image(up)));
        Release(button, Qt::RightButton);
        Press(button);
        QVERIFY(SamePicture(button->Picture(), app.Form2().Image(pressed)));
        // Released away from the button: the captured mouse brings the release here, the
        // button lets go and does nothing.
        Release(button, Qt::LeftButton, QPoint(-20, -30));
        QVERIFY(SamePicture(button->Picture(), app.Form2().Image(up)));
    }
    QCOMPARE(asked, 0);
    QVERIFY(!f.MMTimer1.Running());
}

void TransportDisplayTest::cancelledOpenChangesNothing()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    int asked = 0;
    f.OpenDialog1.Chooser = [&asked] {
        ++asked;
        return std::optional<QString>();
    };
    Click(f.OpenImage);
    QCOMPARE(asked, 1);
    QVERIFY(f.MP3Player1.FileName().empty());
    QCOMPARE(f.MP3Player1.Capabilities(), mpcOpen);
}

void TransportDisplayTest::openShowsTitleArtistAndExactTotal()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString file = WriteSilentMp3(app.TempFile("four.mp3"), 240, kSjisTitle, kSjisArtist);
    f.OpenDialog1.Chooser = [file] { return std::optional<QString>(file); };
    f.RepeatLabel->SetFontColor(clYellow);
    Click(f.OpenImage);
    QCOMPARE(f.MP3Player1.FileName(), file.toStdString());
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().isEmpty(); }));
    QCOMPARE(f.SongLabel1->Caption(), QStringLiteral("テスト曲"));
    QCOMPARE(f.SongLabel2->Caption(), QStringLiteral("テスト曲"));
    QCOMPARE(f.ArtistLabel1->Caption(), QStringLiteral("梅楽団"));
    QCOMPARE(f.ArtistLabel2->Caption(), QStringLiteral("梅楽団"));
    // The trailing tag counts as data (240008 ms); scaled by 3600/3630 it would show 03:58.
    QCOMPARE(f.EndTimeLabel->Caption(), QStringLiteral("04:00"));
    QVERIFY(SamePicture(f.Status3Image->Picture(), app.Form2().Image(34)));

    // A file without tags shows its name; the total follows the new file.
    const QString plain = WriteSilentMp3(app.TempFile("short clip.mp3"), 75);
    f.OpenChosenFile(plain);
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption() == QStringLiteral("short clip.mp3"); }));
    QCOMPARE(f.ArtistLabel1->Caption(), QString());
    QCOMPARE(f.MP3Player1.Length(), 75000u);
    QCOMPARE(f.EndTimeLabel->Caption(), QStringLiteral("01:15"));
}

void TransportDisplayTest::openPlayPauseTwiceAndStop()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TForm2& store = app.Form2();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());

    // Without turning the event loop in between, the player cannot reach its end meanwhile.
    Click(f.playImage);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(30)));
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(31)));
    QVERIFY(SamePicture(f.Status3Image->Picture(), store.Image(33)));
    QVERIFY(f.BlinkPlay());
    QVERIFY(f.BlinkPhase());
    QVERIFY(f.MMTimer2.Running());

    Click(f.pauseImage);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPaused);
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(29)));
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(32)));
    QVERIFY(SamePicture(f.Status3Image->Picture(), store.Image(33)));
    QVERIFY(!f.BlinkPlay());
    QVERIFY(f.BlinkPause());
    QVERIFY(f.MMTimer2.Running());

    Click(f.pauseImage);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(30)));
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(31)));
    QVERIFY(f.BlinkPlay());
    QVERIFY(!f.BlinkPause());

    f.RepeatLabel->SetFontColor(clYellow);
    Click(f.stopImage);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsStopped);
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(29)));
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(31)));
    QVERIFY(SamePicture(f.Status3Image->Picture(), store.Image(34)));
    QVERIFY(!f.BlinkPlay());
    QVERIFY(!f.BlinkPhase());
    QVERIFY(!f.MMTimer2.Running());
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    // The stop's position notice brings the elapsed time back to the start.
    f.TimeLabel->SetCaption(QStringLiteral("--:--"));
    QVERIFY(WaitUntil([&] { return f.TimeLabel->Caption() == QStringLiteral("00:00"); }));

    // Pause on a stopped player does nothing.
    Click(f.pauseImage);
    QVERIFY(SamePicture(f.Status3Image->Picture(), store.Image(34)));
    QVERIFY(!f.MMTimer2.Running());
}

void TransportDisplayTest::blinkingAlternatesTheLitIndicator()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TForm2& store = app.Form2();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    f.MMTimer2Timer();
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(30)));
    QVERIFY(!f.BlinkPhase());
    f.MMTimer2Timer();
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(29)));
    f.MMTimer2Timer();
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(30)));
    Click(f.pauseImage);
    f.MMTimer2Timer();
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(32)));
    f.MMTimer2Timer();
    QVERIFY(SamePicture(f.Status2Image->Picture(), store.Image(31)));
    QVERIFY(SamePicture(f.Status1Image->Picture(), store.Image(29))); // only the pause light blinks
    Click(f.stopImage);
}

void TransportDisplayTest::fastForwardAndRewindWhilePlaying()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);

    Press(f.next1Image);
    QVERIFY(f.ForwardHeld());
    QVERIFY(f.MMTimer1.Running());
    for (int tick = 0; tick < 6; ++tick) {
        const uint32_t before = f.MP3Player1.Position();
        f.MMTimer1Timer();
        QVERIFY2(f.MP3Player1.Position() >= before + 5000, qPrintable(QString::number(before)));
    }
    Release(f.next1Image);
    QVERIFY(!f.MMTimer1.Running());

    Press(f.back1Image);
    const uint32_t before = f.MP3Player1.Position();
    QVERIFY(before >= 30000);
    f.MMTimer1Timer();
    const uint32_t after = f.MP3Player1.Position();
    QVERIFY2(after < before && after + 5100 >= before,
             qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    Release(f.back1Image);

    // Paused: the held button does nothing.
    Click(f.pauseImage);
    Press(f.next1Image);
    const uint32_t paused = f.MP3Player1.Position();
    f.MMTimer1Timer();
    QVERIFY(f.MP3Player1.Position() < paused + 5000);
    Release(f.next1Image);
    Click(f.stopImage);
}

void TransportDisplayTest::fastForwardToTheEndEndsPlay()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 60));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    Press(f.next1Image);
    // Jump until the next jump would reach the end; the rest plays out.
    for (int tick = 0; tick < 20 && f.MP3Player1.Position() + 5000 < f.MP3Player1.Length(); ++tick)
        f.MMTimer1Timer();
    QVERIFY(f.MP3Player1.Position() >= 55000);
    Release(f.next1Image);
    // The end of play comes as an event: the indicators go back to stopped.
    QVERIFY2(WaitUntil([&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsStopped; }),
             qPrintable(QStringLiteral("still playing at %1 ms").arg(f.MP3Player1.Position())));
    QVERIFY(WaitUntil([&] { return SamePicture(f.Status3Image->Picture(), app.Form2().Image(34)); }));
    QVERIFY(SamePicture(f.Status1Image->Picture(), app.Form2().Image(29)));
    QVERIFY(!f.MMTimer2.Running());
    // Rewound: Play starts again.
    QVERIFY(f.MP3Player1.Capabilities() & mpcPlay);
}

void TransportDisplayTest::positionEventsReachTheElapsedTime()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    Click(f.pauseImage);
    // Paused, the position stands still while the display catches up with it.
    QVERIFY(WaitUntil([&] { return f.TimeLabel->Caption() == TimeText(f.MP3Player1.Position()); }));
    f.MP3Player1ChangePosition();
    QCOMPARE(f.TimeLabel->Caption(), TimeText(f.MP3Player1.Position()));
    Click(f.stopImage);
    QVERIFY(WaitUntil([&] { return f.TimeLabel->Caption() == QStringLiteral("00:00"); }));
}

void TransportDisplayTest::unreadableFileIsReportedAndIndicatorsStay()
{
    TExceptionRecorder errors;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString text = app.TempFile("notes.mp3");
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4000, 'x'));
    file.close();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("short.mp3"), 75));
    QVERIFY(WaitUntil([&] { return f.EndTimeLabel->Caption() == QStringLiteral("01:15"); }));
    f.MP3Player1.Stop();
    f.Status3Image->SetPicture(app.Form2().Image(33)); // a picture the open must not touch
    f.OpenDialog1.Chooser = [text] { return std::optional<QString>(text); };
    Click(f.OpenImage);
    QCOMPARE(errors.Texts(), QStringList{QStringLiteral("unknown MPEG Audio format.")});
    // The previous file's total goes with its title.
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption().isEmpty(); }));
    QCOMPARE(f.EndTimeLabel->Caption(), QStringLiteral("00:00"));
    QVERIFY(SamePicture(f.Status3Image->Picture(), app.Form2().Image(33)));
    QVERIFY(SamePicture(f.OpenImage->Picture(), app.Form2().Image(1)));
    QCOMPARE(f.MP3Player1.Capabilities(), mpcOpen);
}

void TransportDisplayTest::aboutShownAndHidden()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    Press(f.AboutPanel);
    QCOMPARE(f.AboutPanel->BevelOuter(), TBevelCut::bvLowered);
    Release(f.AboutPanel);
    QCOMPARE(f.AboutPanel->BevelOuter(), TBevelCut::bvRaised);
    QVERIFY(f.Image1->isVisible());
    QVERIFY(f.MailLabel->isVisible());
    QVERIFY(f.tenmetuLabel->isVisible());
    QVERIFY(f.MMTimer4.Running());
    QCOMPARE(f.AboutPanel->FontColor(), clYellow);
    QVERIFY(f.AboutArrowPhase());
    f.MMTimer4Timer();
    QCOMPARE(f.tenmetuLabel->FontColor(), clYellow);
    f.MMTimer4Timer();
    QCOMPARE(f.tenmetuLabel->FontColor(), clRed);
    f.grab().save(QStringLiteral(PT4_BINARY_DIR "/window-about.png"));

    Click(f.AboutPanel);
    QVERIFY(f.Image1->isHidden());
    QVERIFY(f.MailLabel->isHidden());
    QVERIFY(f.tenmetuLabel->isHidden());
    QVERIFY(!f.MMTimer4.Running());
    QCOMPARE(f.AboutPanel->FontColor(), clWhite);
    QVERIFY(!f.AboutArrowPhase());
}

void TransportDisplayTest::mailLinkOpensTheMailProgram()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    TWindowsUnderTest app;
    Click(app.Form1().AboutPanel);
    Click(app.Form1().MailLabel);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("mailto:") + TForm1::ContactAddress())});
}

void TransportDisplayTest::minimisedTitleShowsTheTimes()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("a.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    f.MMTimer3Timer();
    QCOMPARE(f.ApplicationTitle(), QStringLiteral("Plumtone4"));
    // The title's timer runs only while the title shows the times: minimised and playing.
    Click(f.playImage);
    QVERIFY(!f.MMTimer3.Running());
    f.showMinimized();
    QVERIFY(WaitUntil([&] { return f.isMinimized(); }));
    QVERIFY(WaitUntil([&] { return f.MMTimer3.Running(); }));
    Click(f.pauseImage);
    QVERIFY(WaitUntil([&] { return !f.MMTimer3.Running(); }));
    QCOMPARE(f.ApplicationTitle(), QStringLiteral("Plumtone4"));
    f.MMTimer3Timer();
    QCOMPARE(f.ApplicationTitle(), QStringLiteral("Plumtone4"));
    Click(f.pauseImage);
    QVERIFY(WaitUntil([&] { return f.MMTimer3.Running(); }));
    const QString elapsed = TimeText(f.MP3Player1.Position());
    f.MMTimer3Timer();
    const QString title = f.ApplicationTitle();
    QVERIFY2(QRegularExpression(QStringLiteral("^Plumtone4 \\d\\d:\\d\\d / 04:00$")).match(title).hasMatch(),
             qPrintable(title));
    QVERIFY(title.mid(10, 5) >= elapsed);
    f.showNormal();
    QVERIFY(WaitUntil([&] { return !f.isMinimized(); }));
    QVERIFY(WaitUntil([&] { return !f.MMTimer3.Running(); }));
    QCOMPARE(f.ApplicationTitle(), QStringLiteral("Plumtone4"));
    Click(f.stopImage);
}

QTEST_MAIN(TransportDisplayTest)
#include "transport_display_test.moc"
