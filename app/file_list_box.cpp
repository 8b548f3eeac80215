#include "app/file_list_box.h"

#include "components/natural_order.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include <algorithm>

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
    SetDirectory(!path.isEmpty() && QFileInfo(path).isDir() ? path : QString());
}

void TFileListBox::SetItemHeight(int height)
{
    if (height < 1)
        return;
    itemHeight_ = height;
    doItemsLayout();
}

bool TFileListBox::MatchesMask(const QString& name, const QString& mask)
{
    QString pattern;
    for (const QChar c : mask) {
        if (c == u'*')
            pattern += QStringLiteral(".*");
        else if (c == u'?')
            pattern += u'.';
        else
            pattern += QRegularExpression::escape(QString(c));
    }
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern),
                                        QRegularExpression::CaseInsensitiveOption
                                            | QRegularExpression::DotMatchesEverythingOption);
    return expression.match(name).hasMatch();
}

void TFileListBox::Update()
{
    clear();
    if (directory_.isEmpty())
        return;
    const QDir folder(directory_);
    QStringList names;
    for (const QString& name : folder.entryList(QDir::Files, QDir::NoSort)) {
        if (MatchesMask(name, mask_))
            names << name;
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    const QIcon glyph = icons_.icon(QAbstractFileIconProvider::File);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(glyph, name, this);
        item->setData(kPathRole, QDir::cleanPath(folder.filePath(name)));
    }
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
