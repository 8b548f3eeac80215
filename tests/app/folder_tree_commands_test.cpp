// The folder tree's commands under the real mouse and keyboard: the right-click menu (open in
// the file manager, new folder, rename, move to the trash) and drops that move or copy, with
// the message boxes of refusals.
#include "support/album_driver.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPointer>
#include <QWindow>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pt4;
using namespace pt4::testing;

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

void Touch(const QString& path, const QByteArray& bytes = "x")
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

QString Failed()
{
    return TFolderTreeViewEx::kCaption + u'|' + TFolderTreeViewEx::kCommandFailed;
}

// Right-clicks node through the window, as the desktop delivers it (the window turns the click
// into the context menu request), and runs act on the menu that opens.
void RightClick(TFolderTreeViewEx& tree, QTreeWidgetItem* node, std::function<void(QMenu*)> act)
{
    WhenMenuShown([act](QMenu* menu) {
        act(menu);
        if (menu->isVisible())
            menu->close();
    });
    tree.scrollToItem(node);
    QWindow* window = tree.window()->windowHandle();
    const QPoint at = tree.viewport()->mapTo(tree.window(), tree.visualItemRect(node).center());
    QTest::mouseClick(window, Qt::RightButton, Qt::NoModifier, at);
}

void Choose(TFolderTreeViewEx& tree, QTreeWidgetItem* node, const QString& entry)
{
    RightClick(tree, node, [entry](QMenu* menu) {
        if (!ClickMenuEntry(menu, entry))
            qWarning("no entry %s", qPrintable(entry));
    });
}

// The label editor the tree opens once the menu has gone.
QLineEdit* Editor(TFolderTreeViewEx& tree)
{
    WaitUntil([&tree] {
        QLineEdit* editor = tree.viewport()->findChild<QLineEdit*>();
        return editor && editor->isVisible();
    });
    return tree.viewport()->findChild<QLineEdit*>();
}

void TypeName(TFolderTreeViewEx& tree, const QString& name, Qt::Key finish = Qt::Key_Return)
{
    QLineEdit* editor = Editor(tree);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, name);
    QTest::keyClick(editor, finish);
    // The view takes the typed name on its next turn of the event loop.
    QVERIFY(WaitUntil([editor = QPointer<QLineEdit>(editor)] { return !editor || !editor->isVisible(); }));
    QTest::qWait(0);
}

} // namespace

class FolderTreeCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rightClickSelectsAndOffersWhatTheNodeAllows();
    void menuCanBeSwitchedOff();
    void openInTheFileManager();
    void newFolderIsCreatedAndNamed();
    void renameMovesTheSubtreeAndRefusesTakenNames();
    void moveToTheTrash();
    void dropMovesAndCtrlCopies();
    void droppedFolderMovesInTheTree();
    void dropsThatAreRefused();

private:
    QTemporaryDir root_;
    QByteArray savedHome_;
    QByteArray savedData_;
    QString dir_;
    std::unique_ptr<TFolderTreeViewEx> tree_;
    QStringList changes_;
};

void FolderTreeCommandsTest::initTestCase()
{
    // The home folder and the trash are private ones.
    savedHome_ = qgetenv("HOME");
    savedData_ = qgetenv("XDG_DATA_HOME");
    QDir().mkpath(root_.filePath("home"));
    QDir().mkpath(root_.filePath("data"));
    qputenv("HOME", QDir::cleanPath(root_.filePath("home")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir::cleanPath(root_.filePath("data")).toUtf8());
}

void FolderTreeCommandsTest::cleanupTestCase()
{
    qputenv("HOME", savedHome_);
    if (savedData_.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedData_);
}

void FolderTreeCommandsTest::init()
{
    static int count = 0;
    dir_ = QDir::cleanPath(root_.filePath(QStringLiteral("home/case%1").arg(++count)));
    QDir().mkpath(dir_);
    tree_ = std::make_unique<TFolderTreeViewEx>();
    tree_->resize(320, 480);
    tree_->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree_.get()));
    changes_.clear();
    tree_->OnChange = [this](TFolderTreeViewEx&, const QString& folder) { changes_ << folder; };
}

