// The folder tree: the computer's places at the root, folders read only when their node is
// expanded, hidden folders listed and files not, names in file-manager order, the selection
// reported as a full path, the start selection, other roots and rereading.
#include "support/album_driver.h"

#include "components/natural_order.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pt4;
using namespace pt4::testing;

namespace {

QStringList ChildTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

void Touch(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
}

// A shown tree of the given size.
struct TShownTree {
    TShownTree()
    {
        tree.resize(300, 400);
        tree.show();
        if (!QTest::qWaitForWindowExposed(&tree))
            qFatal("the tree was not exposed");
    }
    TFolderTreeViewEx tree;
};

// The arrow left of a node (the view's branch area).
void ClickBranch(QTreeWidget* tree, QTreeWidgetItem* node)
{
    tree->scrollToItem(node);
    const QRect rect = tree->visualItemRect(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(rect.left() - tree->indentation() / 2, rect.center().y()));
}

} // namespace

class FolderTreeViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void naturalOrder();
    void computerHoldsHomeAndTheFileSystem();
    void foldersAreReadWhenExpanded();
    void hiddenFoldersFollowTheProperty();
    void namesInFileManagerOrder();
    void selectionIsReportedAsFullPath();
    void startSelection();
    void otherRoots();
    void refreshKeepsExpansionAndSelection();
    void pathsThatAreNoFolders();
    void namesThatAreNotUtf8();

private:
    QTemporaryDir home_;
    QByteArray savedHome_;
    QString dir_; // a fresh folder per test, inside the home folder
};

void FolderTreeViewTest::initTestCase()
{
    // The home folder is a private one, so its place is known.
    savedHome_ = qgetenv("HOME");
    qputenv("HOME", QDir::cleanPath(home_.path()).toUtf8());
}

void FolderTreeViewTest::cleanupTestCase()
{
    qputenv("HOME", savedHome_);
}

void FolderTreeViewTest::init()
{
    static int count = 0;
    dir_ = QDir::cleanPath(home_.filePath(QStringLiteral("case%1").arg(++count)));
    QDir().mkpath(dir_);
}

void FolderTreeViewTest::naturalOrder()
{
    QVERIFY(NaturalLess("Track 9", "Track 10"));
    QVERIFY(NaturalLess("track 2", "Track 10"));
    QVERIFY(NaturalLess("a", "B"));
    QVERIFY(NaturalLess("B", "c"));
    QVERIFY(NaturalLess("007", "8"));
    QVERIFY(NaturalLess("disc1", "disc1a"));
    QVERIFY(NaturalLess(".hidden", "a"));
    QVERIFY(NaturalLess("x99999999999999999999", "x100000000000000000000")); // beyond any integer type
    QCOMPARE(NaturalCompare("same", "same"), 0);
    // Different names never compare equal, so sorting is stable across runs.
    QVERIFY(NaturalCompare("A", "a") != 0);
    QVERIFY(NaturalCompare("01", "1") != 0);
    QCOMPARE(NaturalCompare("A", "a") < 0, !(NaturalCompare("a", "A") < 0));
}

