// The window on a private session bus (the test runs under dbus-run-session), driven from
// outside with playerctl and gdbus as the desktop's media controls drive it: the metadata of a
// tagged file with its picture, play, pause and next reaching the player and the window, the
// announced changes, and a second start handing its files to this window. Sound goes to a private
// sound server's null sink, in real time.
#include "app/desktop_bus.h"
#include "output/support/pulse_daemon.h"
#include "support/album_driver.h"

#include "cli/support/silent_station.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace pt4;
using namespace pt4::testing;

namespace {

QByteArray Frame(const char* id, const QByteArray& content)
{
    QByteArray frame(id);
    for (int shift : {24, 16, 8, 0})
        frame += char((content.size() >> shift) & 0xFF);
    return frame + QByteArray(2, '\0') + content;
}

const QByteArray kPicture = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, 'p');

// A silent file behind an ID3v2.3 tag with title, artist, album (UTF-16) and a front cover.
QString WriteTaggedMp3(const QString& path)
{
    const QString silent = WriteSilentMp3(path + ".raw", 240);
    QFile raw(silent);
    if (!raw.open(QIODevice::ReadOnly))
        qFatal("no raw file");
    auto utf16 = [](const QString& text) {
        QByteArray bytes("\x01\xFF\xFE", 3);
        for (QChar c : text)
            bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
        return bytes;
    };
    const QByteArray frames = Frame("TIT2", utf16(QStringLiteral("梅の夜"))) +
                              Frame("TPE1", utf16(QStringLiteral("梅楽団"))) +
                              Frame("TALB", utf16(QStringLiteral("春の庭"))) +
                              Frame("APIC", QByteArray("\0image/png\0\x03\0", 13) + kPicture);
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

// Runs a tool to its end while the window answers the bus; its output, trimmed.
QString Tool(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 15000))
        process.kill();
    process.waitForFinished(1000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString Playerctl(const QStringList& arguments)
{
    return Tool(QStringLiteral("playerctl"),
                QStringList{QStringLiteral("-p"), QStringLiteral("plumtone4")} + arguments);
}

} // namespace

class DesktopBusTest : public QObject {
    Q_OBJECT
public slots:
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList&)
    {
        if (interfaceName != QStringLiteral("org.mpris.MediaPlayer2.Player"))
            return;
        if (changed.contains("PlaybackStatus"))
            announced_ << changed.value("PlaybackStatus").toString();
        if (changed.contains("Volume"))
            volumes_ << changed.value("Volume").toDouble();
    }

private slots:
    void initTestCase();
    void metadataAndCommandsOverTheBus();
    void secondStartHandsItsFilesOver();
    void aPlaylistIsAnAlbum();
    void aSilentStationLeavesTheWindowAnswering();

private:
    QStringList announced_;
    QList<double> volumes_;
    QTemporaryDir cache_;
    std::unique_ptr<pt4::test::SoundServer> pulse_;
};

void DesktopBusTest::initTestCase()
{
    QVERIFY2(TDesktopBus::SessionBus().has_value(), "run under dbus-run-session");
    qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
    pulse_ = std::make_unique<pt4::test::SoundServer>();
}

