// Presets, the hidden equalizer window and the volume and balance knobs, driven with the mouse.
#include "support/app_fixtures.h"

#include "app/equalizer_window.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

using Sends = QList<std::pair<int, int>>;

static Sends Recorded(const QSignalSpy& spy)
{
    Sends sends;
    for (const QList<QVariant>& call : spy)
        sends.append({call.at(0).toInt(), call.at(1).toInt()});
    return sends;
}

static Sends BandValues(const std::array<int, 6>& values)
{
    Sends sends;
    for (int band = 0; band < 6; ++band)
        sends.append({band, values[band]});
    return sends;
}

class EqualizerKnobsTest : public QObject {
    Q_OBJECT
private slots:
    void displayFrequencies();
    void everyPresetSendsItsSixBandValuesInOrder_data();
    void everyPresetSendsItsSixBandValuesInOrder();
    void movedSlidersSendFirstThenAllSix();
    void presetClickedTwiceSendsAgainAndChangesNothingElse();
    void vocalHints();
    void rightButtonDoesNotClickAPreset();
    void volumeKnobStopsAtTheEndsOfItsTrack();
    void volumeKnobToTheFarLeft();
    void balanceKnobMovesTwoStepsAPixel();
    void balanceKnobStopsAtBothEnds();
    void onlyTheLeftButtonDrags();
};

void EqualizerKnobsTest::displayFrequencies()
{
    const QList<std::pair<int, int>> cases = {
        {-5, -5},     {19, 19},     {20, 20},     {21, 22},     {49, 50},     {50, 50},     {60, 60},
        {183, 180},   {199, 200},   {200, 200},   {489, 480},   {499, 500},   {500, 500},   {560, 600},
        {1712, 1700}, {1999, 2000}, {2000, 2000}, {4899, 4800}, {4999, 5000}, {5234, 5000}, {16000, 16000},
    };
    for (const auto& [hz, shown] : cases)
        QCOMPARE(DisplayFrequency(hz), shown);
}

void EqualizerKnobsTest::everyPresetSendsItsSixBandValuesInOrder_data()
{
    QTest::addColumn<int>("preset");
    QTest::addColumn<Sends>("values");
    QTest::newRow("FLAT") << 0 << BandValues({0, 0, 0, 0, 0, 0});
    QTest::newRow("POP") << 1 << BandValues({5, 10, 15, 5, 10, 5});
    QTest::newRow("ROCK") << 2 << BandValues({10, 15, 20, -5, -15, -5});
    QTest::newRow("JAZZ") << 3 << BandValues({5, 10, 15, -15, -20, 5});
    QTest::newRow("CLASSIC") << 4 << BandValues({0, 5, 20, -30, -20, -15});
    QTest::newRow("VOCAL") << 5 << BandValues({-40, -35, 25, 20, 5, -15});
}

void EqualizerKnobsTest::everyPresetSendsItsSixBandValuesInOrder()
{
    QFETCH(int, preset);
    QFETCH(Sends, values);
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QSignalSpy spy(&app.Form3(), &TForm3::BandValueSent);
    TSkinImage* buttons[] = {f.FlatImage, f.PopImage, f.RockImage, f.JazzImage, f.ClassicImage, f.VocalImage};
    Click(buttons[preset]);
    const Sends sent = Recorded(spy);
    QVERIFY(sent.size() >= 6);
    QCOMPARE(sent.mid(sent.size() - 6), values);
    for (int p = 0; p < 6; ++p) {
        QCOMPARE(f.PresetFlag(static_cast<TPreset>(p)), p == preset);
        const TPresetInfo& info = kPresets[p];
        QVERIFY(SamePicture(buttons[p]->Picture(),
                            app.Form2().Image(p == preset ? info.onImage : info.offImage)));
    }
}

void EqualizerKnobsTest::movedSlidersSendFirstThenAllSix()
{
    // From FLAT to CLASSIC five sliders move (band 0 stays at 0): each move sends at once.
    TWindowsUnderTest app;
    QSignalSpy spy(&app.Form3(), &TForm3::BandValueSent);
    Click(app.Form1().ClassicImage);
    const Sends expected =
        Sends{{1, 5}, {2, 20}, {3, -30}, {4, -20}, {5, -15}} + BandValues({0, 5, 20, -30, -20, -15});
    QCOMPARE(Recorded(spy), expected);
}

void EqualizerKnobsTest::presetClickedTwiceSendsAgainAndChangesNothingElse()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    Click(f.RockImage);
    QSignalSpy spy(&app.Form3(), &TForm3::BandValueSent);
    Click(f.RockImage);
    QCOMPARE(Recorded(spy), BandValues({10, 15, 20, -5, -15, -5}));
    QVERIFY(f.PresetFlag(TPreset::Rock));
    QVERIFY(!f.PresetFlag(TPreset::Flat));
    QVERIFY(SamePicture(f.RockImage->Picture(), app.Form2().Image(21)));
    QVERIFY(SamePicture(f.FlatImage->Picture(), app.Form2().Image(17)));
    const QByteArray written = app.Exit();
    QVERIFY(written.contains("Flat=0\n"));
    QVERIFY(written.contains("Rock=1\n"));
}

