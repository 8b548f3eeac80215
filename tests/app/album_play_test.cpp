// The window's wiring of continuous play, with the real dialog and the real player writing to a
// WAVE file: the panels, labels, track buttons and indicators, the empty folder's message, a
// cancelled dialog, errors shown, real clips played through. The sequence itself is tested on
// its own (tests/player/album_sequence_test.cpp).
#include "app/exception_message_box.h"
#include "app/guarded_command.h"
#include "support/album_driver.h"

#include <QtTest>

#include <cstdio>
#include <memory>

using namespace pt4;
using namespace pt4::testing;

namespace {

using Status = TMP3PlayerStatus;
using Reason = TMP3EndPlayReason;

QString Loaded(TForm1& f)
{
    return TEndPlayLog::Name(f.MP3Player1.FileName());
}

bool ShowsStopped(TWindowsUnderTest& app)
{
    TForm1& f = app.Form1();
    return SamePicture(f.Status1Image->Picture(), app.Form2().Image(29)) &&
           SamePicture(f.Status3Image->Picture(), app.Form2().Image(34));
}

bool ShowsPlaying(TWindowsUnderTest& app)
{
    TForm1& f = app.Form1();
    return SamePicture(f.Status3Image->Picture(), app.Form2().Image(33));
}

// MPEG-1 Layer III frames cut from the demo clip (44.1 kHz joint stereo, 128 kbit/s), without
// its tags and information frame, repeated to the given number of frames.
QString WriteDemoClip(const QString& path, int frames)
{
    QFile demo(DemoClipPath());
    if (!demo.open(QIODevice::ReadOnly))
        qFatal("no demo clip");
    const QByteArray data = demo.readAll();
    const auto byte = [&data](qsizetype at) { return uint8_t(data[at]); };
    const qsizetype start = 10 + (byte(6) << 21 | byte(7) << 14 | byte(8) << 7 | byte(9));
    QList<QByteArray> cut;
    for (qsizetype at = start; at + 4 <= data.size() - 128 && byte(at) == 0xFF;) {
        const qsizetype length = 417 + ((byte(at + 2) >> 1) & 1);
        cut << data.mid(at, length);
        at += length;
    }
    cut.removeFirst();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (int i = 0; i < frames; ++i)
        out.write(cut[i % cut.size()]);
    return path;
}

} // namespace

class AlbumPlayTest : public QObject {
    Q_OBJECT
private slots:
    void folderPlaysThroughWithLabelsAndIndicators();
    void trackButtonsAndRepeatFromPause();
    void emptyFolderShowsTheMessage();
    void cancelledDialogChangesNothing();
    void realClipsPlayThrough();
    void missingEntryIsPassedOverWithoutAClick();
    void longListOfMissingFilesEndsWithOneNotice();
    void aFileOpenedAloneKeepsItsBox();
};

void AlbumPlayTest::folderPlaysThroughWithLabelsAndIndicators()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QStringList notices;
    QObject::connect(&f, &TForm1::NoticeShown, [&notices](const QString& text) { notices << text; });
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"02.mp3", 3}, {"01.mp3", 3}, {"04.mp3", 3}});
    QFile broken(dir + "/03.mp3");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4000, 'x'));
    broken.close();

    QCOMPARE(ChooseAlbumFolder(f, dir), (QStringList{"01.mp3", "02.mp3", "03.mp3", "04.mp3"}));
    QCOMPARE(QString::fromStdString(f.MP3Player1.FileName()), QDir(dir).filePath("01.mp3"));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());
    QCOMPARE(f.AlbumPanel->BevelOuter(), TBevelCut::bvRaised);

    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(3));
    QCOMPARE(log.PlayedAfter("01.mp3"), (QStringList{"01.mp3", "02.mp3", "04.mp3"}));
    // The broken file's error is shown once, as a notice in the song area.
    QCOMPARE(notices, QStringList{QStringLiteral("unknown MPEG Audio format.")});
    // The end of the last file: back on the first, stopped, indicators too; Album stays on.
    QCOMPARE(log.steps[2].loaded, QStringLiteral("01.mp3"));
    QCOMPARE(log.steps[2].status, Status::mpsStopped);
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());

    // Open ends continuous play: Album off.
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("single.mp3"), 3));
    QCOMPARE(f.AlbumLabel->FontColor(), clOlive);
    QVERIFY(!f.Album.Selected());
}

