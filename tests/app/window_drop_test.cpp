// Files and folders dropped on the real window, as the desktop's drag and drop delivers them:
// one file opens and plays, several files or a folder play in turn, anything else is refused.
#include "support/album_driver.h"

#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

namespace {

// Drags data over the window's display panel and drops it there; false when the window refused.
bool DropOnWindow(TForm1& form, const QMimeData& data)
{
    QWidget* target = form.Panel1;
    const QPoint at = target->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool DropPaths(TForm1& form, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    return DropOnWindow(form, data);
}

QStringList Names(const std::vector<std::string>& paths)
{
    QStringList names;
    for (const std::string& path : paths)
        names << QFileInfo(QString::fromStdString(path)).fileName();
    return names;
}

} // namespace

class WindowDropTest : public QObject {
    Q_OBJECT
private slots:
    void filesAndFoldersPlay();
    void anythingElseIsRefused();
};

void WindowDropTest::filesAndFoldersPlay()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    const QString dir = MakeAlbum(app.TempFile("folder"), {{"10.mp3", 240}, {"9.mp3", 240}, {"b.MP3", 240}});
    QFile notes(dir + "/notes.txt");
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    // One file: opened and played as a single file.
    QVERIFY(DropPaths(f, {dir + "/10.mp3"}));
    QVERIFY(WaitUntil([&] { return f.MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying; }));
    QCOMPARE(f.MP3Player1.FileName(), (dir + "/10.mp3").toStdString());
    QVERIFY(!f.Album.Selected());
    QVERIFY(f.BlinkPlay());

    // Several files: in the order dropped.
    QVERIFY(DropPaths(f, {dir + "/b.MP3", dir + "/9.mp3"}));
    QVERIFY(WaitUntil([&] { return f.Album.Selected(); }));
    QCOMPARE(Names(f.Album.List()), (QStringList{"b.MP3", "9.mp3"}));
    QCOMPARE(f.MP3Player1.FileName(), (dir + "/b.MP3").toStdString());
    QCOMPARE(f.MP3Player1.Status(), TMP3PlayerStatus::mpsPlaying);

    // A folder: its MP3 files in the album dialog's order.
    QVERIFY(DropPaths(f, {dir}));
    QVERIFY(WaitUntil([&] { return f.Album.List().size() == 3; }));
    QCOMPARE(Names(f.Album.List()), (QStringList{"9.mp3", "10.mp3", "b.MP3"}));
    QCOMPARE(f.MP3Player1.FileName(), (dir + "/9.mp3").toStdString());
    QCOMPARE(f.AlbumLabel->FontColor(), clYellow);
}

void WindowDropTest::anythingElseIsRefused()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString empty = app.TempFile("empty");
    QDir().mkpath(empty);
    QMimeData text;
    text.setText(QStringLiteral("a.mp3"));
    QMimeData link; // a web link plays as a stream; other schemes do not
    link.setUrls({QUrl(QStringLiteral("ftp://example.org/a.mp3"))});
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(WriteSilentMp3(app.TempFile("a.mp3"), 3)),
                   QUrl(QStringLiteral("https://example.org/b.mp3"))});
    QVERIFY(!DropOnWindow(f, text));
    QVERIFY(!DropOnWindow(f, link));
    QVERIFY(!DropOnWindow(f, mixed));
    QVERIFY(!DropPaths(f, {app.TempFile("missing.mp3")}));
    QVERIFY(!DropPaths(f, {empty})); // a folder with nothing to play
    QTest::qWait(20);
    QVERIFY(f.MP3Player1.FileName().empty());
}

QTEST_MAIN(WindowDropTest)
#include "window_drop_test.moc"
