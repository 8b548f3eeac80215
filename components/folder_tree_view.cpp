#include "components/folder_tree_view.h"

#include "components/folder_operations.h"
#include "components/folder_tree_nodes.h"
#include "components/natural_order.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>

namespace pt4 {

using namespace folder_tree;

namespace {

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

void SortByName(QStringList& names)
{
    std::sort(names.begin(), names.end(), NaturalLess);
}

class TFolderNode : public QTreeWidgetItem {
public:
    explicit TFolderNode(const QString& text) : QTreeWidgetItem(QStringList{text}, QTreeWidgetItem::UserType)
    {
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return NaturalLess(text(0), other.text(0));
    }
};

} // namespace

TFolderTreeViewEx::TFolderTreeViewEx(QWidget* parent) : QTreeWidget(parent)
{
    folderIcon_ = icons_.icon(QAbstractFileIconProvider::Folder);
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers); // labels change only through Rename
    setFrameShape(QFrame::StyledPanel);
    resize(153, 185);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragDropOverwriteMode(true); // drops land on nodes, never between them
    setDropIndicatorShown(true);
    setAutoExpandDelay(1500);
    setAutoScroll(true);
    setAutoScrollMargin(11);
    SetDragAndDrop(true);

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { LoadChildren(node); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { ReportChange(); });
    connect(this, &QTreeWidget::itemClicked, this, [this] { Report(OnClick); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { Report(OnDblClick); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node) {
        if (node == renaming_)
            renameCommitted_ = true;
    });
    Build();
}

TFolderTreeViewEx::~TFolderTreeViewEx() = default;

void TFolderTreeViewEx::SetRootFolder(TRootFolder value)
{
    if (value == rootFolder_)
        return;
    rootFolder_ = value;
    Build();
}

void TFolderTreeViewEx::SetRootFolderName(const QString& value)
{
    if (value == rootFolderName_)
        return;
    rootFolderName_ = value;
    if (rootFolder_ == TRootFolder::rfManual)
        Build();
}

void TFolderTreeViewEx::SetSelectedDir(TSelectedDir value)
{
    if (value == selectedDir_)
        return;
    selectedDir_ = value;
    if (rootFolder_ == TRootFolder::rfDrives)
        Build();
}

void TFolderTreeViewEx::SetShowRootFolder(bool value)
{
    if (value == showRootFolder_)
        return;
    showRootFolder_ = value;
    Build();
}

void TFolderTreeViewEx::SetShowIncludeHidden(bool value)
{
    if (value == showIncludeHidden_)
        return;
    showIncludeHidden_ = value;
    Build();
}

void TFolderTreeViewEx::SetDragAndDrop(bool value)
{
    dragAndDrop_ = value;
    setDragEnabled(value);
    setAcceptDrops(value);
    viewport()->setAcceptDrops(value);
}

QString TFolderTreeViewEx::NodePath(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kPathRole).toString() : QString();
}

bool TFolderTreeViewEx::NodeLoaded(const QTreeWidgetItem* node)
{
    return node && node->data(0, kLoadedRole).toBool();
}

QString TFolderTreeViewEx::FolderOf(const QTreeWidgetItem* node) const
{
    return node == invisibleRootItem() ? rootPath_ : NodePath(node);
}

QString TFolderTreeViewEx::SelectedFolderName() const
{
    const QTreeWidgetItem* node = currentItem();
    if (!node)
        return lastReported_;
    const QString path = NodePath(node);
    return path.isEmpty() ? node->text(0) : path;
}

void TFolderTreeViewEx::Build()
{
    const TWaitCursor waiting;
    building_ = true;
    setUpdatesEnabled(false);
    renaming_ = nullptr;
    clear();

    rootPath_.clear();
    if (rootFolder_ == TRootFolder::rfManual && IsFolder(rootFolderName_))
        rootPath_ = CleanAbsolute(rootFolderName_);
    else if (rootFolder_ == TRootFolder::rfDesktop) {
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (QFileInfo(desktop).isDir())
            rootPath_ = CleanAbsolute(desktop);
    }

    if (showRootFolder_) {
        QTreeWidgetItem* root =
            rootPath_.isEmpty()
                ? MakeNode(QString(), QStringLiteral("コンピューター"),
                           icons_.icon(QAbstractFileIconProvider::Computer), true)
                : MakeNode(rootPath_,
                           QFileInfo(rootPath_).fileName().isEmpty() ? rootPath_
                                                                     : QFileInfo(rootPath_).fileName(),
                           icons_.icon(QFileInfo(rootPath_)), true);
        addTopLevelItem(root);
        expandItem(root);
        LoadChildren(root);
    } else if (rootPath_.isEmpty()) {
        AddPlaces(invisibleRootItem());
    } else {
        AddFolders(invisibleRootItem(), rootPath_);
    }

    if (rootFolder_ == TRootFolder::rfDrives && selectedDir_ != TSelectedDir::sdNone)
        SelectPath(selectedDir_ == TSelectedDir::sdSystem ? QDir::rootPath() : QDir::currentPath());

    setUpdatesEnabled(true);
    building_ = false;
    if (currentItem())
        ReportChange();
}

