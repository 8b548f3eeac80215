// Start-up and exit with the settings file: defaults on a first start, what the file sets,
// odd and out-of-range values, and the file written at exit.
#include "support/app_fixtures.h"

#include "app/settings_file.h"

#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

class StartSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartWithoutFileWritesItAtExit();
    void storedValuesPlaceTheKnobs();
    void storedLoudnessModeReachesThePlayerAndStays();
    void balanceEndsAndOddBalances_data();
    void balanceEndsAndOddBalances();
    void outOfRangeAndOddValuesKeepTheDefaults();
    void storedPresetIsAppliedToButtonsAndPlayer();
    void twoStoredPresetsTheLastDecidesAndAloneStaysOn();
    void noPresetOnSendsNothing();
};

void StartSettingsTest::firstStartWithoutFileWritesItAtExit()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QVERIFY(!QFile::exists(app.SettingsPath()));
    QCOMPARE(f.MP3Player1.Volume(), 10u);
    QCOMPARE(f.MP3Player1.VolBalance(), 0);
    QVERIFY(f.PresetFlag(TPreset::Flat));
    QCOMPARE(f.VolImage->x(), 26);
    QCOMPARE(f.Label9->Caption(), QStringLiteral("10"));
    QCOMPARE(f.BalanceImage->x(), 186);
    const QByteArray written = app.Exit();
    QCOMPARE(written,
             QByteArray(
                 "[Vol]\nVol=10\n[Bal]\nBal=0\n[Option]\nFlat=1\nPop=0\nRock=0\nJazz=0\nClass=0\nVocal=0\n"));
}

void StartSettingsTest::storedValuesPlaceTheKnobs()
{
    TWindowsUnderTest app("[Vol]\nVol=73\n[Bal]\nBal=-40\n");
    TForm1& f = app.Form1();
    QCOMPARE(f.MP3Player1.Volume(), 73u);
    QCOMPARE(f.VolImage->x(), 89);
    QCOMPARE(f.Label9->Caption(), QStringLiteral("73"));
    QCOMPARE(f.MP3Player1.VolBalance(), -40);
    QCOMPARE(f.BalanceImage->x(), 166);
    QCOMPARE(f.Label8->Caption(), QStringLiteral("-40"));
    app.Exit();
    const TIniFile after(app.SettingsPath());
    QCOMPARE(after.ReadInteger("Vol", "Vol", 0), 73);
    QCOMPARE(after.ReadInteger("Bal", "Bal", 0), -40);
}

void StartSettingsTest::storedLoudnessModeReachesThePlayerAndStays()
{
    TWindowsUnderTest app("[ReplayGain]\nMode=3\nPreamp=-35\n");
    QCOMPARE(app.Form1().MP3Player1.ReplayGainMode(), TReplayGainMode::Auto);
    QCOMPARE(app.Form1().MP3Player1.ReplayGainPreamp(), -3.5);
    app.Form1().MP3Player1.SetReplayGainMode(TReplayGainMode::Off);
    app.Exit();
    const TIniFile after(app.SettingsPath());
    QCOMPARE(after.ReadInteger("ReplayGain", "Mode", -1), 0); // stored once, kept when back off
    QCOMPARE(after.ReadInteger("ReplayGain", "Preamp", 0), -35);
}

void StartSettingsTest::balanceEndsAndOddBalances_data()
{
    QTest::addColumn<int>("balance");
    QTest::addColumn<int>("knobLeft");
    QTest::newRow("left end") << -100 << 136;
    QTest::newRow("right end") << 100 << 236;
    // Halves go to the even pixel.
    QTest::newRow("1") << 1 << 186;
    QTest::newRow("-1") << -1 << 186;
    QTest::newRow("3") << 3 << 188;
    QTest::newRow("-3") << -3 << 184;
    QTest::newRow("99") << 99 << 236;
}

void StartSettingsTest::balanceEndsAndOddBalances()
{
    QFETCH(int, balance);
    QFETCH(int, knobLeft);
    TWindowsUnderTest app(QStringLiteral("[Bal]\nBal=%1\n").arg(balance).toLatin1());
    QCOMPARE(app.Form1().MP3Player1.VolBalance(), balance);
    QCOMPARE(app.Form1().BalanceImage->x(), knobLeft);
    QCOMPARE(app.Form1().Label8->Caption(), QString::number(balance));
}

