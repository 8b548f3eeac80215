// The folder dialog of continuous play: its layout, the file list's mask and rows, the list
// following the tree under the mouse, the start at the current directory, how it closes, and
// tree and list read afresh.
#include "support/album_driver.h"

#include <QGroupBox>
#include <QtTest>

using namespace pt4;
using namespace pt4::testing;

namespace {

void Touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
}

// Shows the dialog, runs act in it and returns ShowModal's answer. A failed check in act leaves
// the dialog open: it is then cancelled.
bool RunDialog(TAlbumForm& dialog, std::function<void()> act)
{
    WhenModalShown([act, &dialog](QWidget*) {
        act();
        if (dialog.isVisible())
            dialog.reject();
    });
    return dialog.ShowModal();
}

} // namespace

class AlbumDialogTest : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void maskMatchesWithoutRegardToCase();
    void listShowsTheMatchingFilesWithGlyphs();
    void listFollowsTheTreeUnderTheMouse();
    void startsAtTheCurrentDirectory();
    void opensAtTheLoadedFilesFolderWithWholeNames();
    void closesWithOkOrCancel();
    void treeAndListAreReadWhenShownAgain();
    void fileDroppedOnAnotherFolderLeavesTheList();
};

void AlbumDialogTest::layout()
{
    TWindowsUnderTest app;
    TAlbumForm& d = *app.Form1().AlbumForm();
    QCOMPARE(d.windowTitle(), QStringLiteral("連続再生"));
    QVERIFY(d.isModal());
    QCOMPARE(d.minimumSize(), QSize(569, 268));
    QCOMPARE(d.maximumSize(), QSize(569, 268));
    QCOMPARE(d.GroupBox1->title(), QStringLiteral("「MP3」ファイルを保存しているフォルダを指定して下さい"));
    QCOMPARE(d.GroupBox1->geometry(), QRect(8, 8, 553, 209));
    QCOMPARE(d.FolderTreeViewEx1->parentWidget(), d.GroupBox1);
    QCOMPARE(d.FolderTreeViewEx1->geometry(), QRect(16, 24, 313, 169));
    QCOMPARE(d.FolderTreeViewEx1->indentation(), 19);
    QCOMPARE(d.FolderTreeViewEx1->SelectedDir(), TSelectedDir::sdCurrent);
    QCOMPARE(d.FileListBox1->parentWidget(), d.GroupBox1);
    QCOMPARE(d.FileListBox1->geometry(), QRect(344, 24, 193, 169));
    QCOMPARE(d.FileListBox1->Mask(), QStringLiteral("*.mp3*"));
    QCOMPARE(d.FileListBox1->ItemHeight(), 16);
    QCOMPARE(d.OkButton->text(), QStringLiteral("OK"));
    QCOMPARE(d.OkButton->geometry(), QRect(203, 232, 75, 25));
    QCOMPARE(d.CancelButton->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(d.CancelButton->geometry(), QRect(291, 232, 75, 25));
    // Shown over the main window, in its font.
    QCOMPARE(d.parentWidget(), &app.Form1());
    const bool ok = RunDialog(d, [&] {
        QCOMPARE(d.size(), QSize(569, 268));
        QCOMPARE(d.font().pixelSize(), 12);
        QCOMPARE(d.GroupBox1->font().family(), app.Form1().font().family());
        d.grab().save(QStringLiteral(PT4_BINARY_DIR "/album-dialog.png"));
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
    QVERIFY(!ok);
}

void AlbumDialogTest::maskMatchesWithoutRegardToCase()
{
    const QString mask = QStringLiteral("*.mp3*");
    for (const char* name :
         {"a.mp3", "b.MP3", "c.mp3x", "d.Mp3", "x.mp3.bak", "(live) [1] a+b.mp3", "曲.mp3"})
        QVERIFY2(TFileListBox::MatchesMask(QString::fromUtf8(name), mask), name);
    for (const char* name : {"a.mp", "b.mp2", "mp3", "c.m.p3", "d.wav", "mp3.txt", "a.mp4"})
        QVERIFY2(!TFileListBox::MatchesMask(QString::fromLatin1(name), mask), name);
    QVERIFY(TFileListBox::MatchesMask(QStringLiteral("a1.mp3"), QStringLiteral("a?.MP3")));
    QVERIFY(!TFileListBox::MatchesMask(QStringLiteral("a12.mp3"), QStringLiteral("a?.mp3")));
}

void AlbumDialogTest::listShowsTheMatchingFilesWithGlyphs()
{
    QTemporaryDir dir;
    for (const char* name :
         {"a.mp3", "b.MP3", "c.mp3x", "Track 10.mp3", "Track 9.mp3", "d.wav", "e.mp", ".hidden.mp3"})
        Touch(dir.filePath(QString::fromLatin1(name)));
    QDir(dir.path()).mkdir(QStringLiteral("folder.mp3")); // folders are not files
    TFileListBox list;
    list.SetMask(QStringLiteral("*.mp3*"));
    list.resize(193, 169);
    list.show();
    list.ApplyFilePath(dir.path());
    const QStringList expected{"a.mp3", "b.MP3", "c.mp3x", "Track 9.mp3", "Track 10.mp3"};
    QCOMPARE(list.FileNames(), expected);
    QCOMPARE(list.Directory(), QDir::cleanPath(dir.path()));
    QStringList paths;
    for (const QString& name : expected)
        paths << QDir(dir.path()).filePath(name);
    QCOMPARE(list.FilePaths(), paths);
    for (int i = 0; i < list.count(); ++i) {
        QVERIFY(!list.item(i)->icon().isNull());
        QCOMPARE(list.visualItemRect(list.item(i)).height(), 16);
    }
    // A file is no folder to list; nor is a folder that is gone.
    list.ApplyFilePath(dir.filePath("a.mp3"));
    QCOMPARE(list.count(), 0);
    list.ApplyFilePath(dir.filePath("gone"));
    QCOMPARE(list.count(), 0);
    QVERIFY(list.Directory().isEmpty());
}

void AlbumDialogTest::listFollowsTheTreeUnderTheMouse()
{
    TWindowsUnderTest app;
    TAlbumForm& d = *app.Form1().AlbumForm();
    const QString one = MakeAlbum(app.TempFile("one"), {{"x.mp3", 3}, {"y.mp3", 3}});
    const QString two = MakeAlbum(app.TempFile("two"), {{"z.MP3", 3}});
    const QString startDir = QDir::currentPath();
    QStringList reported;
    d.FolderTreeViewEx1->OnChange = [&](TFolderTreeViewEx& sender, const QString& folder) {
        reported << folder;
        d.FolderTreeViewEx1Change(sender, folder);
    };
    RunDialog(d, [&] {
        TFolderTreeViewEx* tree = d.FolderTreeViewEx1;
        ClickNode(tree, tree->ExpandToPath(one));
        QCOMPARE(reported.last(), one);
        QCOMPARE(d.FileListBox1->FileNames(), (QStringList{"x.mp3", "y.mp3"}));
        ClickNode(tree, tree->ExpandToPath(two));
        QCOMPARE(reported.last(), two);
        QCOMPARE(d.FileListBox1->FileNames(), QStringList{"z.MP3"});
        // The computer itself holds no files.
        ClickNode(tree, tree->topLevelItem(0));
        QCOMPARE(reported.last(), QStringLiteral("コンピューター"));
        QCOMPARE(d.FileListBox1->count(), 0);
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
    QCOMPARE(QDir::currentPath(), startDir);
}

void AlbumDialogTest::startsAtTheCurrentDirectory()
{
    QTemporaryDir dir;
    const QString here = MakeAlbum(dir.filePath("here"), {{"1.mp3", 3}, {"2.mp3", 3}});
    QDir(here).mkdir(QStringLiteral("inside"));
    const QString startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(here));
    TAlbumForm d;
    QVERIFY(QDir::setCurrent(startDir));
    TFolderTreeViewEx* tree = d.FolderTreeViewEx1;
    QVERIFY(tree->currentItem());
    QCOMPARE(TFolderTreeViewEx::NodePath(tree->currentItem()), QDir::cleanPath(here));
    QVERIFY(tree->currentItem()->isExpanded());
    QCOMPARE(tree->currentItem()->childCount(), 1);
    QCOMPARE(d.FileListBox1->FileNames(), (QStringList{"1.mp3", "2.mp3"}));
}

void AlbumDialogTest::opensAtTheLoadedFilesFolderWithWholeNames()
{
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    const QString album = MakeAlbum(app.TempFile("夏"), {{"1.mp3", 3}, {"2.mp3", 3}});
    const QString longName = QStringLiteral("夏の終わりのハーモニー 2003 リマスター盤 ディスク 2");
    QDir(album).mkdir(longName);
    f.OpenChosenFile(album + "/2.mp3");
    TAlbumForm& d = *f.AlbumForm();
    RunDialog(d, [&] {
        TFolderTreeViewEx* tree = d.FolderTreeViewEx1;
        QVERIFY(tree->currentItem());
        QCOMPARE(TFolderTreeViewEx::NodePath(tree->currentItem()), QDir::cleanPath(album));
        QCOMPARE(d.FileListBox1->FileNames(), (QStringList{"1.mp3", "2.mp3"}));
        // The long name is drawn whole (the tree scrolls sideways), not cut with "…".
        QTreeWidgetItem* inside = tree->FindNode(QDir(album).filePath(longName));
        QVERIFY(inside);
        QVERIFY(tree->visualItemRect(inside).width() >= tree->fontMetrics().horizontalAdvance(longName));
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
}

void AlbumDialogTest::closesWithOkOrCancel()
{
    TWindowsUnderTest app;
    TAlbumForm& d = *app.Form1().AlbumForm();
    QVERIFY(RunDialog(d, [&] { QTest::mouseClick(d.OkButton, Qt::LeftButton); }));
    QVERIFY(!RunDialog(d, [&] { QTest::mouseClick(d.CancelButton, Qt::LeftButton); }));
    QVERIFY(!RunDialog(d, [&] { QTest::keyClick(&d, Qt::Key_Escape); }));
    QVERIFY(RunDialog(d, [&] { QTest::keyClick(d.FolderTreeViewEx1, Qt::Key_Return); }));
}

void AlbumDialogTest::treeAndListAreReadWhenShownAgain()
{
    TWindowsUnderTest app;
    TAlbumForm& d = *app.Form1().AlbumForm();
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 3}});
    RunDialog(d, [&] {
        ClickNode(d.FolderTreeViewEx1, d.FolderTreeViewEx1->ExpandToPath(dir));
        QTest::mouseClick(d.OkButton, Qt::LeftButton);
    });
    QCOMPARE(d.FileListBox1->FileNames(), QStringList{"a.mp3"});
    QTreeWidgetItem* node = d.FolderTreeViewEx1->FindNode(dir);
    QVERIFY(node);
    QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator); // nothing inside

    WriteSilentMp3(dir + "/b.mp3", 3);
    QDir(dir).mkdir(QStringLiteral("disc 2"));
    RunDialog(d, [&] {
        QCOMPARE(d.FileListBox1->FileNames(), (QStringList{"a.mp3", "b.mp3"}));
        QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        DoubleClickNode(d.FolderTreeViewEx1, node);
        QVERIFY(node->isExpanded());
        QCOMPARE(node->childCount(), 1);
        QCOMPARE(node->child(0)->text(0), QStringLiteral("disc 2"));
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
}

void AlbumDialogTest::fileDroppedOnAnotherFolderLeavesTheList()
{
    TWindowsUnderTest app;
    TAlbumForm& d = *app.Form1().AlbumForm();
    const QString dir = MakeAlbum(app.TempFile("album"), {{"a.mp3", 3}, {"b.mp3", 3}});
    const QString other = app.TempFile("other");
    QDir().mkpath(other);
    RunDialog(d, [&] {
        TFolderTreeViewEx* tree = d.FolderTreeViewEx1;
        ClickNode(tree, tree->ExpandToPath(dir));
        QCOMPARE(DropOn(tree, tree->ExpandToPath(other), {dir + "/a.mp3"}), Qt::MoveAction);
        QVERIFY(WaitUntil([&] { return d.FileListBox1->FileNames() == QStringList{"b.mp3"}; }));
        QVERIFY(QFile::exists(other + "/a.mp3"));
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
}

QTEST_MAIN(AlbumDialogTest)
#include "album_dialog_test.moc"