void FolderTreeViewTest::computerHoldsHomeAndTheFileSystem()
{
    TFolderTreeViewEx tree;
    QCOMPARE(tree.RootFolder(), TRootFolder::rfDrives);
    QCOMPARE(tree.SelectedDir(), TSelectedDir::sdNone);
    QVERIFY(tree.ShowRootFolder());
    QVERIFY(tree.ShowIncludeHidden());
    QVERIFY(tree.ContextMenu());
    QVERIFY(tree.DragAndDrop());
    QVERIFY(tree.AutoUpDate());
    QCOMPARE(tree.editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* computer = tree.topLevelItem(0);
    QCOMPARE(computer->text(0), QStringLiteral("コンピューター"));
    QVERIFY(TFolderTreeViewEx::NodePath(computer).isEmpty());
    QVERIFY(computer->isExpanded());
    QVERIFY(computer->childCount() >= 2);
    QCOMPARE(computer->child(0)->text(0), QStringLiteral("ホーム"));
    QCOMPARE(TFolderTreeViewEx::NodePath(computer->child(0)), QDir::cleanPath(home_.path()));
    QCOMPARE(computer->child(1)->text(0), QStringLiteral("ファイルシステム"));
    QCOMPARE(TFolderTreeViewEx::NodePath(computer->child(1)), QStringLiteral("/"));
    // Nothing below the places is read yet, and nothing is selected.
    for (int i = 0; i < computer->childCount(); ++i) {
        QVERIFY(!TFolderTreeViewEx::NodeLoaded(computer->child(i)));
        QCOMPARE(computer->child(i)->childCount(), 0);
    }
    QVERIFY(!tree.currentItem());
    QVERIFY(tree.SelectedFolderName().isEmpty());
}

void FolderTreeViewTest::foldersAreReadWhenExpanded()
{
    QDir().mkpath(dir_ + "/artist/album/disc 1");
    QDir().mkpath(dir_ + "/singles");
    QDir().mkpath(dir_ + "/.cache/x");
    Touch(dir_ + "/song.mp3");
    Touch(dir_ + "/artist/cover.jpg");
    TShownTree shown;
    TFolderTreeViewEx& tree = shown.tree;

    QTreeWidgetItem* node = tree.ExpandToPath(dir_);
    QVERIFY(node);
    QCOMPARE(TFolderTreeViewEx::NodePath(node), dir_);
    QVERIFY(!TFolderTreeViewEx::NodeLoaded(node));
    QCOMPARE(node->childCount(), 0);
    QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    // A double click opens the node: its folders, hidden ones too, and no files.
    DoubleClickNode(&tree, node);
    QVERIFY(node->isExpanded());
    QVERIFY(TFolderTreeViewEx::NodeLoaded(node));
    QCOMPARE(ChildTexts(node), (QStringList{".cache", "artist", "singles"}));
    QTreeWidgetItem* artist = node->child(1);
    QTreeWidgetItem* singles = node->child(2);
    QCOMPARE(TFolderTreeViewEx::NodePath(artist), dir_ + "/artist");
    QCOMPARE(artist->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    QCOMPARE(singles->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    QCOMPARE(artist->childCount(), 0); // one level at a time

    ClickBranch(&tree, artist);
    QVERIFY(artist->isExpanded());
    QCOMPARE(ChildTexts(artist), QStringList{"album"});
    QCOMPARE(artist->child(0)->childCount(), 0);
    QVERIFY(!TFolderTreeViewEx::NodeLoaded(artist->child(0)));
    // Closing and opening again reads nothing twice.
    ClickBranch(&tree, artist);
    QVERIFY(!artist->isExpanded());
    ClickBranch(&tree, artist);
    QCOMPARE(ChildTexts(artist), QStringList{"album"});
}

void FolderTreeViewTest::hiddenFoldersFollowTheProperty()
{
    QDir().mkpath(dir_ + "/.hidden/inner");
    QDir().mkpath(dir_ + "/shown");
    TShownTree shown;
    TFolderTreeViewEx& tree = shown.tree;
    QVERIFY(tree.ExpandToPath(dir_ + "/.hidden/inner"));
    QTreeWidgetItem* node = tree.FindNode(dir_);
    QCOMPARE(ChildTexts(node), (QStringList{".hidden", "shown"}));

    tree.SetShowIncludeHidden(false); // rebuilds the tree
    QVERIFY(!tree.FindNode(dir_));
    node = tree.ExpandToPath(dir_);
    tree.expandItem(node);
    QCOMPARE(ChildTexts(node), QStringList{"shown"});
    QVERIFY(!tree.ExpandToPath(dir_ + "/.hidden/inner"));
    // A folder with nothing inside but a hidden folder shows no mark now.
    QDir().mkpath(dir_ + "/cover/.thumbnails");
    tree.Refresh();
    QTreeWidgetItem* cover = tree.FindNode(dir_ + "/cover");
    QVERIFY(cover);
    QCOMPARE(cover->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    tree.SetShowIncludeHidden(true);
    cover = tree.ExpandToPath(dir_ + "/cover");
    QCOMPARE(cover->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

void FolderTreeViewTest::namesInFileManagerOrder()
{
    for (const char* name : {"b", "A", "10", "9", "c 10", "c 2", "Ä"})
        QDir(dir_).mkdir(QString::fromUtf8(name));
    TShownTree shown;
    QTreeWidgetItem* node = shown.tree.ExpandToPath(dir_);
    shown.tree.expandItem(node);
    QCOMPARE(ChildTexts(node), (QStringList{"9", "10", "A", "b", "c 2", "c 10", "Ä"}));
}

void FolderTreeViewTest::selectionIsReportedAsFullPath()
{
    QDir().mkpath(dir_ + "/Music/Jazz");
    TShownTree shown;
    TFolderTreeViewEx& tree = shown.tree;
    QStringList changes;
    QStringList clicks;
    QStringList doubleClicks;
    tree.OnChange = [&](TFolderTreeViewEx& sender, const QString& folder) {
        QCOMPARE(&sender, &tree);
        changes << folder;
    };
    tree.OnClick = [&](TFolderTreeViewEx&, const QString& folder) { clicks << folder; };
    tree.OnDblClick = [&](TFolderTreeViewEx&, const QString& folder) { doubleClicks << folder; };

    QTreeWidgetItem* jazz = tree.ExpandToPath(dir_ + "/Music/Jazz");
    QVERIFY(changes.isEmpty()); // opening nodes selects nothing
    ClickNode(&tree, jazz);
    QCOMPARE(changes, QStringList{dir_ + "/Music/Jazz"});
    QCOMPARE(clicks, QStringList{dir_ + "/Music/Jazz"});
    QCOMPARE(tree.SelectedFolderName(), dir_ + "/Music/Jazz");
    ClickNode(&tree, jazz); // the same node again: no change
    QCOMPARE(changes.size(), 1);
    QCOMPARE(clicks.size(), 2);

    QTreeWidgetItem* music = jazz->parent();
    DoubleClickNode(&tree, music);
    QCOMPARE(changes.last(), dir_ + "/Music");
    QCOMPARE(doubleClicks, QStringList{dir_ + "/Music"});
    QVERIFY(!music->isExpanded()); // the double click closed it

    // Keyboard moves report as well; the computer reports its name.
    QTest::keyClick(&tree, Qt::Key_Home);
    QCOMPARE(changes.last(), QStringLiteral("コンピューター"));
    // Without a selection the last name stands.
    tree.setCurrentItem(nullptr);
    QCOMPARE(tree.SelectedFolderName(), QStringLiteral("コンピューター"));
}

void FolderTreeViewTest::startSelection()
{
    QDir().mkpath(dir_ + "/here/inside");
    const QString startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_ + "/here"));
    QStringList changes;
    TFolderTreeViewEx current;
    current.OnChange = [&](TFolderTreeViewEx&, const QString& folder) { changes << folder; };
    current.SetSelectedDir(TSelectedDir::sdCurrent);
    QVERIFY(QDir::setCurrent(startDir));
    QCOMPARE(changes, QStringList{dir_ + "/here"}); // once, when the tree is built
    QCOMPARE(TFolderTreeViewEx::NodePath(current.currentItem()), dir_ + "/here");
    QVERIFY(current.currentItem()->isExpanded());
    QCOMPARE(ChildTexts(current.currentItem()), QStringList{"inside"});
    // Reached through the home folder's place, the nearest one.
    QTreeWidgetItem* place = current.currentItem();
    while (place->parent() && place->parent()->parent())
        place = place->parent();
    QCOMPARE(place->text(0), QStringLiteral("ホーム"));

    TFolderTreeViewEx system;
    system.SetSelectedDir(TSelectedDir::sdSystem);
    QCOMPARE(system.SelectedFolderName(), QStringLiteral("/"));
    QVERIFY(system.currentItem()->isExpanded());
    system.SetSelectedDir(TSelectedDir::sdNone);
    QVERIFY(!system.currentItem());

    // The start selection belongs to the computer's tree only.
    TFolderTreeViewEx manual;
    manual.SetRootFolder(TRootFolder::rfManual);
    manual.SetRootFolderName(dir_);
    manual.SetSelectedDir(TSelectedDir::sdSystem);
    QVERIFY(!manual.currentItem());
}

void FolderTreeViewTest::otherRoots()
{
    QDir().mkpath(dir_ + "/one/deeper");
    QDir().mkpath(dir_ + "/two");
    TFolderTreeViewEx tree;
    tree.SetRootFolderName(dir_); // no effect while the root is the computer
    QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("コンピューター"));

    tree.SetRootFolder(TRootFolder::rfManual);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree.topLevelItem(0);
    QCOMPARE(TFolderTreeViewEx::NodePath(root), dir_);
    QCOMPARE(root->text(0), QFileInfo(dir_).fileName());
    QVERIFY(root->isExpanded());
    QCOMPARE(ChildTexts(root), (QStringList{"one", "two"}));
    QVERIFY(tree.ExpandToPath(dir_ + "/one/deeper"));
    QVERIFY(!tree.ExpandToPath(home_.path())); // outside the root

    tree.SetShowRootFolder(false);
    QCOMPARE(tree.topLevelItemCount(), 2);
    QCOMPARE(TFolderTreeViewEx::NodePath(tree.topLevelItem(0)), dir_ + "/one");
    QVERIFY(tree.ExpandToPath(dir_ + "/one/deeper"));
    QDir(dir_).mkdir(QStringLiteral("three"));
    tree.Refresh();
    QCOMPARE(tree.topLevelItemCount(), 3);

    // A name that is no folder roots the tree at the computer.
    tree.SetShowRootFolder(true);
    tree.SetRootFolderName(dir_ + "/nothing here");
    QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("コンピューター"));
}

void FolderTreeViewTest::refreshKeepsExpansionAndSelection()
{
    QDir().mkpath(dir_ + "/keep/child");
    QDir().mkpath(dir_ + "/gone/child");
    TShownTree shown;
    TFolderTreeViewEx& tree = shown.tree;
    QStringList changes;
    tree.OnChange = [&](TFolderTreeViewEx&, const QString& folder) { changes << folder; };
    QTreeWidgetItem* child = tree.SelectPath(dir_ + "/keep/child");
    QVERIFY(child);
    tree.ExpandToPath(dir_ + "/gone/child");
    QTreeWidgetItem* keep = child->parent();

    QDir(dir_ + "/gone").removeRecursively();
    QDir(dir_).mkdir(QStringLiteral("added"));
    QDir(dir_ + "/keep").mkdir(QStringLiteral("a sibling"));
    const int reported = changes.size();
    tree.Refresh();
    QTreeWidgetItem* node = tree.FindNode(dir_);
    QCOMPARE(ChildTexts(node), (QStringList{"added", "keep"}));
    QCOMPARE(ChildTexts(keep), (QStringList{"a sibling", "child"}));
    QVERIFY(keep->isExpanded());
    QVERIFY(node->isExpanded());
    QCOMPARE(tree.currentItem(), child);
    QCOMPARE(changes.size(), reported);
    QVERIFY(!tree.FindNode(dir_ + "/gone/child"));

    // The selected folder disappears: the selection moves and is reported.
    QDir(dir_ + "/keep").removeRecursively();
    tree.Refresh();
    QVERIFY(tree.currentItem() != nullptr);
    QVERIFY(changes.size() > reported);
    QCOMPARE(changes.last(), tree.SelectedFolderName());
    QVERIFY(!tree.FindNode(dir_ + "/keep"));
}

void FolderTreeViewTest::pathsThatAreNoFolders()
{
    Touch(dir_ + "/file.mp3");
    TFolderTreeViewEx tree;
    QVERIFY(!tree.ExpandToPath(dir_ + "/file.mp3"));
    QVERIFY(!tree.ExpandToPath(dir_ + "/missing"));
    QVERIFY(!tree.SelectPath(QString()));
    // A folder made after its parent was read is found all the same.
    QVERIFY(tree.ExpandToPath(dir_));
    tree.expandItem(tree.FindNode(dir_));
    QDir(dir_).mkdir(QStringLiteral("late"));
    QTreeWidgetItem* late = tree.SelectPath(dir_ + "/late");
    QVERIFY(late);
    QCOMPARE(tree.SelectedFolderName(), dir_ + "/late");
    // Paths are taken clean.
    QCOMPARE(tree.ExpandToPath(dir_ + "/./late/"), late);
    QCOMPARE(tree.FindNode(dir_ + "//late"), late);
}

void FolderTreeViewTest::namesThatAreNotUtf8()
{
    // Latin-1 names, as an old music collection may have them.
    const QByteArray base = QFile::encodeName(dir_);
    const QByteArray album = base + "/Caf\xe9";
    const QByteArray song = album + "/01 \xe9t\xe9.mp3";
    QCOMPARE(::mkdir(album.constData(), 0755), 0);
    QCOMPARE(::mkdir((album + "/Disc \xff").constData(), 0755), 0);
    QCOMPARE(::mkdir((base + "/to").constData(), 0755), 0);
    const int fd = ::open(song.constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "ID3", 3), 3);
    ::close(fd);

    TAlbumForm dialog;
    dialog.show();
    TFolderTreeViewEx& tree = *dialog.FolderTreeViewEx1;
    QTreeWidgetItem* folder = tree.ExpandToPath(dir_);
    tree.expandItem(folder);
    QCOMPARE(ChildTexts(folder), (QStringList{QFile::decodeName("Caf\xe9"), "to"}));
    QTreeWidgetItem* cafe = folder->child(0);
    tree.expandItem(cafe);
    QCOMPARE(ChildTexts(cafe), QStringList{QFile::decodeName("Disc \xff")});

    // Selected, its file is listed and opens by the path the list gives.
    ClickNode(&tree, cafe);
    QCOMPARE(dialog.FileListBox1->FileNames(), QStringList{QFile::decodeName("01 \xe9t\xe9.mp3")});
    QCOMPARE(dialog.FileListBox1->FilePathBytes(), QList<QByteArray>{song});

    // Moved by a drop, with everything in it.
    QVERIFY(tree.DropInto(TFolderTreeViewEx::NodePath(cafe), dir_ + "/to", false));
    struct stat st;
    QCOMPARE(::stat((base + "/to/Caf\xe9/01 \xe9t\xe9.mp3").constData(), &st), 0);
    QCOMPARE(st.st_size, 3);
    QVERIFY(::stat(album.constData(), &st) != 0);
}

QTEST_MAIN(FolderTreeViewTest)
#include "folder_tree_view_test.moc"
