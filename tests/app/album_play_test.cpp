// Continuous play with the real player writing to a WAVE file: folders chosen in the real
// dialog with the mouse, the order of play, the end of an album, the track buttons, repeat,
// confirming while a file plays, a cancelled dialog, a file that cannot be opened.
#include "support/album_driver.h"

#include <QtTest>

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
    return SamePicture(f.Status1Image->Picture(), app.Form2().Image(29))
           && SamePicture(f.Status3Image->Picture(), app.Form2().Image(34));
}

bool ShowsPlaying(TWindowsUnderTest& app)
{
    TForm1& f = app.Form1();
    return SamePicture(f.Status3Image->Picture(), app.Form2().Image(33));
}

// The paused file plays on just before OK is pressed: it is playing when the dialog closes.
TDialogChoice ResumingOnOk(TForm1& f)
{
    TDialogChoice choice;
    choice.beforeClose = [&f] { f.MP3Player1.Resume(); };
    return choice;
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
    void threeFilesPlayInTurnAndEndOnTheFirst();
    void oneFileFolderPlaysOnce();
    void emptyFolderShowsTheMessage();
    void emptyFolderEndsAdvancing();
    void previousOnTheFirstAndNextOnTheLastDoNothing();
    void nextAndPreviousWhilePlaying();
    void repeatSwitchesOnlyWhilePlayingAndHoldsTheFile();
    void confirmingWhileASingleFilePlays();
    void confirmingAnotherFolderWhileTheAlbumPlays();
    void cancelledDialogChangesNothing();
    void openedFileEndsTheAlbumAndAStaleIndexIsReset();
    void unopenableFileShowsItsErrorAndTheRestWorks();
    void realClipsPlayThrough();
};

void AlbumPlayTest::threeFilesPlayInTurnAndEndOnTheFirst()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"02.mp3", 3}, {"01.mp3", 3}, {"03.mp3", 3}});
    f.RepeatLabel->SetFontColor(clYellow);

    QCOMPARE(ChooseAlbumFolder(f, dir), (QStringList{"01.mp3", "02.mp3", "03.mp3"}));
    // Loaded stopped on the first file, with continuous play on.
    QCOMPARE(QString::fromStdString(f.MP3Player1.FileName()), QDir(dir).filePath("01.mp3"));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QVERIFY(f.AlbumPlaying());
    QVERIFY(f.AlbumAdvance());
    QCOMPARE(f.TrackIndex(), 0);
    QCOMPARE(f.TrackCount(), 3);
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());
    QCOMPARE(f.AlbumPanel->BevelOuter(), TBevelCut::bvRaised);

    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(3));
    QCOMPARE(log.PlayedAfter("01.mp3"), (QStringList{"01.mp3", "02.mp3", "03.mp3"}));
    for (const TEndPlayStep& step : log.steps)
        QCOMPARE(step.reason, Reason::mepEndOfStream);
    // The end of the last file: back on the first, stopped; Album stays on.
    QCOMPARE(log.steps[2].ended, QStringLiteral("03.mp3"));
    QCOMPARE(log.steps[2].loaded, QStringLiteral("01.mp3"));
    QCOMPARE(log.steps[2].status, Status::mpsStopped);
    QVERIFY(!f.AlbumPlaying());
    QCOMPARE(f.TrackIndex(), 0);
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());

    // Play starts the album over.
    Click(f.playImage);
    QVERIFY(f.AlbumPlaying());
    QVERIFY(log.WaitForSteps(4));
    QCOMPARE(log.steps[3].ended, QStringLiteral("01.mp3"));
    QCOMPARE(log.steps[3].loaded, QStringLiteral("02.mp3"));
    QCOMPARE(log.steps[3].status, Status::mpsPlaying);
    Click(f.stopImage);
    QCOMPARE(Loaded(f), QStringLiteral("01.mp3"));
    QVERIFY(!f.AlbumPlaying());
    QCOMPARE(f.TrackIndex(), 0);
}

