#include "app/file_list_box.h"

#include "components/folder_operations.h"
#include "components/natural_order.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace pt4 {

namespace {

constexpr int kPathRole = Qt::UserRole;

// Every row as high as the list's item height.
class TFixedHeightDelegate : public QStyledItemDelegate {
public:
    explicit TFixedHeightDelegate(TFileListBox* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(list_->ItemHeight());
        return size;
    }

private:
    const TFileListBox* list_;
};

} // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new TFixedHeightDelegate(this));
    setIconSize(QSize(16, 16));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TFileListBox::SetMask(const QString& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    Update();
}

void TFileListBox::SetDirectory(const QString& directory)
{
    directory_ = directory.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    Update();
}

void TFileListBox::ApplyFilePath(const QString& path)
{
    SetDirectory(IsFolder(path) ? path : QString());
}

void TFileListBox::SetItemHeight(int height)
{
    if (height < 1)
        return;
    itemHeight_ = height;
    doItemsLayout();
}

TFileListBox::TMask::TMask(const QString& mask) : pattern_(mask.toCaseFolded()) {}

bool TFileListBox::TMask::Matches(const QString& name) const
{
    // Wildcards by backtracking to the last "*": linear for the masks a file list uses.
    const QString folded = name.toCaseFolded();
    const QStringView text(folded);
    const QStringView pattern(pattern_);
    qsizetype t = 0;
    qsizetype p = 0;
    qsizetype star = -1;
    qsizetype resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || (pattern[p] != u'*' && pattern[p] == text[t]))) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool TFileListBox::MatchesMask(const QString& name, const QString& mask)
{
    return TMask(mask).Matches(name);
}

void TFileListBox::Update()
{
    clear();
    if (directory_.isEmpty())
        return;
    // Read with the system's own calls: Qt's folder listing leaves out names that are not UTF-8.
    const TMask mask(mask_);
    QStringList names;
    const QByteArray folder = PathBytes(directory_);
    if (DIR* dir = ::opendir(folder.constData())) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') // hidden files are not listed
                continue;
            bool isFile = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st;
                isFile = ::fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            if (!isFile)
                continue;
            const QString name = PathFromBytes(QByteArray(entry->d_name));
            if (mask.Matches(name))
                names << name;
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    const QIcon glyph = icons_.icon(QAbstractFileIconProvider::File);
    const QString prefix = directory_.endsWith(u'/') ? directory_ : directory_ + u'/';
    QStringList shown;
    shown.reserve(names.size());
    for (const QString& name : names)
        shown << DisplayName(name);
    // One insertion for all rows; glyphs and paths then go in without a signal per row.
    insertItems(0, shown);
    {
        const QSignalBlocker quiet(model());
        for (int i = 0; i < names.size(); ++i) {
            QListWidgetItem* row = item(i);
            row->setIcon(glyph);
            row->setData(kPathRole, prefix + names[i]);
        }
    }
    viewport()->update();
}

QStringList TFileListBox::FileNames() const
{
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    return names;
}

QStringList TFileListBox::FilePaths() const
{
    QStringList paths;
    for (int i = 0; i < count(); ++i)
        paths << item(i)->data(kPathRole).toString();
    return paths;
}

} // namespace pt4

namespace pt4 {

QList<QByteArray> TFileListBox::FilePathBytes() const
{
    QList<QByteArray> paths;
    for (int i = 0; i < count(); ++i)
        paths << PathBytes(item(i)->data(kPathRole).toString());
    return paths;
}

} // namespace pt4
