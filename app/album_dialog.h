// The folder dialog of continuous play: a folder tree beside the list of the chosen folder's
// MP3 files, closed with OK or Cancel.
#pragma once

#include "app/file_list_box.h"
#include "components/folder_tree_view.h"

#include <QDialog>

#include <functional>

class QGroupBox;
class QPushButton;

namespace pt4 {

inline constexpr int kAlbumFormWidth = 569;
inline constexpr int kAlbumFormHeight = 268;

class TAlbumForm : public QDialog {
    Q_OBJECT
public:
    // owner: the window the dialog is shown over; its font carries over.
    explicit TAlbumForm(QWidget* owner = nullptr);

    QGroupBox* GroupBox1;
    TFolderTreeViewEx* FolderTreeViewEx1;
    TFileListBox* FileListBox1;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    // The folder to show when the dialog opens (the current file's), or empty to stay where the
    // tree is.
    std::function<QString()> StartFolder;

    // Shows the dialog modally with tree and list read afresh; true when it was closed with OK.
    bool ShowModal();

    // The tree's selection points the list at that folder.
    void FolderTreeViewEx1Change(TFolderTreeViewEx& sender, const QString& folderName);
};

} // namespace pt4
