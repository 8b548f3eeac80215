// The window's comforts on a private desktop (scripts/private-desktop.sh: an X server, a sound
// server with a null sink, a session bus): song notifications seen by a fake notification server
// on the bus, with the window inactive and active; the sleep timer's fade and stop with
// shortened times, in real time; shuffle and the sleep timer through the window's menu.
#include "app/comforts.h"
#include "support/album_driver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;
using namespace std::chrono_literals;

namespace {

QByteArray Frame(const char* id, const QByteArray& content)
{
    QByteArray frame(id);
    for (int shift : {24, 16, 8, 0})
        frame += char((content.size() >> shift) & 0xFF);
    return frame + QByteArray(2, '\0') + content;
}

const QByteArray kCover = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(60, 'j');

// A silent file behind an ID3v2.3 tag with title, artist (UTF-16) and a front cover (JPEG).
QString WriteCoveredMp3(const QString& path, const QString& title, const QString& artist)
{
    QFile raw(WriteSilentMp3(path + ".raw", 240));
    if (!raw.open(QIODevice::ReadOnly))
        qFatal("no raw file");
    auto utf16 = [](const QString& text) {
        QByteArray bytes("\x01\xFF\xFE", 3);
        for (QChar c : text)
            bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
        return bytes;
    };
    const QByteArray frames = Frame("TIT2", utf16(title)) + Frame("TPE1", utf16(artist)) +
                              Frame("APIC", QByteArray("\0image/jpeg\0\x03\0", 14) + kCover);
    const auto size = quint32(frames.size());
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag += char((size >> shift) & 0x7F);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    out.write(tag + frames + raw.readAll());
    return path;
}

QAction* MenuEntry(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (action->menu() && action->menu()->title().startsWith(text))
            return action;
    }
    return nullptr;
}

// Opens a menu as the user does, so that it sets its entries up, and closes it again.
void ShowMenu(QMenu* menu)
{
    menu->popup(QPoint(10, 10));
    QVERIFY(WaitUntil([menu] { return menu->isVisible(); }, 5000));
    menu->close();
}

} // namespace

// org.freedesktop.Notifications as a desktop's notification server offers it, recording calls.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct TCall {
        uint replacesId;
        QString summary, body;
        QVariantMap hints;
        uint id;
    };
    QList<TCall> calls;

public slots:
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        // A replaced notification keeps its id, as servers do.
        const uint id = replacesId != 0 ? replacesId : ++lastId_;
        calls.append({replacesId, summary, body, hints, id});
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint lastId_ = 40;
};

class ComfortsDesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void songChangesAreNotifiedWhileTheWindowIsInactive();
    void songsFollowingOnTheirOwnAreNotified();
    void sleepTimerFadesOutAndStops_data();
    void sleepTimerFadesOutAndStops();
    void menuEntriesDriveShuffleAndTheSleepTimer();
    void listResumesOnItsEntryAtItsPlace_data();
    void listResumesOnItsEntryAtItsPlace();

private:
    FakeNotifications fake_;
    QTemporaryDir cache_;
};

void ComfortsDesktopTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("run under scripts/private-desktop.sh");
    qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
    QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications");
    QVERIFY(server.registerObject("/org/freedesktop/Notifications", &fake_, QDBusConnection::ExportAllSlots));
    QVERIFY(server.registerService("org.freedesktop.Notifications"));
}

