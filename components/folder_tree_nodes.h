// What the folder tree keeps in its nodes, and path helpers shared by its source files.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTreeWidgetItem>

namespace pt4::folder_tree {

inline constexpr int kPathRole = Qt::UserRole;
inline constexpr int kLoadedRole = Qt::UserRole + 1;
inline constexpr int kPlaceRole = Qt::UserRole + 2; // the computer's own entries: never renamed or deleted

// path lies inside folder ("/" holds every other absolute path).
inline bool IsUnder(const QString& path, const QString& folder)
{
    if (folder == u"/")
        return path.startsWith(u'/') && path != u"/";
    return path.startsWith(folder + u'/');
}

inline QString CleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// node is ancestor or lies below it.
inline bool Holds(const QTreeWidgetItem* ancestor, const QTreeWidgetItem* node)
{
    for (; node; node = node->parent())
        if (node == ancestor)
            return true;
    return false;
}

inline bool IsPlace(const QTreeWidgetItem* node)
{
    return node->data(0, kPlaceRole).toBool();
}

} // namespace pt4::folder_tree