void FolderTreeCommandsTest::cleanup()
{
    tree_.reset();
}

void FolderTreeCommandsTest::rightClickSelectsAndOffersWhatTheNodeAllows()
{
    QDir().mkpath(dir_ + "/music");
    TFolderTreeViewEx& tree = *tree_;
    QTreeWidgetItem* music = tree.ExpandToPath(dir_ + "/music");
    QStringList entries;
    QList<bool> enabled;
    auto collect = [&](QMenu* menu) {
        entries.clear();
        enabled.clear();
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            entries << action->text();
            enabled << action->isEnabled();
        }
    };
    RightClick(tree, music, collect);
    QCOMPARE(tree.currentItem(), music);
    QCOMPARE(changes_.last(), dir_ + "/music");
    QCOMPARE(entries, (QStringList{"ファイルマネージャーで開く(&O)", "新しいフォルダー(&W)", "名前の変更(&M)",
                                   "ゴミ箱へ移動(&D)"}));
    QCOMPARE(enabled, (QList<bool>{true, true, true, true}));

    // The home place is opened and added to, never renamed or thrown away.
    QTreeWidgetItem* home = tree.topLevelItem(0)->child(0);
    RightClick(tree, home, collect);
    QCOMPARE(enabled, (QList<bool>{true, true, false, false}));
    // The computer is no folder.
    RightClick(tree, tree.topLevelItem(0), collect);
    QCOMPARE(enabled, (QList<bool>{false, false, false, false}));
    QCOMPARE(changes_.last(), QStringLiteral("コンピューター"));
}

void FolderTreeCommandsTest::menuCanBeSwitchedOff()
{
    TFolderTreeViewEx& tree = *tree_;
    tree.SetContextMenu(false);
    QTreeWidgetItem* node = tree.ExpandToPath(dir_);
    QTest::mouseClick(tree.windowHandle(), Qt::RightButton, Qt::NoModifier,
                      tree.viewport()->mapTo(&tree, tree.visualItemRect(node).center()));
    QTest::qWait(20);
    QVERIFY(!QApplication::activePopupWidget());
    QCOMPARE(tree.currentItem(), node); // the right button still selects
}

void FolderTreeCommandsTest::openInTheFileManager()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QDir().mkpath(dir_ + "/Live Recordings");
    Choose(*tree_, tree_->ExpandToPath(dir_ + "/Live Recordings"),
           QStringLiteral("ファイルマネージャーで開く"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(dir_ + "/Live Recordings")});
}

void FolderTreeCommandsTest::newFolderIsCreatedAndNamed()
{
    TFolderTreeViewEx& tree = *tree_;
    QStringList contentChanges;
    connect(&tree, &TFolderTreeViewEx::FolderContentsChanged, this,
            [&](const QString& path) { contentChanges << path; });
    QTreeWidgetItem* node = tree.ExpandToPath(dir_);
    Choose(tree, node, QStringLiteral("新しいフォルダー"));
    const QString made = dir_ + "/新しいフォルダー";
    QVERIFY(QFileInfo(made).isDir());
    QCOMPARE(contentChanges, QStringList{dir_});
    QVERIFY(node->isExpanded());
    // The new node is selected with its name open for typing.
    QCOMPARE(TFolderTreeViewEx::NodePath(tree.currentItem()), made);
    QCOMPARE(changes_.last(), made);
    QVERIFY(Editor(tree) && Editor(tree)->isVisible());
    QCOMPARE(Editor(tree)->text(), QStringLiteral("新しいフォルダー"));
    TypeName(tree, QStringLiteral("Live 2024"));
    QVERIFY(!QFileInfo::exists(made));
    QVERIFY(QFileInfo(dir_ + "/Live 2024").isDir());
    QCOMPARE(tree.currentItem()->text(0), QStringLiteral("Live 2024"));
    QCOMPARE(TFolderTreeViewEx::NodePath(tree.currentItem()), dir_ + "/Live 2024");
    QCOMPARE(changes_.last(), dir_ + "/Live 2024");
    QVERIFY(!(tree.currentItem()->flags() & Qt::ItemIsEditable)); // read-only again

    // Another one keeps the offered name (Escape), the next is numbered.
    Choose(tree, node, QStringLiteral("新しいフォルダー"));
    TypeName(tree, QString(), Qt::Key_Escape);
    Choose(tree, node, QStringLiteral("新しいフォルダー"));
    TypeName(tree, QString(), Qt::Key_Escape);
    QVERIFY(QFileInfo(made).isDir());
    QVERIFY(QFileInfo(dir_ + "/新しいフォルダー (2)").isDir());
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    QCOMPARE(texts, (QStringList{"Live 2024", "新しいフォルダー", "新しいフォルダー (2)"}));
}

