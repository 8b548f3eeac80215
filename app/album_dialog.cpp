#include "app/album_dialog.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>

namespace pt4 {

TAlbumForm::TAlbumForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_WindowPropagation); // the owner's font
    setWindowTitle(QStringLiteral("連続再生"));
    setFixedSize(kAlbumFormWidth, kAlbumFormHeight);
    setModal(true);

    GroupBox1 = new QGroupBox(QStringLiteral("「MP3」ファイルを保存しているフォルダを指定して下さい"), this);
    GroupBox1->setGeometry(8, 8, 553, 209);

    FolderTreeViewEx1 = new TFolderTreeViewEx(GroupBox1);
    // Wide enough for the names of a music library's folders; a longer one scrolls rather than
    // being cut.
    FolderTreeViewEx1->setGeometry(16, 24, 313, 169);
    FolderTreeViewEx1->setIndentation(19);
    FolderTreeViewEx1->header()->setStretchLastSection(false);
    FolderTreeViewEx1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    FileListBox1 = new TFileListBox(GroupBox1);
    FileListBox1->setGeometry(344, 24, 193, 169);
    FileListBox1->SetItemHeight(16);
    FileListBox1->SetMask(QStringLiteral("*.mp3*"));

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setGeometry(203, 232, 75, 25);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    CancelButton->setGeometry(291, 232, 75, 25);
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // The tree starts at the current directory and the list follows it from there on.
    FolderTreeViewEx1->OnChange = [this](TFolderTreeViewEx& sender, const QString& folderName) {
        FolderTreeViewEx1Change(sender, folderName);
    };
    FolderTreeViewEx1->SetSelectedDir(TSelectedDir::sdCurrent);
    // A folder the tree changed (a drop, a new name) may be the one listed.
    connect(FolderTreeViewEx1, &TFolderTreeViewEx::FolderContentsChanged, this,
            [this] { FileListBox1->Update(); });
}

bool TAlbumForm::ShowModal()
{
    // Folders and files may have come and gone since the last time.
    FolderTreeViewEx1->Refresh();
    if (StartFolder) {
        const QString folder = StartFolder();
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            FolderTreeViewEx1->SelectPath(folder);
    }
    FileListBox1->Update();
    return exec() == QDialog::Accepted;
}

void TAlbumForm::FolderTreeViewEx1Change(TFolderTreeViewEx&, const QString& folderName)
{
    FileListBox1->ApplyFilePath(folderName);
}

} // namespace pt4
