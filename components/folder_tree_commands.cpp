// The folder tree's context menu and its commands: open in the file manager, new folder, rename
// (label editing started from the menu) and move to the trash.
#include "components/folder_tree_view.h"

#include "components/folder_operations.h"
#include "components/folder_tree_nodes.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace pt4 {

using namespace folder_tree;

const QString TFolderTreeViewEx::kCaption = QStringLiteral(" FolderTreeViewEx component version 2.11");
const QString TFolderTreeViewEx::kCommandFailed = QStringLiteral("InvokeCommand failed!");
const QString TFolderTreeViewEx::kSpecialFolder =
    QStringLiteral("This Folder is SpecialFolder \r   Can not Copy or Paste!");

QMenu* TFolderTreeViewEx::CreateContextMenu(QTreeWidgetItem* node)
{
    auto* menu = new QMenu(this);
    const QString path = NodePath(node);
    const bool place = IsPlace(node);
    const QFileInfo info(path); // for its parent's path only: the name may not be UTF-8
    const bool parentWritable = !path.isEmpty() && CanWrite(info.absolutePath());

    QAction* open = menu->addAction(QStringLiteral("ファイルマネージャーで開く(&O)"), this,
                                    [this, node] { OpenInFileManager(node); });
    open->setEnabled(!path.isEmpty());
    menu->addSeparator();
    QAction* create =
        menu->addAction(QStringLiteral("新しいフォルダー(&W)"), this, [this, node] { NewFolder(node); });
    create->setEnabled(!path.isEmpty() && CanWrite(path));
    QAction* rename =
        menu->addAction(QStringLiteral("名前の変更(&M)"), this, [this, node] { StartRenameLater(node); });
    rename->setEnabled(!place && parentWritable);
    QAction* trash =
        menu->addAction(QStringLiteral("ゴミ箱へ移動(&D)"), this, [this, node] { MoveToTrash(node); });
    trash->setEnabled(!place && parentWritable);
    return menu;
}

void TFolderTreeViewEx::contextMenuEvent(QContextMenuEvent* event)
{
    if (!contextMenu_) {
        event->ignore();
        return;
    }
    QTreeWidgetItem* node =
        event->reason() == QContextMenuEvent::Mouse ? itemAt(event->pos()) : currentItem();
    if (!node)
        return;
    setCurrentItem(node);
    const std::unique_ptr<QMenu> menu(CreateContextMenu(node));
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? event->globalPos()
                          : viewport()->mapToGlobal(visualItemRect(node).center());
    menu->exec(at);
}

bool TFolderTreeViewEx::OpenInFileManager(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    if (path.isEmpty() || !QDesktopServices::openUrl(UrlOfPath(path))) {
        Refused(kCommandFailed);
        return false;
    }
    return true;
}

bool TFolderTreeViewEx::NewFolder(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    const QString created = path.isEmpty() ? QString() : CreateNewFolder(path);
    if (created.isEmpty()) {
        Refused(kCommandFailed);
        return false;
    }
    emit FolderContentsChanged(path);
    if (!autoUpDate_)
        return true;
    if (NodeLoaded(node))
        SyncChildren(node);
    expandItem(node);
    LoadChildren(node);
    if (QTreeWidgetItem* child = FindNode(created)) {
        setCurrentItem(child);
        scrollToItem(child);
        StartRenameLater(child);
    }
    return true;
}

void TFolderTreeViewEx::StartRenameLater(QTreeWidgetItem* node)
{
    // After the menu has closed and the window has its focus back: an editor opened while the
    // menu still held the focus would lose it at once and close again.
    const QString path = NodePath(node);
    QTimer::singleShot(0, this, [this, path] {
        if (QTreeWidgetItem* found = FindNode(path))
            StartRename(found);
    });
}

void TFolderTreeViewEx::StartRename(QTreeWidgetItem* node)
{
    if (!node || NodePath(node).isEmpty() || IsPlace(node))
        return;
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    renaming_ = node;
    renameCommitted_ = false;
    scrollToItem(node);
    editItem(node, 0);
}

void TFolderTreeViewEx::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTreeWidget::closeEditor(editor, hint);
    if (!renaming_)
        return;
    QTreeWidgetItem* node = renaming_;
    const bool committed = renameCommitted_;
    renaming_ = nullptr;
    renameCommitted_ = false;
    node->setFlags(node->flags() & ~Qt::ItemIsEditable);
    if (committed)
        CommitRename(node);
}

void TFolderTreeViewEx::CommitRename(QTreeWidgetItem* node)
{
    const QString oldPath = NodePath(node);
    // The label shows the name as decoded for the eye; left as it was, nothing is renamed.
    const QString oldText = DisplayName(QFileInfo(oldPath).fileName());
    const QString newName = node->text(0);
    if (newName == oldText)
        return;
    const QString newPath = RenameFolder(oldPath, newName);
    if (newPath.isEmpty()) {
        node->setText(0, oldText);
        Refused(kCommandFailed);
        return;
    }
    Repath(node, oldPath, newPath);
    if (QTreeWidgetItem* parent = node->parent())
        SortChildren(parent);
    scrollToItem(node);
    emit FolderContentsChanged(QFileInfo(newPath).absolutePath());
    if (currentItem() == node)
        ReportChange();
}

void TFolderTreeViewEx::Repath(QTreeWidgetItem* node, const QString& oldPath, const QString& newPath)
{
    const QString path = NodePath(node);
    node->setData(0, kPathRole, newPath + path.mid(oldPath.size()));
    for (int i = 0; i < node->childCount(); ++i)
        Repath(node->child(i), oldPath, newPath);
}

bool TFolderTreeViewEx::MoveToTrash(QTreeWidgetItem* node)
{
    const QString path = NodePath(node);
    if (path.isEmpty() || IsPlace(node) || !MoveItemToTrash(path)) {
        Refused(kCommandFailed);
        return false;
    }
    emit FolderContentsChanged(QFileInfo(path).absolutePath());
    if (autoUpDate_) {
        if (Holds(node, renaming_))
            renaming_ = nullptr;
        const QString selected = SelectedFolderName();
        const bool hadSelection = currentItem() != nullptr;
        {
            const QScopedValueRollback quiet(building_, true);
            // The folder that held it takes the selection, as in a file manager.
            if (Holds(node, currentItem()) && node->parent())
                setCurrentItem(node->parent());
            delete node;
        }
        KeepSelection(hadSelection, selected);
    }
    return true;
}

void TFolderTreeViewEx::Refused(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, kCaption, text, QMessageBox::Ok, this);
    box.exec();
}

} // namespace pt4