void FolderTreeCommandsTest::renameMovesTheSubtreeAndRefusesTakenNames()
{
    QDir().mkpath(dir_ + "/old/inner/deep");
    QDir().mkpath(dir_ + "/taken");
    TFolderTreeViewEx& tree = *tree_;
    QTreeWidgetItem* deep = tree.ExpandToPath(dir_ + "/old/inner/deep");
    QTreeWidgetItem* old = deep->parent()->parent();
    Choose(tree, old, QStringLiteral("名前の変更"));
    TypeName(tree, QStringLiteral("new"));
    QVERIFY(QFileInfo(dir_ + "/new/inner/deep").isDir());
    QCOMPARE(TFolderTreeViewEx::NodePath(old), dir_ + "/new");
    QCOMPARE(TFolderTreeViewEx::NodePath(deep), dir_ + "/new/inner/deep");
    QVERIFY(deep->parent()->isExpanded());
    QCOMPARE(changes_.last(), dir_ + "/new");
    // Sorted into place.
    QCOMPARE(old->parent()->child(0), old);

    // Cancelled with Escape: nothing happens.
    Choose(tree, old, QStringLiteral("名前の変更"));
    TypeName(tree, QStringLiteral("ignored"), Qt::Key_Escape);
    QCOMPARE(old->text(0), QStringLiteral("new"));
    QVERIFY(QFileInfo(dir_ + "/new").isDir());

    // A taken name and a name with a slash are refused with the message box.
    for (const QString& name : {QStringLiteral("taken"), QStringLiteral("a/b")}) {
        auto shown = std::make_shared<QString>();
        WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
        Choose(tree, old, QStringLiteral("名前の変更"));
        TypeName(tree, name);
        QCOMPARE(*shown, Failed());
        QCOMPARE(old->text(0), QStringLiteral("new"));
        QVERIFY(QFileInfo(dir_ + "/new/inner/deep").isDir());
        QVERIFY(QDir(dir_ + "/taken").isEmpty());
    }
}