void StartSettingsTest::outOfRangeAndOddValuesKeepTheDefaults()
{
    TWindowsUnderTest app("[Vol]\nVol=150\n[Bal]\nBal=-101\n[Option]\nFlat=abc\nPop=\n");
    TForm1& f = app.Form1();
    QCOMPARE(f.MP3Player1.Volume(), 10u);
    QCOMPARE(f.MP3Player1.VolBalance(), 0);
    QCOMPARE(f.VolImage->x(), 26);
    QVERIFY(f.PresetFlag(TPreset::Flat));
    QVERIFY(!f.PresetFlag(TPreset::Pop));
    const QByteArray written = app.Exit();
    QVERIFY(written.contains("Vol=10\n"));
    QVERIFY(written.contains("Bal=0\n"));
    QVERIFY(written.contains("Flat=1\n"));
    QVERIFY(written.contains("Pop=0\n"));
}

void StartSettingsTest::storedPresetIsAppliedToButtonsAndPlayer()
{
    TWindowsUnderTest app("[Option]\nFlat=0\nJazz=1\n");
    TForm1& f = app.Form1();
    TForm2& store = app.Form2();
    QVERIFY(f.PresetFlag(TPreset::Jazz));
    QVERIFY(!f.PresetFlag(TPreset::Flat));
    QVERIFY(SamePicture(f.JazzImage->Picture(), store.Image(23)));
    QVERIFY(SamePicture(f.FlatImage->Picture(), store.Image(17)));
    QVERIFY(SamePicture(f.PopImage->Picture(), store.Image(20)));
    const int jazz[] = {-1, -2, -3, 3, 4, -1};
    for (int band = 0; band < 6; ++band)
        QCOMPARE(app.Form3().TrackBar(band)->value(), jazz[band]);
    QCOMPARE(app.Form3().TrackBar(3)->toolTip(), QStringLiteral("1700Hz:-3"));
    app.Exit();
    const TIniFile saved(app.SettingsPath());
    QCOMPARE(saved.ReadBool("Option", "Flat", true), false);
    QCOMPARE(saved.ReadBool("Option", "Jazz", false), true);
    QCOMPARE(saved.ReadBool("Option", "Pop", true), false);
}

// Several presets on in a hand-edited file: the last one decides and is the only one on and lit,
// so a click on another of them applies and lights that one.
void StartSettingsTest::twoStoredPresetsTheLastDecidesAndAloneStaysOn()
{
    TWindowsUnderTest app("[Option]\nFlat=0\nPop=1\nVocal=1\n");
    TForm1& f = app.Form1();
    QVERIFY(!f.PresetFlag(TPreset::Pop));
    QVERIFY(f.PresetFlag(TPreset::Vocal));
    QVERIFY(SamePicture(f.VocalImage->Picture(), app.Form2().Image(27)));
    QVERIFY(SamePicture(f.PopImage->Picture(), app.Form2().Image(20)));
    QCOMPARE(app.Form3().TrackBar(0)->value(), 8);
    Click(f.PopImage);
    QVERIFY(SamePicture(f.PopImage->Picture(), app.Form2().Image(19)));
    QVERIFY(SamePicture(f.VocalImage->Picture(), app.Form2().Image(28)));
    QCOMPARE(app.Form3().TrackBar(0)->value(), -1);
    const QByteArray written = app.Exit();
    QVERIFY(written.contains("Pop=1\n"));
    QVERIFY(written.contains("Vocal=0\n"));
}

void StartSettingsTest::noPresetOnSendsNothing()
{
    TWindowsUnderTest app("[Option]\nFlat=0\n");
    TForm1& f = app.Form1();
    for (int p = 0; p < 6; ++p)
        QVERIFY(!f.PresetFlag(static_cast<TPreset>(p)));
    // The layout's pictures stay: FLAT shows on.
    QVERIFY(SamePicture(f.FlatImage->Picture(), app.Form2().Image(18)));
    for (int band = 0; band < 6; ++band) {
        QCOMPARE(app.Form3().TrackBar(band)->value(), 0);
        QCOMPARE(app.Form3().TrackBar(band)->toolTip(), QString());
    }
}

QTEST_MAIN(StartSettingsTest)
#include "start_settings_test.moc"