void ComfortsDesktopTest::songChangesAreNotifiedWhileTheWindowIsInactive()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString dir = app.TempFile("songs");
    QDir().mkpath(dir);
    const QString a = WriteCoveredMp3(dir + "/a.mp3", QStringLiteral("梅の夜"), QStringLiteral("梅楽団"));
    const QString b = WriteSilentMp3(dir + "/b.mp3", 240, "Second", "Band & Co");
    const QString c = WriteSilentMp3(dir + "/c.mp3", 240, "Third", "Band");

    // Another window of the desktop is the active one.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!f.isActiveWindow());

    f.PlayFiles({a, b, c});
    QVERIFY(WaitUntil([&] { return fake_.calls.size() == 1; }, 5000));
    FakeNotifications::TCall first = fake_.calls[0];
    QCOMPARE(first.summary, QStringLiteral("梅の夜"));
    QCOMPARE(first.body, QStringLiteral("梅楽団"));
    QCOMPARE(first.replacesId, 0u);
    // The cover as it is in the file.
    QFile cover(first.hints.value("image-path").toString());
    QVERIFY2(cover.open(QIODevice::ReadOnly), qPrintable(cover.fileName()));
    QCOMPARE(cover.readAll(), kCover);

    // The next song replaces the notification; one without a cover has none.
    f.NextTrack();
    QVERIFY(WaitUntil([&] { return fake_.calls.size() == 2; }, 5000));
    QCOMPARE(fake_.calls[1].summary, QStringLiteral("Second"));
    QCOMPARE(fake_.calls[1].body, QStringLiteral("Band &amp; Co"));
    QCOMPARE(fake_.calls[1].replacesId, first.id);
    QVERIFY(!fake_.calls[1].hints.contains("image-path"));
    // Pause and resume are no change of song.
    f.PlayOrPause();
    f.PlayOrPause();
    QTest::qWait(300);
    QCOMPARE(fake_.calls.size(), 2);

    // The user looks at the window: it shows the change itself.
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.NextTrack();
    QVERIFY(WaitUntil([&] { return f.Album.TrackIndex() == 2; }, 5000));
    QTest::qWait(300);
    QCOMPARE(fake_.calls.size(), 2);

    // Switched off in the menu: no notification even while inactive; kept in PT4.INI.
    ShowMenu(f.ContextMenu());
    QAction* notify = MenuEntry(f.ContextMenu(), QStringLiteral("曲が変わったら通知"));
    QVERIFY(notify && notify->isChecked());
    notify->trigger();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    f.PreviousTrack();
    QVERIFY(WaitUntil([&] { return f.Album.TrackIndex() == 1; }, 5000));
    QTest::qWait(300);
    QCOMPARE(fake_.calls.size(), 2);
    QVERIFY(app.Exit().contains("Notify=0\n"));
}

// The next file of a list follows without a gap and without an end of play: its start is a change
// of song too.
void ComfortsDesktopTest::songsFollowingOnTheirOwnAreNotified()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString one = WriteSilentMp3(app.TempFile("one.mp3"), 3, "One", "Band");
    const QString two = WriteSilentMp3(app.TempFile("two.mp3"), 3, "Two", "Band");
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    const qsizetype before = fake_.calls.size();
    f.PlayFiles({one, two});
    QVERIFY(WaitUntil([&] { return fake_.calls.size() == before + 2; }, 15000));
    QCOMPARE(fake_.calls[before].summary, QStringLiteral("One"));
    QCOMPARE(fake_.calls[before + 1].summary, QStringLiteral("Two"));
    QCOMPARE(fake_.calls[before + 1].replacesId, fake_.calls[before].id);
}

void ComfortsDesktopTest::sleepTimerFadesOutAndStops_data()
{
    QTest::addColumn<int>("totalMs");
    QTest::addColumn<int>("fadeMs");
    QTest::addColumn<int>("cancelAtMs");  // -1: not cancelled
    QTest::addColumn<int>("restartAtMs"); // -1: not started again; else with totalMs from then
    QTest::newRow("fades out and stops") << 900 << 500 << -1 << -1;
    QTest::newRow("fade longer than the time") << 300 << 600 << -1 << -1;
    QTest::newRow("cancelled before the fade") << 900 << 500 << 200 << -1;
    QTest::newRow("cancelled in the fade") << 900 << 500 << 650 << -1;
    QTest::newRow("started again in the fade") << 900 << 500 << -1 << 650;
}