void FolderTreeCommandsTest::moveToTheTrash()
{
    QDir().mkpath(dir_ + "/keep");
    QDir().mkpath(dir_ + "/unwanted/sub");
    Touch(dir_ + "/unwanted/sub/song.mp3");
    TFolderTreeViewEx& tree = *tree_;
    QTreeWidgetItem* unwanted = tree.ExpandToPath(dir_ + "/unwanted/sub")->parent();
    QTreeWidgetItem* parent = unwanted->parent();
    Choose(tree, unwanted, QStringLiteral("ゴミ箱へ移動"));
    QVERIFY(!QFileInfo::exists(dir_ + "/unwanted"));
    QVERIFY(QFileInfo::exists(root_.filePath("data/Trash/files/unwanted/sub/song.mp3")));
    QCOMPARE(parent->childCount(), 1);
    QCOMPARE(parent->child(0)->text(0), QStringLiteral("keep"));
    // The selection moves to the folder that held it.
    QCOMPARE(tree.currentItem(), parent);
    QCOMPARE(changes_.last(), dir_);

    // A name that is not UTF-8 goes to the same trash, byte for byte.
    const QByteArray latin1 = QFile::encodeName(dir_) + "/Caf\xe9";
    QCOMPARE(::mkdir(latin1.constData(), 0755), 0);
    tree.Refresh();
    QTreeWidgetItem* cafe = parent->child(0);
    QCOMPARE(cafe->text(0), QFile::decodeName("Caf\xe9"));
    Choose(tree, cafe, QStringLiteral("ゴミ箱へ移動"));
    QVERIFY(::access(latin1.constData(), F_OK) != 0);
    QCOMPARE(::access((QFile::encodeName(root_.filePath("data")) + "/Trash/files/Caf\xe9").constData(), F_OK),
             0);
    QCOMPARE(parent->childCount(), 1);

    // A folder already gone behind the tree's back cannot be thrown away.
    QTreeWidgetItem* keep = parent->child(0);
    QDir(dir_ + "/keep").removeRecursively();
    auto shown = std::make_shared<QString>();
    WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    Choose(tree, keep, QStringLiteral("ゴミ箱へ移動"));
    QCOMPARE(*shown, Failed());
}

void FolderTreeCommandsTest::dropMovesAndCtrlCopies()
{
    QDir().mkpath(dir_ + "/from");
    QDir().mkpath(dir_ + "/to");
    Touch(dir_ + "/from/a.mp3", "first");
    Touch(dir_ + "/from/b.mp3", "second");
    TFolderTreeViewEx& tree = *tree_;
    QStringList contentChanges;
    connect(&tree, &TFolderTreeViewEx::FolderContentsChanged, this,
            [&](const QString& path) { contentChanges << path; });
    QTreeWidgetItem* to = tree.ExpandToPath(dir_ + "/to");

    QCOMPARE(DropOn(&tree, to, {dir_ + "/from/a.mp3"}), Qt::MoveAction);
    QVERIFY(WaitUntil([&] { return QFileInfo::exists(dir_ + "/to/a.mp3"); }));
    QVERIFY(!QFileInfo::exists(dir_ + "/from/a.mp3"));
    QCOMPARE(contentChanges, (QStringList{dir_ + "/to", dir_ + "/from"}));

    QCOMPARE(DropOn(&tree, to, {dir_ + "/from/b.mp3"}, Qt::ControlModifier), Qt::CopyAction);
    QVERIFY(WaitUntil([&] { return QFileInfo::exists(dir_ + "/to/b.mp3"); }));
    QVERIFY(QFileInfo::exists(dir_ + "/from/b.mp3"));
    QFile copy(dir_ + "/to/b.mp3");
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("second"));

    // A file dropped on the folder it is in stays where it is.
    QCOMPARE(DropOn(&tree, to, {dir_ + "/to/a.mp3"}), Qt::MoveAction);
    QTest::qWait(20);
    QVERIFY(QFileInfo::exists(dir_ + "/to/a.mp3"));
}