QTreeWidgetItem* TFolderTreeViewEx::MakeNode(const QString& path, const QString& text, const QIcon& icon,
                                             bool place)
{
    auto* node = new TFolderNode(text);
    node->setData(0, kPathRole, path);
    node->setData(0, kPlaceRole, place);
    node->setIcon(0, icon);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (!path.isEmpty())
        flags |= Qt::ItemIsDragEnabled;
    node->setFlags(flags);
    // The mark is shown before the folder is read only when it has a folder inside.
    const bool children = path.isEmpty() || HasSubfolder(path, showIncludeHidden_);
    node->setChildIndicatorPolicy(children ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicator);
    return node;
}

void TFolderTreeViewEx::AddPlaces(QTreeWidgetItem* parent)
{
    const QString home = CleanAbsolute(QDir::homePath());
    if (QFileInfo(home).isDir() && home != u"/") {
        QIcon icon =
            QIcon::fromTheme(QStringLiteral("user-home"), icons_.icon(QAbstractFileIconProvider::Folder));
        parent->addChild(MakeNode(home, QStringLiteral("ホーム"), icon, true));
    }
    parent->addChild(MakeNode(QDir::rootPath(), QStringLiteral("ファイルシステム"),
                              icons_.icon(QAbstractFileIconProvider::Drive), true));
    // Removable media and other mounted volumes, as the desktop's file manager lists them.
    QList<QStorageInfo> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() &&
            (root.startsWith(u"/media/") || root.startsWith(u"/run/media/") || root.startsWith(u"/mnt/")))
            volumes << volume;
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo& volume : volumes) {
        parent->addChild(MakeNode(volume.rootPath(), volume.displayName(),
                                  icons_.icon(QAbstractFileIconProvider::Drive), true));
    }
}

QString TFolderTreeViewEx::ChildPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

void TFolderTreeViewEx::AddFolders(QTreeWidgetItem* parent, const QString& path)
{
    QStringList names = SortedSubfolderNames(path);
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(names.size());
    for (const QString& name : names)
        nodes << MakeNode(ChildPath(path, name), DisplayName(name), folderIcon_, false);
    parent->addChildren(nodes);
}