void ComfortsDesktopTest::sleepTimerFadesOutAndStops()
{
    QFETCH(int, totalMs);
    QFETCH(int, fadeMs);
    QFETCH(int, cancelAtMs);
    QFETCH(int, restartAtMs);
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TSleepTimer& timer = f.Comforts().SleepTimer();
    timer.FadeTime = std::chrono::milliseconds(fadeMs);
    timer.FadeStep = 20ms;
    f.OpenLocation(WriteSilentMp3(app.TempFile("long.mp3"), 240));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    f.SetVolumeFromDesktop(60);

    // The volume and the status as they go, sampled far more often than the fade steps.
    struct TSample {
        qint64 atMs;
        uint32_t volume;
        TMP3PlayerStatus status;
    };
    QList<TSample> samples;
    QElapsedTimer clock;
    timer.Start(std::chrono::milliseconds(totalMs));
    clock.start();
    const int endMs = (restartAtMs >= 0 ? restartAtMs : 0) + totalMs;
    bool cancelled = false, restarted = false;
    while (clock.elapsed() < endMs + 400) {
        if (cancelAtMs >= 0 && !cancelled && clock.elapsed() >= cancelAtMs) {
            timer.Cancel();
            cancelled = true;
        }
        if (restartAtMs >= 0 && !restarted && clock.elapsed() >= restartAtMs) {
            timer.Start(std::chrono::milliseconds(totalMs));
            restarted = true;
        }
        samples.append({clock.elapsed(), f.MP3Player1.Volume(), f.MP3Player1.Status()});
        QTest::qWait(5);
    }

    if (cancelAtMs >= 0) {
        // Play goes on at the volume it had.
        QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
        QCOMPARE(f.MP3Player1.Volume(), 60u);
        QVERIFY(!timer.Active());
        for (const TSample& s : samples)
            if (s.atMs < cancelAtMs - 20)
                QVERIFY2(s.volume == 60 || s.atMs > totalMs - fadeMs - 20,
                         qPrintable(QString::number(s.atMs)));
        return;
    }
    // Stopped at the end, not before; the volume back for the next play, the window showing it.
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsStopped);
    QCOMPARE(f.MP3Player1.Volume(), 60u);
    QVERIFY(!timer.Active());
    QVERIFY(SamePicture(f.Status3Image->Picture(), app.Form2().Image(34)));
    const auto stopped = std::find_if(samples.begin(), samples.end(), [](const TSample& s) {
        return s.status == TMP3PlayerStatus::mpsStopped;
    });
    QVERIFY(stopped != samples.end());
    QVERIFY2(stopped->atMs >= endMs - 20, qPrintable(QString::number(stopped->atMs)));
    // Full volume until the fade; then only down, through the middle, to silence at the end.
    const int untilFade = totalMs - std::min(fadeMs, totalMs);
    const auto beforeFade = [&](qint64 atMs) {
        const bool first = atMs < untilFade - 20;
        const bool second =
            restartAtMs >= 0 && atMs > restartAtMs + 20 && atMs < restartAtMs + untilFade - 20;
        return first || second;
    };
    uint32_t last = 60;
    bool halfway = false;
    for (auto s = samples.begin(); s != stopped; ++s) {
        if (beforeFade(s->atMs))
            QVERIFY2(s->volume == 60, qPrintable(QString("%1 ms: %2").arg(s->atMs).arg(s->volume)));
        if (restartAtMs >= 0 && s->atMs < restartAtMs + 20)
            continue; // the first fade, given back by the new start
        QVERIFY2(s->volume <= last,
                 qPrintable(QString("%1 ms: %2 after %3").arg(s->atMs).arg(s->volume).arg(last)));
        last = s->volume;
        halfway = halfway || (s->volume > 15 && s->volume < 45);
    }
    QVERIFY(halfway);
    QVERIFY2(last <= 10, qPrintable(QString::number(last)));
    if (restartAtMs >= 0) {
        // The new start gave the faded volume back at once.
        const auto after = std::find_if(samples.begin(), samples.end(),
                                        [&](const TSample& s) { return s.atMs >= restartAtMs + 10; });
        QVERIFY(after != samples.end() && after->volume == 60);
    }
}