void AlbumPlayTest::oneFileFolderPlaysOnce()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("single"), {{"only.mp3", 3}});
    ChooseAlbumFolder(f, dir);
    QCOMPARE(Loaded(f), QStringLiteral("only.mp3"));
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QVERIFY(!f.AlbumPlaying()); // the direct end-of-play run found the last file
    QCOMPARE(f.TrackCount(), 1);

    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    for (size_t round = 1; round <= 2; ++round) {
        Click(f.playImage);
        QVERIFY(f.AlbumPlaying());
        QVERIFY(log.WaitForSteps(round));
        const TEndPlayStep& step = log.steps.back();
        QCOMPARE(step.reason, Reason::mepEndOfStream);
        QCOMPARE(step.loaded, QStringLiteral("only.mp3"));
        QCOMPARE(step.status, Status::mpsStopped);
        QVERIFY(!f.AlbumPlaying());
        QVERIFY(ShowsStopped(app));
    }
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
    f.RepeatLabel->SetFontColor(clYellow);
    TDialogChoice choice;
    choice.afterClose = [shown] {
        WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    };
    const QStringList listed = ChooseAlbumFolder(f, dir, choice);
    QVERIFY(listed.isEmpty());
    QCOMPARE(*shown, QStringLiteral("Plumtone4|\n\r選択されたフォルダには再生可能なファイルがありません。"));
    QCOMPARE(f.TrackCount(), 0);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    QCOMPARE(f.AlbumLabel->FontColor(), clOlive);
    QVERIFY(!f.AlbumPlaying());
    QVERIFY(f.AlbumAdvance()); // Album was off before
    QVERIFY(f.MP3Player1.FileName().empty());
    QVERIFY(ShowsStopped(app));
}

void AlbumPlayTest::emptyFolderEndsAdvancing()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString album = MakeAlbum(app.TempFile("album"), {{"a.mp3", 240}, {"b.mp3", 3}});
    const QString empty = app.TempFile("empty");
    QDir().mkpath(empty);
    ChooseAlbumFolder(f, album);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    // a.mp3 waits, paused, while the dialog is open and plays on when OK is pressed.
    f.MP3Player1.Pause();
    TDialogChoice choice;
    choice.beforeClose = [&f] { f.MP3Player1.Resume(); };
    choice.afterClose = [] { WhenModalShown([](QWidget* modal) { AnswerMessageBox(modal); }); };
    ChooseAlbumFolder(f, empty, choice);
    QCOMPARE(f.TrackCount(), 0);
    QVERIFY(!f.AlbumAdvance());
    // a.mp3 ends, and nothing follows it.
    QVERIFY(log.WaitForSteps(1));
    QCOMPARE(log.steps[0].ended, QStringLiteral("a.mp3"));
    QCOMPARE(log.steps[0].loaded, QStringLiteral("a.mp3"));
    QCOMPARE(log.steps[0].status, Status::mpsStopped);
    // Stop ends continuous play on the first file of the album that played.
    Click(f.stopImage);
    QVERIFY(!f.AlbumPlaying());
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
}

void AlbumPlayTest::previousOnTheFirstAndNextOnTheLastDoNothing()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"1.mp3", 3}, {"2.mp3", 3}, {"3.mp3", 240}});
    ChooseAlbumFolder(f, dir);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    Press(f.back2Image);
    QVERIFY(SamePicture(f.back2Image->Picture(), app.Form2().Image(14)));
    Release(f.back2Image);
    QVERIFY(SamePicture(f.back2Image->Picture(), app.Form2().Image(13)));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);
    QCOMPARE(f.TrackIndex(), 0);

    // The first two end by themselves; the last one plays on after Next.
    QVERIFY(log.WaitForSteps(2));
    QCOMPARE(log.steps[0].reason, Reason::mepEndOfStream);
    QCOMPARE(log.steps[1].reason, Reason::mepEndOfStream);
    QCOMPARE(Loaded(f), QStringLiteral("3.mp3"));
    QCOMPARE(f.TrackIndex(), 2);
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == Status::mpsPlaying; }));
    Click(f.next2Image);
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);
    QCOMPARE(f.TrackIndex(), 2);
    QVERIFY(SamePicture(f.next2Image->Picture(), app.Form2().Image(15)));
    Click(f.stopImage);
    QCOMPARE(log.steps.size(), size_t(2));
}

