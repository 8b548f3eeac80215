// The window with a stream that cannot seek (standard input fed through a pipe): "--:--" for
// its unknown total, in the display and in the minimised title, and a held fast-forward or
// rewind button that leaves it alone instead of seeking; a station that drops the connection
// shows its address while it reconnects, and one slower than real time says when it buffers.
#include "cli/support/radio_server.h"
#include "output/support/pulse_daemon.h"
#include "support/app_fixtures.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <thread>
#include <unistd.h>

using namespace pt4;
using namespace pt4::testing;

class StreamDisplayTest : public QObject {
    Q_OBJECT
private slots:
    void standardInputShowsAnUnknownTotalAndIsNotSought();
    void aStationThatDropsShowsItsAddressWhileItReconnects();
    void aSlowStationSaysItIsBufferingAndPlaysOn();
};

void StreamDisplayTest::standardInputShowsAnUnknownTotalAndIsNotSought()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QFile file(WriteSilentMp3(app.TempFile("a.mp3"), 60));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    // The pipe's writer ends with an error instead of a signal once the reading end is gone.
    std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    QVERIFY(pipe(pipeEnds) == 0);
    const int savedInput = dup(STDIN_FILENO);
    dup2(pipeEnds[0], STDIN_FILENO);
    close(pipeEnds[0]);
    std::thread feeder([&bytes, fd = pipeEnds[1]] {
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = write(fd, bytes.constData() + at, size_t(bytes.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        close(fd);
    });

    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    f.OpenChosenFile(QStringLiteral("-"));
    QVERIFY(WaitUntil([&] { return f.EndTimeLabel->Caption() == QStringLiteral("--:--"); }));
    Click(f.playImage);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    Press(f.next1Image);
    f.MMTimer1Timer();
    Release(f.next1Image);
    Press(f.back1Image);
    f.MMTimer1Timer();
    Release(f.back1Image);
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);

    f.showMinimized();
    QVERIFY(WaitUntil([&] { return f.isMinimized(); }));
    f.MMTimer3Timer();
    const QString title = f.ApplicationTitle();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^Plumtone4 - \\d\\d:\\d\\d / --:--$")).match(title).hasMatch(),
        qPrintable(title));
    Click(f.stopImage);

    dup2(savedInput, STDIN_FILENO); // closes the pipe's reading end, which ends the feeder
    close(savedInput);
    feeder.join();
}

void StreamDisplayTest::aStationThatDropsShowsItsAddressWhileItReconnects()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    // Two seconds of audio, then every new connection is answered 503: tried again and again.
    test::RadioServer server(WriteSilentMp3(app.TempFile("a.mp3"), 60).toStdString());
    const std::string url = server.Url("/live?session=window&drop=2&drops=1&then=503");
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    f.OpenChosenFile(QString::fromStdString(url));
    QVERIFY(WaitUntil([&] { return !f.MP3Player1.Connecting(); }));
    Click(f.playImage);
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption().endsWith(QStringLiteral(" 再接続中…")); }));
    QCOMPARE(f.SongLabel1->Caption(), QString::fromStdString(url) + QStringLiteral(" 再接続中…"));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    Click(f.stopImage);
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().contains(QStringLiteral("再接続中")); }));
}

void StreamDisplayTest::aSlowStationSaysItIsBufferingAndPlaysOn()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    test::SoundServer sound;
    // Sent at half of real time: the sound runs dry after the first second's fill.
    test::RadioServer server(WriteSilentMp3(app.TempFile("a.mp3"), 60).toStdString());
    f.OpenChosenFile(QString::fromStdString(server.Url("/live?session=slow&speed=0.5")));
    QVERIFY(WaitUntil([&] { return !f.MP3Player1.Connecting(); }));
    Click(f.playImage);
    const QString buffering = QStringLiteral(" バッファ中…");
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption().endsWith(buffering); }, 15000));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    // Refilled, it plays on with its title alone.
    QVERIFY(WaitUntil([&] { return !f.SongLabel1->Caption().endsWith(buffering); }, 15000));
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);
    Click(f.stopImage);
}

QTEST_MAIN(StreamDisplayTest)
#include "stream_display_test.moc"