void ComfortsDesktopTest::menuEntriesDriveShuffleAndTheSleepTimer()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QMenu* menu = f.ContextMenu();
    ShowMenu(menu);
    QAction* shuffle = MenuEntry(menu, QStringLiteral("シャッフル"));
    QVERIFY(shuffle && !shuffle->isChecked());
    shuffle->trigger();
    QVERIFY(f.Album.Shuffle());

    // Ctrl+Right and the skin's track buttons follow the shuffled order.
    QStringList files;
    for (int i = 0; i < 5; ++i)
        files << WriteSilentMp3(app.TempFile(QString("t%1.mp3").arg(i)), 240);
    f.PlayFiles(files);
    QStringList order;
    for (int32_t position = 0; position < 5; ++position)
        order << files[f.Album.Entry(position)];
    const auto playing = [&f] { return QString::fromStdString(f.MP3Player1.FileName()); };
    QCOMPARE(playing(), order[0]);
    QTest::keyClick(&f, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(playing(), order[1]);
    Click(f.next2Image);
    QCOMPARE(playing(), order[2]);
    Click(f.back2Image);
    QCOMPARE(playing(), order[1]);
    QTest::keyClick(&f, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(playing(), order[0]);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);

    // The sleep timer's entry shows the time left once one is chosen.
    QAction* sleep = MenuEntry(menu, QStringLiteral("スリープタイマー"));
    QVERIFY(sleep && sleep->menu());
    QCOMPARE(sleep->menu()->title(), QStringLiteral("スリープタイマー"));
    QAction* thirty = MenuEntry(sleep->menu(), QStringLiteral("30 分"));
    QVERIFY(thirty);
    thirty->trigger();
    QVERIFY(f.Comforts().SleepTimer().Active());
    ShowMenu(menu);
    QVERIFY2(sleep->menu()->title().startsWith(QStringLiteral("スリープタイマー (残り 29:5")) ||
                 sleep->menu()->title() == QStringLiteral("スリープタイマー (残り 30:00)"),
             qPrintable(sleep->menu()->title()));
    ShowMenu(sleep->menu());
    QVERIFY(thirty->isChecked());
    MenuEntry(sleep->menu(), QStringLiteral("オフ"))->trigger();
    QVERIFY(!f.Comforts().SleepTimer().Active());
    ShowMenu(menu);
    QCOMPARE(sleep->menu()->title(), QStringLiteral("スリープタイマー"));

    // Shuffle is kept in PT4.INI and comes back at the next start.
    const QByteArray written = app.Exit();
    QVERIFY(written.contains("Shuffle=1\n"));
    TWindowsUnderTest again(written);
    QVERIFY(again.Form1().Album.Shuffle());
}

void ComfortsDesktopTest::listResumesOnItsEntryAtItsPlace_data()
{
    QTest::addColumn<bool>("shuffled");
    QTest::newRow("in order") << false;
    QTest::newRow("shuffled") << true;
}

// The list and the entry that played come back, paused where they were left; the rest of the
// pass follows: in the list's order, or shuffled with every other entry once.
void ComfortsDesktopTest::listResumesOnItsEntryAtItsPlace()
{
    QFETCH(bool, shuffled);
    QTemporaryDir dir;
    QStringList files;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        files << WriteSilentMp3(dir.filePath(name), 240);
    const auto loaded = [](TForm1& f) { return TEndPlayLog::Name(f.MP3Player1.FileName()); };

    QByteArray written;
    uint32_t leftAt = 0;
    QString resumedFile;
    {
        TWindowsUnderTest app;
        TForm1& f = app.Form1();
        f.Album.SetShuffle(shuffled);
        f.PlayFiles(files);
        QVERIFY(f.Album.Next());
        resumedFile = loaded(f);
        f.MP3Player1.Seek(30000);
        QVERIFY(WaitUntil([&] { return f.MP3Player1.Position() >= 30000; }, 5000));
        f.PlayOrPause();
        leftAt = f.MP3Player1.Position();
        written = app.Exit();
    }
    QVERIFY2(written.contains("[Resume]\nKind=list\nCount=3\n"), written.constData());

    TWindowsUnderTest again(written);
    TForm1& f = again.Form1();
    QCOMPARE(f.Album.Shuffle(), shuffled);
    QVERIFY(f.Comforts().Resume());
    QCOMPARE(loaded(f), resumedFile);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPaused);
    QVERIFY2(std::abs(int64_t(f.MP3Player1.Position()) - int64_t(leftAt)) <= 30,
             qPrintable(QString("%1 / %2").arg(f.MP3Player1.Position()).arg(leftAt)));
    QCOMPARE(f.TimeLabel->Caption(), QStringLiteral("00:30"));
    QVERIFY(f.Album.Selected());
    QVERIFY(f.BlinkPause());

    f.PlayOrPause();
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QStringList rest;
    while (f.Album.Next())
        rest << loaded(f);
    if (!shuffled) {
        QCOMPARE(resumedFile, QStringLiteral("b.mp3"));
        QCOMPARE(rest, QStringList{"c.mp3"});
    } else {
        rest << resumedFile;
        rest.sort();
        QCOMPARE(rest, (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    }
}

QTEST_MAIN(ComfortsDesktopTest)
#include "comforts_desktop_test.moc"