void AlbumPlayTest::nextAndPreviousWhilePlaying()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 240}, {"b.mp3", 240}, {"c.mp3", 240}});
    ChooseAlbumFolder(f, dir);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    log.holdStarts = true;
    Click(f.playImage);

    const auto press = [&](TSkinImage* button, size_t steps, const char* expected, int index) {
        Click(button);
        QVERIFY(log.WaitForSteps(steps));
        const TEndPlayStep& step = log.steps[steps - 1];
        QCOMPARE(step.reason, Reason::mepStopped);
        QCOMPARE(step.loaded, QString::fromLatin1(expected));
        QCOMPARE(step.status, Status::mpsPlaying);
        QCOMPARE(f.TrackIndex(), index);
        QVERIFY(ShowsPlaying(app));
    };
    press(f.next2Image, 1, "b.mp3", 1);
    press(f.next2Image, 2, "c.mp3", 2);
    press(f.back2Image, 3, "b.mp3", 1);
    press(f.back2Image, 4, "a.mp3", 0);

    // Playing on (Pause resumes the held file), Next plays the next file.
    Click(f.pauseImage);
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);
    press(f.next2Image, 5, "b.mp3", 1);

    Click(f.stopImage);
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
    QVERIFY(!f.AlbumPlaying());
    QCOMPARE(f.TrackIndex(), 0);
    // Stopped, the buttons have nothing to act on.
    Click(f.next2Image);
    Click(f.back2Image);
    QTest::qWait(50);
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
}

void AlbumPlayTest::repeatSwitchesOnlyWhilePlayingAndHoldsTheFile()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 3}, {"b.mp3", 3}});
    ChooseAlbumFolder(f, dir);

    Press(f.RepeatPanel);
    QCOMPARE(f.RepeatPanel->BevelOuter(), TBevelCut::bvLowered);
    Release(f.RepeatPanel);
    QCOMPARE(f.RepeatPanel->BevelOuter(), TBevelCut::bvRaised);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive); // stopped: no change

    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    Click(f.RepeatPanel);
    QCOMPARE(f.RepeatLabel->FontColor(), clYellow);
    Click(f.next2Image); // the track buttons do nothing under repeat
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);

    QVERIFY(log.WaitForSteps(3));
    for (size_t i = 0; i < 3; ++i) {
        QCOMPARE(log.steps[i].reason, Reason::mepEndOfStream);
        QCOMPARE(log.steps[i].loaded, QStringLiteral("a.mp3"));
        QCOMPARE(log.steps[i].status, Status::mpsPlaying);
    }
    QCOMPARE(f.TrackIndex(), 0);
    QVERIFY(ShowsPlaying(app));
    QVERIFY(f.MMTimer2.Running());

    // Off again while a.mp3 plays: its end moves on to b.mp3.
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == Status::mpsPlaying; }));
    Click(f.RepeatPanel);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
    const size_t off = log.steps.size();
    QVERIFY(log.WaitForSteps(off + 1));
    QCOMPARE(log.steps[off].ended, QStringLiteral("a.mp3"));
    QCOMPARE(log.steps[off].loaded, QStringLiteral("b.mp3"));
    QCOMPARE(log.steps[off].status, Status::mpsPlaying);
    QVERIFY(log.WaitForSteps(off + 2)); // b.mp3 ends the album
    Click(f.stopImage);

    // The last file of an album repeats as well.
    const QString one = MakeAlbum(app.TempFile("one"), {{"last.mp3", 3}});
    ChooseAlbumFolder(f, one);
    Click(f.playImage);
    Click(f.RepeatPanel);
    const size_t first = log.steps.size();
    QVERIFY(log.WaitForSteps(first + 2));
    for (size_t i = first; i < first + 2; ++i) {
        QCOMPARE(log.steps[i].loaded, QStringLiteral("last.mp3"));
        QCOMPARE(log.steps[i].status, Status::mpsPlaying);
    }
    QVERIFY(f.AlbumPlaying());
    Click(f.stopImage);
    QCOMPARE(f.RepeatLabel->FontColor(), clOlive);
}

