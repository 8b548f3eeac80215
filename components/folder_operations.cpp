#include "components/folder_operations.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace pt4 {

namespace {

// Copies a file, or a folder with everything in it (links are copied as links).
bool CopyItem(const QString& source, const QString& target)
{
    const QFileInfo info(source);
    if (info.isSymLink()) {
        return QFile::link(info.symLinkTarget(), target);
    }
    if (!info.isDir())
        return QFile::copy(source, target);
    if (!QDir().mkdir(target))
        return false;
    const QDir from(source);
    const QStringList entries =
        from.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        if (!CopyItem(from.filePath(name), QDir(target).filePath(name)))
            return false;
    }
    return true;
}

bool RemoveItem(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

bool Exists(const QString& path)
{
    // A dangling link is an item too.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

bool MoveOrCopyInto(const QString& source, const QString& targetDir, bool copy)
{
    const QFileInfo sourceInfo(source);
    if (!Exists(source) || !QFileInfo(targetDir).isDir())
        return false;
    const QString cleanSource = QDir::cleanPath(sourceInfo.absoluteFilePath());
    const QString cleanTarget = QDir::cleanPath(QFileInfo(targetDir).absoluteFilePath());
    if (sourceInfo.isDir() && !sourceInfo.isSymLink()
        && (cleanTarget == cleanSource || cleanTarget.startsWith(cleanSource + u'/')))
        return false;
    const QString target = QDir(cleanTarget).filePath(sourceInfo.fileName());
    if (Exists(target))
        return false;
    if (!copy && QDir().rename(cleanSource, target))
        return true;
    if (!CopyItem(cleanSource, target)) {
        RemoveItem(target);
        return false;
    }
    if (copy)
        return true;
    // Another file system: the copy is complete, so the source goes.
    return RemoveItem(cleanSource);
}

QString CreateNewFolder(const QString& parentDir)
{
    const QString base = QStringLiteral("新しいフォルダー");
    const QDir parent(parentDir);
    if (!parent.exists())
        return QString();
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
        const QString path = parent.filePath(name);
        if (Exists(path))
            continue;
        return parent.mkdir(name) ? QDir::cleanPath(path) : QString();
    }
    return QString();
}

QString RenameFolder(const QString& path, const QString& newName)
{
    if (newName.isEmpty() || newName.contains(u'/') || newName == u"." || newName == u"..")
        return QString();
    const QFileInfo info(path);
    const QString target = QDir::cleanPath(info.dir().filePath(newName));
    if (target == QDir::cleanPath(info.absoluteFilePath()))
        return target; // the same name: nothing to do
    // Only a change of case may meet the folder itself on a case-blind file system.
    if (Exists(target) && QFileInfo(target).canonicalFilePath() != info.canonicalFilePath())
        return QString();
    return QDir().rename(path, target) ? target : QString();
}

} // namespace pt4