void FolderTreeCommandsTest::droppedFolderMovesInTheTree()
{
    QDir().mkpath(dir_ + "/src/album/disc");
    QDir().mkpath(dir_ + "/dst");
    TFolderTreeViewEx& tree = *tree_;
    QVERIFY(tree.ExpandToPath(dir_ + "/src/album/disc"));
    QTreeWidgetItem* dst = tree.ExpandToPath(dir_ + "/dst");
    tree.expandItem(dst);
    QCOMPARE(DropOn(&tree, dst, {dir_ + "/src/album"}), Qt::MoveAction);
    QVERIFY(WaitUntil([&] { return QFileInfo(dir_ + "/dst/album/disc").isDir(); }));
    QVERIFY(!tree.FindNode(dir_ + "/src/album"));
    QTreeWidgetItem* moved = tree.FindNode(dir_ + "/dst/album");
    QVERIFY(moved);
    QCOMPARE(moved->parent(), dst);

    // A folder is not offered to itself or to a folder inside it.
    QTreeWidgetItem* disc = tree.ExpandToPath(dir_ + "/dst/album/disc");
    QCOMPARE(DropOn(&tree, moved, {dir_ + "/dst/album"}), Qt::IgnoreAction);
    QCOMPARE(DropOn(&tree, disc, {dir_ + "/dst/album"}), Qt::IgnoreAction);
    QVERIFY(QFileInfo(dir_ + "/dst/album/disc").isDir());
}

void FolderTreeCommandsTest::dropsThatAreRefused()
{
    QDir().mkpath(dir_ + "/to");
    Touch(dir_ + "/a.mp3");
    Touch(dir_ + "/b.mp3");
    Touch(dir_ + "/to/a.mp3", "already");
    TFolderTreeViewEx& tree = *tree_;
    QTreeWidgetItem* to = tree.ExpandToPath(dir_ + "/to");

    // Two files at once, a file that is not there, or drops switched off: not taken.
    QCOMPARE(DropOn(&tree, to, {dir_ + "/a.mp3", dir_ + "/b.mp3"}), Qt::IgnoreAction);
    QCOMPARE(DropOn(&tree, to, {dir_ + "/missing.mp3"}), Qt::IgnoreAction);
    tree.SetDragAndDrop(false);
    QCOMPARE(DropOn(&tree, to, {dir_ + "/b.mp3"}), Qt::IgnoreAction);
    tree.SetDragAndDrop(true);

    // The name is taken there: the message box, and both files stay.
    auto shown = std::make_shared<QString>();
    WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    QCOMPARE(DropOn(&tree, to, {dir_ + "/a.mp3"}), Qt::MoveAction);
    QVERIFY(WaitUntil([&] { return !shown->isEmpty(); }));
    QCOMPARE(*shown, Failed());
    QVERIFY(QFileInfo::exists(dir_ + "/a.mp3"));
    QFile kept(dir_ + "/to/a.mp3");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("already"));

    // A link that leads back into the dropped folder: refused before anything moves.
    QDir().mkpath(dir_ + "/album/disc");
    Touch(dir_ + "/album/disc/c.mp3");
    QVERIFY(QFile::link(dir_ + "/album/disc", dir_ + "/inside"));
    tree.Refresh();
    QTreeWidgetItem* inside = tree.FindNode(dir_ + "/inside");
    QVERIFY(inside);
    shown->clear();
    WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    QCOMPARE(DropOn(&tree, inside, {dir_ + "/album"}), Qt::MoveAction);
    QVERIFY(WaitUntil([&] { return !shown->isEmpty(); }));
    QVERIFY2(shown->startsWith(TFolderTreeViewEx::kCaption + u'|' +
                               QStringLiteral("フォルダをそのフォルダ自身の中へ移動することはできません。")),
             qPrintable(*shown));
    QCOMPARE(QDir(dir_ + "/album/disc").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"c.mp3"});

    // The computer is no folder to drop into.
    shown->clear();
    WhenModalShown([shown](QWidget* modal) { *shown = AnswerMessageBox(modal); });
    QCOMPARE(DropOn(&tree, tree.topLevelItem(0), {dir_ + "/b.mp3"}), Qt::MoveAction);
    QVERIFY(WaitUntil([&] { return !shown->isEmpty(); }));
    QCOMPARE(*shown, TFolderTreeViewEx::kCaption + u'|' + TFolderTreeViewEx::kSpecialFolder);
    QVERIFY(QFileInfo::exists(dir_ + "/b.mp3"));
}

QTEST_MAIN(FolderTreeCommandsTest)
#include "folder_tree_commands_test.moc"
