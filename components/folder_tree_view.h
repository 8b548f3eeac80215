// A tree of the computer's folders, filled as its nodes are expanded, that reports the selected
// folder's path. A right-click offers the desktop's folder actions (open in the file manager,
// new folder, rename, move to the trash); one file or folder dropped on a node moves there, or
// is copied with Ctrl held.
#pragma once

#include <QFileIconProvider>
#include <QTreeWidget>

#include <functional>

class QMenu;

namespace pt4 {

// Where the tree starts. rfDrives: the computer, with the home folder, the file system root and
// mounted removable volumes beneath it; rfManual: the folder RootFolderName (the computer when
// that is no folder); rfDesktop: the desktop folder.
enum class TRootFolder { rfManual, rfDrives, rfDesktop };

// What is selected once the tree is built (with rfDrives): nothing, the file system root, or the
// process's current directory.
enum class TSelectedDir { sdNone, sdSystem, sdCurrent };

class TFolderTreeViewEx : public QTreeWidget {
    Q_OBJECT
public:
    using TFolderExEvent = std::function<void(TFolderTreeViewEx& sender, const QString& folderName)>;

    explicit TFolderTreeViewEx(QWidget* parent = nullptr);
    ~TFolderTreeViewEx() override;

    // Properties. Changing one of the first five rebuilds the tree.
    TRootFolder RootFolder() const { return rootFolder_; }
    void SetRootFolder(TRootFolder value);
    QString RootFolderName() const { return rootFolderName_; }
    void SetRootFolderName(const QString& value);
    TSelectedDir SelectedDir() const { return selectedDir_; }
    void SetSelectedDir(TSelectedDir value);
    bool ShowRootFolder() const { return showRootFolder_; }
    void SetShowRootFolder(bool value);
    bool ShowIncludeHidden() const { return showIncludeHidden_; }
    void SetShowIncludeHidden(bool value);
    bool ContextMenu() const { return contextMenu_; }
    void SetContextMenu(bool value) { contextMenu_ = value; }
    bool DragAndDrop() const { return dragAndDrop_; }
    void SetDragAndDrop(bool value);
    bool AutoUpDate() const { return autoUpDate_; }
    void SetAutoUpDate(bool value) { autoUpDate_ = value; }

    // With the folder name of the selection (see SelectedFolderName).
    TFolderExEvent OnChange;
    TFolderExEvent OnClick;
    TFolderExEvent OnDblClick;

    // The folder a node stands for; empty for the computer.
    static QString NodePath(const QTreeWidgetItem* node);
    // The selection's folder path, or the node's text when it has none; without a selection the
    // name reported last.
    QString SelectedFolderName() const;
    // Whether the node's folders have been read.
    static bool NodeLoaded(const QTreeWidgetItem* node);

    // Expands the nodes along path, reading folders as needed, and returns its node (null when
    // the path is no folder in the tree). ExpandToPath leaves the selection alone; SelectPath
    // selects the node and expands it.
    QTreeWidgetItem* ExpandToPath(const QString& path);
    QTreeWidgetItem* SelectPath(const QString& path);
    // The node of path among the nodes read so far, or null.
    QTreeWidgetItem* FindNode(const QString& path) const;

    // Reads every folder read so far again, keeping the expanded nodes and the selection.
    void Refresh();

    // The context menu's commands on a node; false (after the message box) when refused.
    bool OpenInFileManager(QTreeWidgetItem* node);
    bool NewFolder(QTreeWidgetItem* node);
    void StartRename(QTreeWidgetItem* node);
    void StartRenameLater(QTreeWidgetItem* node);
    bool MoveToTrash(QTreeWidgetItem* node);
    // A drop of the item at source onto a node: moved into its folder, or copied.
    bool DropItem(const QString& source, QTreeWidgetItem* node, bool copy);
    // The same onto a folder path (empty: a node without one).
    bool DropInto(const QString& source, const QString& folder, bool copy);

    // The menu a right-click shows for a node (owned by the caller).
    QMenu* CreateContextMenu(QTreeWidgetItem* node);

    // Texts of the message boxes.
    static const QString kCaption;
    static const QString kCommandFailed;
    static const QString kSpecialFolder;

signals:
    // A command or a drop changed what a folder holds (its path).
    void FolderContentsChanged(const QString& path);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void Build();
    QTreeWidgetItem* MakeNode(const QString& path, const QString& text, const QIcon& icon, bool place);
    QString FolderOf(const QTreeWidgetItem* node) const;
    void AddPlaces(QTreeWidgetItem* parent);
    void AddFolders(QTreeWidgetItem* parent, const QString& path);
    void LoadChildren(QTreeWidgetItem* node);
    void SyncChildren(QTreeWidgetItem* node);
    void SortChildren(QTreeWidgetItem* node);
    QStringList SortedSubfolderNames(const QString& path) const;
    static QString ChildPath(const QString& folder, const QString& name);
    void Repath(QTreeWidgetItem* node, const QString& oldPath, const QString& newPath);
    void CommitRename(QTreeWidgetItem* node);
    void ReportChange();
    // After nodes went: the selection falls back to the nearest folder left, and a change is reported.
    void KeepSelection(bool hadSelection, const QString& selected);
    void Report(const TFolderExEvent& event);
    void Refused(const QString& text);
    static QString DroppedItem(const QMimeData* data);

    TRootFolder rootFolder_ = TRootFolder::rfDrives;
    QString rootFolderName_;
    TSelectedDir selectedDir_ = TSelectedDir::sdNone;
    bool showRootFolder_ = true;
    bool showIncludeHidden_ = true;
    bool contextMenu_ = true;
    bool dragAndDrop_ = true;
    bool autoUpDate_ = true;

    // The folder of the top level when it is not the computer's places.
    QString rootPath_;
    // Set while the tree is built or reread: selection changes then are not reported one by one.
    bool building_ = false;
    QString lastReported_;
    QTreeWidgetItem* renaming_ = nullptr;
    bool renameCommitted_ = false;
    QFileIconProvider icons_;
    QIcon folderIcon_;
};

} // namespace pt4