void DesktopBusTest::metadataAndCommandsOverTheBus()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    auto* bus = new TDesktopBus(f);
    QVERIFY(bus->Publish(*TDesktopBus::SessionBus()));
    QDBusConnection watcher = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
    QVERIFY(watcher.connect(QString(), kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                            this, SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));

    const QString tagged = WriteTaggedMp3(app.TempFile("tagged.mp3"));
    f.OpenChosenFile(tagged);
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().isEmpty(); }));
    const QStringList fields = Playerctl({"metadata", "--format",
                                          "{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}|"
                                          "{{xesam:url}}|{{mpris:artUrl}}"})
                                   .split(u'|');
    QCOMPARE(fields.size(), 6);
    QCOMPARE(fields.mid(0, 5), (QStringList{"梅の夜", "梅楽団", "春の庭", "240000000",
                                            QUrl::fromLocalFile(tagged).toString()}));
    // The picture went to the cache folder once, as it is in the file.
    const QString art = QUrl(fields[5]).toLocalFile();
    QVERIFY2(art.startsWith(cache_.path() + "/plumtone4/"), qPrintable(fields[5]));
    QFile picture(art);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    QCOMPARE(picture.readAll(), kPicture);

    // Play and pause reach the player and show on the window; each change is announced.
    Playerctl({"play"});
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QVERIFY(f.BlinkPlay());
    Playerctl({"pause"});
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPaused);
    QVERIFY(f.BlinkPause());
    QCOMPARE(Playerctl({"status"}), QStringLiteral("Paused"));
    QVERIFY(WaitUntil([&] { return announced_.size() >= 2; }, 5000));
    QCOMPARE(announced_.mid(0, 2), (QStringList{"Playing", "Paused"}));

    // The volume knob dragged in the window: the desktop hears of it and reads the new volume.
    Press(f.VolImage, Qt::LeftButton, QPoint(12, 7));
    MoveTo(f.VolImage, QPoint(42, 7)); // 10 -> 40
    Release(f.VolImage, Qt::LeftButton, QPoint(42, 7));
    QVERIFY(WaitUntil([&] { return volumes_.contains(0.4); }, 5000));
    QCOMPARE(Playerctl({"volume"}).toDouble(), 0.4);

    // Next goes through the album's tracks, also from pause.
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 240}, {"b.mp3", 240}});
    f.PlayFiles({dir + "/a.mp3", dir + "/b.mp3"});
    Playerctl({"pause"});
    const QString canGoNext = "org.mpris.MediaPlayer2.Player CanGoNext";
    QCOMPARE(
        Tool("gdbus", QString("call --session -d org.mpris.MediaPlayer2.plumtone4 -o /org/mpris/MediaPlayer2 "
                              "-m org.freedesktop.DBus.Properties.Get %1")
                          .arg(canGoNext)
                          .split(u' ')),
        QStringLiteral("(<true>,)"));
    Playerctl({"next"});
    QCOMPARE(QFileInfo(QString::fromStdString(f.MP3Player1.FileName())).fileName(), QStringLiteral("b.mp3"));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QCOMPARE(Playerctl({"metadata", "xesam:title"}), QStringLiteral("b.mp3"));
    QCOMPARE(
        Tool("gdbus", QString("call --session -d org.mpris.MediaPlayer2.plumtone4 -o /org/mpris/MediaPlayer2 "
                              "-m org.freedesktop.DBus.Properties.Get %1")
                          .arg(canGoNext)
                          .split(u' ')),
        QStringLiteral("(<false>,)"));
}

void DesktopBusTest::secondStartHandsItsFilesOver()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    auto* bus = new TDesktopBus(f);
    QVERIFY(bus->Publish(*TDesktopBus::SessionBus()));
    const QString dir = MakeAlbum(app.TempFile("handed"), {{"2.mp3", 240}, {"1.mp3", 240}});

    // Several files: continuous play in the order given. The second start ends at once.
    int exitCode = -1;
    Tool(QStringLiteral(PT4_BINARY_DIR "/bin/plumtone4"), {dir + "/2.mp3", dir + "/1.mp3"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying; }));
    QCOMPARE(f.Album.List(),
             (std::vector<std::string>{(dir + "/2.mp3").toStdString(), (dir + "/1.mp3").toStdString()}));
    QCOMPARE(QFileInfo(QString::fromStdString(f.MP3Player1.FileName())).fileName(), QStringLiteral("2.mp3"));

    // One file, named relative to the second start's folder: it opens and plays.
    QProcess second;
    second.setWorkingDirectory(dir);
    second.start(QStringLiteral(PT4_BINARY_DIR "/bin/plumtone4"), {QStringLiteral("1.mp3")});
    QVERIFY(WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 15000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(WaitUntil([&] { return f.MP3Player1.FileName() == (dir + "/1.mp3").toStdString(); }));
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying; }));
    QVERIFY(!f.Album.Selected());

    // A folder: its files in turn, in natural order, as when it is dropped on the window.
    WriteSilentMp3(dir + "/10.mp3", 3);
    Tool(QStringLiteral(PT4_BINARY_DIR "/bin/plumtone4"), {dir}, &exitCode);
    QCOMPARE(exitCode, 0);
    const std::vector<std::string> natural = {(dir + "/1.mp3").toStdString(), (dir + "/2.mp3").toStdString(),
                                              (dir + "/10.mp3").toStdString()};
    QVERIFY(
        WaitUntil([&] { return f.Album.List() == natural && f.MP3Player1.FileName() == natural.front(); }));
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying; }));
    QVERIFY(f.Album.Selected());
}