void TFolderTreeViewEx::LoadChildren(QTreeWidgetItem* node)
{
    if (NodeLoaded(node))
        return;
    node->setData(0, kLoadedRole, true);
    const QString path = NodePath(node);
    if (path.isEmpty())
        AddPlaces(node);
    else
        AddFolders(node, path);
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QStringList TFolderTreeViewEx::SortedSubfolderNames(const QString& path) const
{
    // Read with the system's own calls: Qt's folder listing leaves out names that are not UTF-8.
    QStringList names = SubfolderNames(path, showIncludeHidden_);
    SortByName(names);
    return names;
}

void TFolderTreeViewEx::SortChildren(QTreeWidgetItem* node)
{
    // The model's own sort keeps the expanded nodes and the selection.
    node->sortChildren(0, Qt::AscendingOrder);
}

QTreeWidgetItem* TFolderTreeViewEx::FindNode(const QString& path) const
{
    const QString target = CleanAbsolute(path);
    for (QTreeWidgetItemIterator it(const_cast<TFolderTreeViewEx*>(this)); *it; ++it) {
        if (NodePath(*it) == target)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem* TFolderTreeViewEx::ExpandToPath(const QString& path)
{
    const QString target = CleanAbsolute(path);
    if (!IsFolder(target))
        return nullptr;
    QTreeWidgetItem* parent = invisibleRootItem();
    bool reread = false;
    for (;;) {
        // The child that is the folder, or else the one holding it most closely (the computer
        // holds everything).
        QTreeWidgetItem* best = nullptr;
        qsizetype bestLength = -1;
        for (int i = 0; i < parent->childCount(); ++i) {
            QTreeWidgetItem* child = parent->child(i);
            const QString childPath = NodePath(child);
            if (childPath == target)
                return child;
            const qsizetype length = childPath.isEmpty() ? 0 : childPath.size();
            if ((childPath.isEmpty() || IsUnder(target, childPath)) && length > bestLength) {
                best = child;
                bestLength = length;
            }
        }
        if (!best && !reread && parent != invisibleRootItem()) {
            // Made since the folder was read.
            SyncChildren(parent);
            reread = true;
            continue;
        }
        if (!best)
            return nullptr;
        reread = false;
        expandItem(best);
        LoadChildren(best); // expanding reads it, unless the node is not shown yet
        parent = best;
    }
}

QTreeWidgetItem* TFolderTreeViewEx::SelectPath(const QString& path)
{
    QTreeWidgetItem* node = ExpandToPath(path);
    if (!node)
        return nullptr;
    setCurrentItem(node);
    expandItem(node);
    scrollToItem(node);
    return node;
}

void TFolderTreeViewEx::Refresh()
{
    const QString selected = SelectedFolderName();
    const bool hadSelection = currentItem() != nullptr;
    {
        const QScopedValueRollback quiet(building_, true);
        SyncChildren(invisibleRootItem());
    }
    KeepSelection(hadSelection, selected);
}

void TFolderTreeViewEx::KeepSelection(bool hadSelection, const QString& selected)
{
    if (hadSelection && !currentItem()) {
        // The selected folder went: its nearest folder still in the tree takes over.
        const QScopedValueRollback quiet(building_, true);
        for (QString path = selected; !path.isEmpty() && path != u"/";
             path = QFileInfo(path).absolutePath()) {
            if (QTreeWidgetItem* node = FindNode(QFileInfo(path).absolutePath())) {
                setCurrentItem(node);
                break;
            }
        }
    }
    if (hadSelection && SelectedFolderName() != selected)
        ReportChange();
}

void TFolderTreeViewEx::SyncChildren(QTreeWidgetItem* node)
{
    const bool top = node == invisibleRootItem();
    if (!top && !NodeLoaded(node)) {
        const QString path = NodePath(node);
        const bool children = path.isEmpty() || HasSubfolder(path, showIncludeHidden_);
        node->setChildIndicatorPolicy(children ? QTreeWidgetItem::ShowIndicator
                                               : QTreeWidgetItem::DontShowIndicator);
        return;
    }
    const QString path = FolderOf(node);
    if (!path.isEmpty()) {
        // Sets, not lists: a folder of many thousand folders is compared in one pass.
        const QStringList names = SubfolderNames(path, showIncludeHidden_);
        QSet<QString> wanted;
        wanted.reserve(names.size());
        for (const QString& name : names)
            wanted.insert(ChildPath(path, name));
        QSet<QString> present;
        present.reserve(node->childCount());
        QList<QTreeWidgetItem*> gone;
        for (int i = 0; i < node->childCount(); ++i) {
            QTreeWidgetItem* child = node->child(i);
            const QString childPath = NodePath(child);
            if (wanted.contains(childPath))
                present.insert(childPath);
            else
                gone << child;
        }
        for (QTreeWidgetItem* child : gone) {
            if (Holds(child, renaming_))
                renaming_ = nullptr;
            delete child;
        }
        QList<QTreeWidgetItem*> added;
        for (const QString& name : names) {
            const QString childPath = ChildPath(path, name);
            if (!present.contains(childPath))
                added << MakeNode(childPath, DisplayName(name), folderIcon_, false);
        }
        if (!added.isEmpty()) {
            node->addChildren(added);
            SortChildren(node);
        }
    }
    for (int i = 0; i < node->childCount(); ++i)
        SyncChildren(node->child(i));
}

void TFolderTreeViewEx::ReportChange()
{
    if (building_)
        return;
    Report(OnChange);
}

void TFolderTreeViewEx::Report(const TFolderExEvent& event)
{
    lastReported_ = SelectedFolderName();
    if (event)
        event(*this, lastReported_);
}

} // namespace pt4