void AlbumPlayTest::confirmingWhileASingleFilePlays()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("single.mp3"), 240));
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 3}, {"b.mp3", 3}});
    // single.mp3 waits while the dialog is open and plays when OK is pressed.
    f.MP3Player1.Pause();
    ChooseAlbumFolder(f, dir, ResumingOnOk(f));
    // The playing file is stopped for the first of the folder; Album on, not yet playing.
    QCOMPARE(Loaded(f), QStringLiteral("a.mp3"));
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
    QVERIFY(!f.AlbumPlaying());
    QVERIFY(ShowsStopped(app));
    QVERIFY(!f.MMTimer2.Running());
    // The stop's end of play only resets the indicators.
    QVERIFY(log.WaitForSteps(1));
    QCOMPARE(log.steps[0].reason, Reason::mepStopped);
    QCOMPARE(log.steps[0].loaded, QStringLiteral("a.mp3"));
    QCOMPARE(log.steps[0].status, Status::mpsStopped);

    Click(f.playImage);
    QVERIFY(log.WaitForSteps(3));
    QCOMPARE(log.PlayedAfter("a.mp3"), (QStringList{"a.mp3", "b.mp3"}));
    QCOMPARE(log.steps[2].loaded, QStringLiteral("a.mp3"));
    QCOMPARE(log.steps[2].status, Status::mpsStopped);
}

void AlbumPlayTest::confirmingAnotherFolderWhileTheAlbumPlays()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString first = MakeAlbum(app.TempFile("first"), {{"x.mp3", 240}, {"y.mp3", 3}});
    const QString second = MakeAlbum(app.TempFile("second"), {{"p.mp3", 3}, {"q.mp3", 3}, {"r.mp3", 3}});
    ChooseAlbumFolder(f, first);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    f.MP3Player1.Pause();
    ChooseAlbumFolder(f, second, ResumingOnOk(f));
    QCOMPARE(Loaded(f), QStringLiteral("p.mp3"));
    QVERIFY(f.AlbumPlaying());
    QCOMPARE(f.TrackCount(), 3);
    QVERIFY(!f.AlbumAdvance());
    // The stopped x.mp3 reports its end: the first file is loaded again and stays stopped.
    QVERIFY(log.WaitForSteps(1));
    QCOMPARE(log.steps[0].reason, Reason::mepStopped);
    QCOMPARE(log.steps[0].loaded, QStringLiteral("p.mp3"));
    QCOMPARE(log.steps[0].status, Status::mpsStopped);
    QVERIFY(f.AlbumAdvance());

    Click(f.playImage);
    QVERIFY(log.WaitForSteps(4));
    QCOMPARE(log.PlayedAfter("p.mp3"), (QStringList{"p.mp3", "q.mp3", "r.mp3"}));
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
    const QStringList chosen = f.AlbumList();
    QCOMPARE(chosen, (QStringList{album + "/a.mp3", album + "/b.mp3", album + "/c.mp3"}));

    // Pointed at the other folder and cancelled: what plays stays the same.
    TDialogChoice cancel;
    cancel.ok = false;
    QCOMPARE(ChooseAlbumFolder(f, other, cancel), QStringList{"z.mp3"});
    QCOMPARE(f.AlbumList(), chosen);
    QCOMPARE(f.TrackCount(), 3);
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