void AlbumPlayTest::trackButtonsAndRepeatFromPause()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("single.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    Click(f.pauseImage);
    // Confirmed while paused: the folder's first file, stopped, with the stopped indicators,
    // also after the paused file's end of play has come.
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 240}, {"b.mp3", 240}});
    ChooseAlbumFolder(f, dir);
    QVERIFY(log.WaitForSteps(1));
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());

    Click(f.playImage);
    Click(f.pauseImage);
    QVERIFY(f.BlinkPause());
    // Next from pause plays the next file at once; the indicators follow.
    Press(f.next2Image);
    QVERIFY(SamePicture(f.next2Image->Picture(), app.Form2().Image(16)));
    Release(f.next2Image);
    QVERIFY(SamePicture(f.next2Image->Picture(), app.Form2().Image(15)));
    QCOMPARE(Loaded(f), QStringLiteral("b.mp3"));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);
    QVERIFY(ShowsPlaying(app));
    QVERIFY(f.BlinkPlay());
    QVERIFY(!f.BlinkPause());
    QVERIFY(f.MMTimer2.Running());
    Click(f.back2Image);
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));

    // Repeat shows on its label; Stop turns it off and ends continuous play.
    Click(f.RepeatPanel);
    QCOMPARE(f.RepeatLabel->FontColor(), clYellow);
    QCOMPARE(f.RepeatPanel->BevelOuter(), TBevelCut::bvRaised);
    Click(f.next2Image);
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
    Click(f.stopImage);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QVERIFY(!f.Album.Playing());
    Click(f.RepeatPanel); // stopped: no change
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
}

void AlbumPlayTest::emptyFolderShowsTheMessage()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString dir = app.TempFile("empty");
    QDir().mkpath(dir + "/sub");
    WriteSilentMp3(dir + "/sub/inside.mp3", 3); // files of sub-folders do not count
    QFile notes(dir + "/notes.txt");
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    auto shown = std::make_shared<QString>();
    TDialogChoice choice;
    choice.afterClose = [shown] {
        WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    };
    const QStringList listed = ChooseAlbumFolder(f, dir, choice);
    QVERIFY(listed.isEmpty());
    QCOMPARE(*shown, QStringLiteral("Plumtone4|\n\r選択されたフォルダには再生可能なファイルがありません。"));
    QCOMPARE(f.AlbumLabel->FontColor(), clOlive);
    QVERIFY(f.MP3Player1.FileName().empty());
    QVERIFY(ShowsStopped(app));
}

void AlbumPlayTest::cancelledDialogChangesNothing()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString album = MakeAlbum(app.TempFile("album"), {{"a.mp3", 3}, {"b.mp3", 3}, {"c.mp3", 3}});
    const QString other = MakeAlbum(app.TempFile("other"), {{"z.mp3", 3}});
    const QString startDir = QDir::currentPath();
    ChooseAlbumFolder(f, album);
    const std::vector<std::string> chosen = f.Album.List();
    QCOMPARE(chosen.size(), size_t(3));
    QCOMPARE(QString::fromStdString(chosen[2]), album + "/c.mp3");

    // Pointed at the other folder and cancelled: what plays stays the same.
    TDialogChoice cancel;
    cancel.ok = false;
    QCOMPARE(ChooseAlbumFolder(f, other, cancel), QStringList{"z.mp3"});
    QVERIFY(f.Album.List() == chosen);
    QCOMPARE(f.AlbumForm()->FileListBox1->FileNames(), QStringList{"z.mp3"});
    // Neither does the process's current directory matter.
    QCOMPARE(QDir::currentPath(), startDir);
    QVERIFY(QDir::setCurrent(other));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(3));
    QVERIFY(QDir::setCurrent(startDir));
    QCOMPARE(log.PlayedAfter("a.mp3"), (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    QCOMPARE(QString::fromStdString(f.MP3Player1.FileName()), album + "/a.mp3");
}

void AlbumPlayTest::realClipsPlayThrough()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = app.TempFile("clips");
    QDir().mkpath(dir);
    const QList<int> frames = {40, 77, 115};
    for (int i = 0; i < frames.size(); ++i)
        WriteDemoClip(QStringLiteral("%1/Track %2.MP3").arg(dir).arg(i + 1), frames[i]);
    ChooseAlbumFolder(f, dir);
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption() == QStringLiteral("Track 1.MP3"); }));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(3));
    QCOMPARE(log.PlayedAfter("Track 1.MP3"), (QStringList{"Track 1.MP3", "Track 2.MP3", "Track 3.MP3"}));
    // The last file played completely: its decoded samples (stereo, 16-bit) fill the WAVE file.
    const qint64 bytes = QFileInfo(app.TempFile("out.wav")).size() - 44;
    QVERIFY2(bytes >= qint64(frames[2] - 2) * 1152 * 4 && bytes <= qint64(frames[2]) * 1152 * 4,
             qPrintable(QString::number(bytes)));
    QVERIFY(WaitUntil([&] { return f.SongLabel1->Caption() == QStringLiteral("Track 1.MP3"); }));
}

namespace {

// Notes whether any modal window of ours comes up while it lives.
class TModalWatch {
public:
    TModalWatch()
    {
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { seen_ = seen_ || QApplication::activeModalWidget(); });
        timer_.start(2);
    }
    bool Seen() const { return seen_; }

private:
    QTimer timer_;
    bool seen_ = false;
};