// A list opened as from the command line: its first entry waits under the list's title, the
// album label lit; Next passes the missing entry with one notice and plays the next file.
void DesktopBusTest::aPlaylistIsAnAlbum()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    auto* bus = new TDesktopBus(f);
    QVERIFY(bus->Publish(*TDesktopBus::SessionBus()));
    const QString dir = MakeAlbum(app.TempFile("listed"), {{"一.mp3", 240}, {"二.mp3", 240}});
    QFile list(dir + "/歌.m3u8");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(QStringLiteral("#EXTINF:240,梅の一\r\n一.mp3\r\nmissing.mp3\r\n二.mp3\r\n").toUtf8());
    list.close();
    QStringList notices; // in the song area, without holding play
    QObject::connect(&f, &TForm1::NoticeShown, [&notices](const QString& text) { notices << text; });
    f.OpenChosenFile(list.fileName());
    QVERIFY(WaitUntil([&] { return f.AlbumLabel->FontColor() == clYellow; })); // read off the window thread
    QCOMPARE(Playerctl({"metadata", "xesam:title"}), QStringLiteral("梅の一"));
    Playerctl({"play"});
    Playerctl({"next"});
    QCOMPARE(Playerctl({"metadata", "xesam:title"}), QStringLiteral("二.mp3"));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.front().contains(QStringLiteral("missing.mp3")));
}

// A station that accepts and never answers, opened over the bus: the window shows that it is
// connecting and answers the bus at once (asked from another thread, as the desktop asks); Stop
// over the bus hangs up on the station.
void DesktopBusTest::aSilentStationLeavesTheWindowAnswering()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    auto* bus = new TDesktopBus(f);
    QVERIFY(bus->Publish(*TDesktopBus::SessionBus()));
    pt4::test::SilentStation station;
    const QString url = QString::fromStdString(station.Url());
    std::atomic<qint64> answer = -1;
    std::thread asker([&] {
        if (!station.Accept())
            return;
        QDBusMessage get =
            QDBusMessage::createMethodCall(kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "Get");
        get.setArguments({"org.mpris.MediaPlayer2.Player", "PlaybackStatus"});
        const QDBusConnection caller = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "caller");
        QElapsedTimer asked;
        asked.start();
        const bool replied = caller.call(get, QDBus::Block, 15000).type() == QDBusMessage::ReplyMessage;
        answer = replied ? asked.elapsed() : 99999;
    });
    Playerctl({"open", url});
    WaitUntil([&] { return answer >= 0; });
    asker.join();
    QVERIFY(answer >= 0 && answer < 500);
    QCOMPARE(f.SongLabel1->Caption(), url + QStringLiteral(" 接続中…"));

    const auto stopping = std::chrono::steady_clock::now();
    Tool("gdbus", QString("call --session -d %1 -o %2 -m org.mpris.MediaPlayer2.Player.Stop")
                      .arg(kBusName, kObjectPath)
                      .split(u' '));
    QVERIFY(!f.MP3Player1.Connecting());
    QVERIFY(station.HangUp() - stopping < std::chrono::seconds(1)); // not its 10 s time-out
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().contains(QStringLiteral("接続中")); }));
}

QTEST_MAIN(DesktopBusTest)
#include "desktop_bus_test.moc"
