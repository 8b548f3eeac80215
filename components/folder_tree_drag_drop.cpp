// The folder tree in drag and drop: a node dragged out carries its folder; one file or folder
// dropped on a node moves into it, or is copied with Ctrl held.
#include "components/folder_tree_view.h"

#include "components/folder_operations.h"
#include "components/folder_tree_nodes.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace pt4 {

using namespace folder_tree;

bool TFolderTreeViewEx::DropItem(const QString& source, QTreeWidgetItem* node, bool copy)
{
    return DropInto(source, NodePath(node), copy);
}

bool TFolderTreeViewEx::DropInto(const QString& source, const QString& folder, bool copy)
{
    if (folder.isEmpty()) {
        Refused(kSpecialFolder);
        return false;
    }
    const QString from = QFileInfo(source).absolutePath();
    if (!copy && CleanAbsolute(from) == CleanAbsolute(folder))
        return true; // already there
    // A long copy runs while the window goes on, and the window may close meanwhile.
    const QPointer<TFolderTreeViewEx> alive(this);
    const TTransferOutcome outcome = TransferInto(this, source, folder, copy);
    if (!alive)
        return outcome.done;
    if (!outcome.done) {
        if (!outcome.cancelled)
            Refused(outcome.plainRefusal || outcome.message.isEmpty() ? kCommandFailed : outcome.message);
        return false;
    }
    if (autoUpDate_)
        Refresh();
    emit FolderContentsChanged(folder);
    if (!copy)
        emit FolderContentsChanged(from);
    if (!outcome.message.isEmpty())
        Refused(outcome.message); // what was left out
    return true;
}

QStringList TFolderTreeViewEx::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions TFolderTreeViewEx::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

QString TFolderTreeViewEx::DroppedItem(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return QString();
    const QString path = QDir::cleanPath(PathOfUrl(urls.front()));
    return ItemExists(path) ? path : QString();
}

void TFolderTreeViewEx::startDrag(Qt::DropActions)
{
    QTreeWidgetItem* node = currentItem();
    const QString path = NodePath(node);
    if (path.isEmpty() || IsPlace(node))
        return;
    auto* data = new QMimeData;
    data->setUrls({UrlOfPath(path)});
    QDrag drag(this);
    drag.setMimeData(data);
    drag.setPixmap(node->icon(0).pixmap(16, 16));
    const Qt::DropAction done = drag.exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction);
    // Dropped in another program: it may still be busy with the folder.
    if (autoUpDate_ && done != Qt::IgnoreAction && !drag.target())
        QTimer::singleShot(1500, this, [this] { Refresh(); });
}

void TFolderTreeViewEx::dragEnterEvent(QDragEnterEvent* event)
{
    if (!dragAndDrop_ || DroppedItem(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QTreeWidget::dragEnterEvent(event);
}

void TFolderTreeViewEx::dragMoveEvent(QDragMoveEvent* event)
{
    const QString source = DroppedItem(event->mimeData());
    if (!dragAndDrop_ || source.isEmpty()) {
        event->ignore();
        return;
    }
    // The view highlights the node, scrolls near the edges and opens a node the pointer rests on.
    QTreeWidget::dragMoveEvent(event);
    const QTreeWidgetItem* node = itemAt(event->position().toPoint());
    const QString folder = NodePath(node);
    if (!node || (!folder.isEmpty() && (folder == source || IsUnder(folder, source)))) {
        event->ignore(); // a folder does not go into itself
        return;
    }
    event->setDropAction(event->modifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void TFolderTreeViewEx::dropEvent(QDropEvent* event)
{
    const QString source = DroppedItem(event->mimeData());
    const QTreeWidgetItem* node = itemAt(event->position().toPoint());
    // The view forgets the highlight and stops scrolling.
    QDragLeaveEvent leave;
    QTreeWidget::dragLeaveEvent(&leave);
    if (!dragAndDrop_ || source.isEmpty() || !node) {
        event->ignore();
        return;
    }
    const bool copy = event->modifiers() & Qt::ControlModifier;
    event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
    // The work and its message boxes come after the drag has finished.
    const QString folder = NodePath(node);
    QTimer::singleShot(0, this, [this, source, folder, copy] { DropInto(source, folder, copy); });
}

} // namespace pt4