void AlbumPlayTest::openedFileEndsTheAlbumAndAStaleIndexIsReset()
{
    TExceptionRecorder errors;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString big = MakeAlbum(app.TempFile("big"), {{"1.mp3", 3}, {"2.mp3", 3}, {"3.mp3", 240}});
    const QString small = MakeAlbum(app.TempFile("small"), {{"s1.mp3", 3}, {"s2.mp3", 3}});
    ChooseAlbumFolder(f, big);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    log.holdStarts = true;
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(1));
    f.MP3Player1.Resume(); // a paused file stays paused: the held second file plays to its end
    QVERIFY(log.WaitForSteps(2));
    QCOMPARE(f.TrackIndex(), 2);
    log.holdStarts = false;

    // Open ends continuous play; the index of the third file is left behind.
    f.OpenChosenFile(WriteSilentMp3(app.TempFile("single.mp3"), 3));
    QCOMPARE(f.AlbumLabel->FontColor(), clOlive);
    QVERIFY(!f.AlbumPlaying());
    QVERIFY(log.WaitForSteps(3));
    QCOMPARE(log.steps[2].status, Status::mpsStopped);

    // A two-file folder has no third file: it starts with its first.
    ChooseAlbumFolder(f, small);
    QVERIFY(errors.Texts().isEmpty());
    QCOMPARE(Loaded(f), QStringLiteral("s1.mp3"));
    QCOMPARE(f.TrackIndex(), 0);
    QVERIFY(f.AlbumPlaying());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(5));
    QCOMPARE(log.steps[3].loaded, QStringLiteral("s2.mp3"));
    QCOMPARE(log.steps[3].status, Status::mpsPlaying);
    QCOMPARE(log.steps[4].loaded, QStringLiteral("s1.mp3"));
    QCOMPARE(log.steps[4].status, Status::mpsStopped);
    QVERIFY(errors.Texts().isEmpty());
}

void AlbumPlayTest::unopenableFileShowsItsErrorAndTheRestWorks()
{
    TExceptionRecorder errors;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    TEndPlayLog log(f);
    const QString dir = MakeAlbum(app.TempFile("album"), {{"1.mp3", 3}, {"3.mp3", 3}});
    QFile text(dir + "/2.mp3");
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(4000, 'x'));
    text.close();
    ChooseAlbumFolder(f, dir);
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    Click(f.playImage);
    QVERIFY(log.WaitForSteps(1));
    QCOMPARE(errors.Texts(), QStringList{QStringLiteral("unknown MPEG Audio format.")});
    QCOMPARE(f.MP3Player1.Status(), Status::mpsStopped);
    QCOMPARE(f.TrackIndex(), 1);

    // Stop ends continuous play on the first file; it plays again, and so does the dialog.
    Click(f.stopImage);
    QCOMPARE(Loaded(f), QStringLiteral("1.mp3"));
    QVERIFY(!f.AlbumPlaying());
    Click(f.playImage);
    QCOMPARE(f.MP3Player1.Status(), Status::mpsPlaying);
    QVERIFY(log.WaitForSteps(2));
    QCOMPARE(errors.Texts().size(), 2);
    Click(f.stopImage);
    const QString good = MakeAlbum(app.TempFile("good"), {{"g.mp3", 3}, {"h.mp3", 3}});
    ChooseAlbumFolder(f, good);
    Click(f.playImage);
    const size_t before = log.steps.size();
    QVERIFY(log.WaitForSteps(before + 2));
    QCOMPARE(log.steps[before].loaded, QStringLiteral("h.mp3"));
    QCOMPARE(log.steps[before + 1].loaded, QStringLiteral("g.mp3"));
    QCOMPARE(errors.Texts().size(), 2);
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

QTEST_MAIN(AlbumPlayTest)
#include "album_play_test.moc"