void EqualizerKnobsTest::vocalHints()
{
    TWindowsUnderTest app;
    Click(app.Form1().VocalImage);
    const QStringList hints = {"60Hz:-8", "180Hz:-7", "600Hz:5", "1700Hz:4", "5000Hz:1", "16000Hz:-3"};
    for (int band = 0; band < 6; ++band)
        QCOMPARE(app.Form3().TrackBar(band)->toolTip(), hints[band]);
}

void EqualizerKnobsTest::rightButtonDoesNotClickAPreset()
{
    TWindowsUnderTest app;
    QSignalSpy spy(&app.Form3(), &TForm3::BandValueSent);
    Click(app.Form1().PopImage, Qt::RightButton);
    QVERIFY(spy.isEmpty());
    QVERIFY(app.Form1().PresetFlag(TPreset::Flat));
}

// A fast drag past an end stops the knob at the end of its track, with the player's value on
// the label, however soon the button is let go.
void EqualizerKnobsTest::volumeKnobStopsAtTheEndsOfItsTrack()
{
    TWindowsUnderTest app("[Vol]\nVol=90\n");
    TForm1& f = app.Form1();
    TSkinImage* knob = f.VolImage;
    QCOMPARE(knob->x(), 106);
    Press(knob, Qt::LeftButton, QPoint(5, 7));
    QVERIFY(f.Dragging());
    MoveTo(knob, QPoint(10, 7)); // 5 pixels right
    QCOMPARE(knob->x(), 111);
    QCOMPARE(f.MP3Player1.Volume(), 95u);
    QCOMPARE(f.Label9->Caption(), QStringLiteral("95"));
    MoveTo(knob, QPoint(25, 7)); // a fast move past the end
    QCOMPARE(knob->x(), 116);
    QCOMPARE(f.MP3Player1.Volume(), 100u);
    QCOMPARE(f.Label9->Caption(), QStringLiteral("100"));
    Release(knob, Qt::LeftButton, QPoint(25, 7));
    QVERIFY(!f.Dragging());
    MoveTo(knob, QPoint(0, 7)); // no longer dragging: nothing moves
    QCOMPARE(knob->x(), 116);
    QVERIFY(app.Exit().contains("Vol=100\n"));
}

void EqualizerKnobsTest::volumeKnobToTheFarLeft()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TSkinImage* knob = f.VolImage;
    Press(knob, Qt::LeftButton, QPoint(12, 7));
    MoveTo(knob, QPoint(2, 7)); // 26 -> 16
    QCOMPARE(knob->x(), 16);
    QCOMPARE(f.MP3Player1.Volume(), 0u);
    QCOMPARE(f.Label9->Caption(), QStringLiteral("0"));
    QVERIFY(f.Dragging());
    Release(knob, Qt::LeftButton, QPoint(12, 7));
    QVERIFY(!f.Dragging());
}

void EqualizerKnobsTest::balanceKnobMovesTwoStepsAPixel()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TSkinImage* knob = f.BalanceImage;
    Press(knob, Qt::LeftButton, QPoint(12, 7));
    MoveTo(knob, QPoint(13, 7));
    QCOMPARE(knob->x(), 187);
    QCOMPARE(f.MP3Player1.VolBalance(), 2);
    QCOMPARE(f.Label8->Caption(), QStringLiteral("2"));
    MoveTo(knob, QPoint(2, 7));
    QCOMPARE(knob->x(), 177);
    QCOMPARE(f.MP3Player1.VolBalance(), -18);
    Release(knob, Qt::LeftButton, QPoint(12, 7));
    // The volume knob kept its place.
    QCOMPARE(f.VolImage->x(), 26);
}

void EqualizerKnobsTest::balanceKnobStopsAtBothEnds()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TSkinImage* knob = f.BalanceImage;
    Press(knob, Qt::LeftButton, QPoint(12, 7));
    MoveTo(knob, QPoint(12 - 60, 7)); // 186 -> 126: past the left end
    QCOMPARE(knob->x(), 136);
    QCOMPARE(f.MP3Player1.VolBalance(), -100);
    QCOMPARE(f.Label8->Caption(), QStringLiteral("-100"));
    MoveTo(knob, QPoint(12 + 110, 7)); // past the right end in one move
    QCOMPARE(knob->x(), 236);
    QCOMPARE(f.MP3Player1.VolBalance(), 100);
    QCOMPARE(f.Label8->Caption(), QStringLiteral("100"));
    Release(knob, Qt::LeftButton, QPoint(12, 7));
}

void EqualizerKnobsTest::onlyTheLeftButtonDrags()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    Press(f.VolImage, Qt::RightButton, QPoint(12, 7));
    QVERIFY(!f.Dragging());
    MoveTo(f.VolImage, QPoint(30, 7));
    QCOMPARE(f.VolImage->x(), 26);
    Release(f.VolImage, Qt::RightButton, QPoint(30, 7));
    QCOMPARE(f.MP3Player1.Volume(), 10u);
}

QTEST_MAIN(EqualizerKnobsTest)
#include "equalizer_knobs_test.moc"