QString WriteList(const QString& path, const QStringList& entries)
{
    QFile list(path);
    if (!list.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    list.write(entries.join(u'\n').toUtf8() + '\n');
    return path;
}

} // namespace

// A playlist whose second entry is missing plays its third at the first one's end, in the same
// handler, while the failure shows in the song area; nothing waits for a click.
void AlbumPlayTest::missingEntryIsPassedOverWithoutAClick()
{
    TExceptionRecorder boxes;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QStringList notices;
    QObject::connect(&f, &TForm1::NoticeShown, [&notices](const QString& text) { notices << text; });
    const QString dir = MakeAlbum(app.TempFile("list"), {{"1.mp3", 3}, {"3.mp3", 3}});
    const QString list = WriteList(dir + "/list.m3u", {"1.mp3", "2.mp3", "3.mp3"});
    // Each end of play with what plays after the window handled it, and how long that took.
    struct TEnd {
        QString ended, loaded;
        Status status;
        double handledMs;
    };
    auto ends = std::make_shared<std::vector<TEnd>>();
    auto handler = f.MP3Player1.OnEndPlay;
    f.MP3Player1.OnEndPlay = [ends, handler](TMP3Player& player, Reason reason) {
        QElapsedTimer clock;
        clock.start();
        TEnd end{TEndPlayLog::Name(player.FileName()), {}, {}, 0};
        handler(player, reason);
        end.loaded = TEndPlayLog::Name(player.FileName());
        end.status = player.Status();
        end.handledMs = double(clock.nsecsElapsed()) / 1e6;
        ends->push_back(end);
    };
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    TModalWatch modal;
    f.OpenPlaylist({list}, true);
    QVERIFY(WaitUntil([&] { return !ends->empty(); }));
    const TEnd first = ends->front();
    QCOMPARE(first.ended, QStringLiteral("1.mp3"));
    QCOMPARE(first.loaded, QStringLiteral("3.mp3"));
    QCOMPARE(first.status, Status::mpsPlaying);
    std::printf("the third entry started %.1f ms after the first one's end\n", first.handledMs);
    QCOMPARE(notices, QStringList{QStringLiteral("ファイル %1/2.mp3 は開けません").arg(dir)});
    QVERIFY(f.SongLabel1->Caption().contains(QStringLiteral("2.mp3 は開けません")));
    QVERIFY(f.SongLabel1->Caption().contains(QStringLiteral("ファイルが見つかりません。")));
    QVERIFY(WaitUntil([&] { return ends->size() >= 2; }));
    QVERIFY(boxes.Texts().isEmpty());
    QVERIFY(!modal.Seen());
}

// A list of nothing but missing files ends at once with a single notice: no box per entry, and
// no second box saying that nothing could be played.
void AlbumPlayTest::longListOfMissingFilesEndsWithOneNotice()
{
    TExceptionRecorder boxes;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QStringList notices;
    QObject::connect(&f, &TForm1::NoticeShown, [&notices](const QString& text) { notices << text; });
    QStringList entries;
    for (int i = 0; i < 20000; ++i)
        entries << QStringLiteral("gone/%1.mp3").arg(i);
    const QString list = WriteList(app.TempFile("missing.m3u"), entries);
    TModalWatch modal;
    QElapsedTimer clock;
    clock.start();
    f.OpenPlaylist({list}, true);
    QVERIFY(WaitUntil([&] { return !notices.isEmpty(); }, 60000));
    std::printf("20000 missing entries passed over in %lld ms\n", clock.elapsed());
    QTest::qWait(50);
    QCOMPARE(notices, QStringList{QStringLiteral("20000 件のファイルが見つかりません")});
    QVERIFY(boxes.Texts().isEmpty());
    QVERIFY(!modal.Seen());
    QCOMPARE(f.Album.TrackCount(), 0);
    QVERIFY(!f.Album.Playing());
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
}

// A missing file the user opened alone: the box, with the cause on its second line, as before.
void AlbumPlayTest::aFileOpenedAloneKeepsItsBox()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    QStringList notices;
    QObject::connect(&f, &TForm1::NoticeShown, [&notices](const QString& text) { notices << text; });
    const QString missing = app.TempFile("nowhere/alone.mp3");
    InstallExceptionMessageBox(); // the program's own display, as main installs it
    auto shown = std::make_shared<QString>();
    WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    RunGuarded([&] { f.OpenLocation(missing); }); // as the command line and the desktop run it
    SetExceptionDisplay(nullptr);
    QVERIFY(WaitUntil([shown] { return !shown->isEmpty(); }));
    QCOMPARE(*shown,
             QStringLiteral("Plumtone4|ファイル %1 は開けません\nファイルが見つかりません。").arg(missing));
    QVERIFY(notices.isEmpty());
}

QTEST_MAIN(AlbumPlayTest)
#include "album_play_test.moc"
