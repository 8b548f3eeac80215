#include "components/folder_operations.h"

#include "components/folder_transfer.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pt4 {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + a byte of 0x80 or more that is not UTF-8

// Length of the valid UTF-8 sequence at s[i], or 0.
int Utf8Length(const unsigned char* s, qsizetype i, qsizetype n)
{
    const unsigned char c = s[i];
    auto cont = [&](qsizetype k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return i + k < n && s[i + k] >= lo && s[i + k] <= hi;
    };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c == 0xE0)
        return cont(1, 0xA0) && cont(2) ? 3 : 0;
    if (c == 0xED) // no surrogates
        return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
    if (c >= 0xE1 && c <= 0xEF)
        return cont(1) && cont(2) ? 3 : 0;
    if (c == 0xF0)
        return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    if (c >= 0xF1 && c <= 0xF3)
        return cont(1) && cont(2) && cont(3) ? 4 : 0;
    if (c == 0xF4)
        return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    return 0;
}

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString Kilobytes(std::uint64_t bytes)
{
    return QString::number((bytes + 1023) / 1024);
}

QString Shown(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The words of the messages below.
QString MessageFor(const TTransferFailure& failure, bool copy)
{
    const QString verb = copy ? QStringLiteral("コピー") : QStringLiteral("移動");
    const QString path = Shown(failure.path);
    const QString why =
        failure.systemError ? QStringLiteral("（%1）").arg(SystemText(failure.systemError)) : QString();
    switch (failure.error) {
    case TTransferError::tteIntoItself:
        return QStringLiteral("フォルダをそのフォルダ自身の中へ%1することはできません。\n%2").arg(verb, path);
    case TTransferError::tteSourceLocked:
        return QStringLiteral("「%1」に書き込めないため、移動できません。何も変更されていません。").arg(path);
    case TTransferError::tteMountPoint:
        return QStringLiteral(
                   "「%1」はマウントされたドライブのため、移動できません。何も変更されていません。")
            .arg(path);
    case TTransferError::tteSpecialFile:
        return QStringLiteral("「%1」は特殊なファイル（名前付きパイプ、デバイス、ソケット）のため、"
                              "別のドライブへは移動できません。何も変更されていません。")
            .arg(path);
    case TTransferError::tteUnreadable:
        return QStringLiteral("「%1」を読み込めないため、%2できません%3。何も変更されていません。")
            .arg(path, verb, why);
    case TTransferError::tteNoRoom:
        return QStringLiteral("%1先の空き容量が足りません。何も変更されていません。\n"
                              "必要な容量: %2 KB　空き容量: %3 KB")
            .arg(verb, Kilobytes(failure.bytesNeeded), Kilobytes(failure.bytesFree));
    case TTransferError::tteWriteFailed:
        return QStringLiteral("「%1」を書き込めませんでした%"
                              "2。\n作成途中のコピーは削除しました。元のファイルはそのままです。")
            .arg(path, why);
    case TTransferError::tteRemoveFailed:
        return QStringLiteral("コピーは完了しましたが、移動元の「%1」を削除できませんでした%2。")
            .arg(path, why);
    case TTransferError::tteMoveFailed:
        return QStringLiteral("「%1」を移動できませんでした%2。何も変更されていません。").arg(path, why);
    default: return QString();
    }
}

bool IsPlainRefusal(TTransferError error)
{
    return error == TTransferError::tteSourceMissing || error == TTransferError::tteTargetNotFolder ||
           error == TTransferError::tteNameTaken;
}

// Runs the copy on a worker thread while the window goes on; the progress dialog shows when the
// copy takes longer than a moment, and its Cancel stops the copy.
bool RunWithProgress(QWidget* parent, const TTransferPlan& plan, TTransferFailure& failure, bool& cancelled)
{
    TTransferProgress progress;
    std::atomic<bool> finished{false};
    bool ok = false;
    std::thread worker([&] {
        ok = RunTransfer(plan, progress, failure);
        finished = true;
    });

    QPointer<QProgressDialog> dialog = new QProgressDialog(plan.copy ? QStringLiteral("コピーしています...")
                                                                     : QStringLiteral("移動しています..."),
                                                           QStringLiteral("ｷｬﾝｾﾙ"), 0, 1000, parent);
    dialog->setWindowTitle(QStringLiteral("フォルダ"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(400);
    QObject::connect(dialog, &QProgressDialog::canceled, [&progress, dialog] {
        progress.cancel = true;
        if (dialog)
            dialog->setLabelText(QStringLiteral("取り消しています..."));
    });
    dialog->setValue(0);

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(30);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished) {
            loop.quit();
            return;
        }
        const std::uint64_t total = progress.bytesTotal.load();
        if (dialog && total > 0 && !progress.cancel)
            dialog->setValue(static_cast<int>(progress.bytesDone.load() * 999 / total));
    });
    poll.start();
    loop.exec();
    worker.join();
    delete dialog.data();
    cancelled = failure.error == TTransferError::tteCancelled;
    return ok;
}

} // namespace

QString PathFromBytes(const QByteArray& bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int length = Utf8Length(s, i, n);
        if (length == 0)
            break;
        i += length;
    }
    if (i == n)
        return QString::fromUtf8(bytes);
    QString path = QString::fromUtf8(bytes.constData(), i);
    while (i < n) {
        const qsizetype start = i;
        int length;
        while (i < n && (length = Utf8Length(s, i, n)) > 0)
            i += length;
        path += QString::fromUtf8(bytes.constData() + start, i - start);
        if (i < n) {
            path += QChar(char16_t(kEscapeBase + s[i]));
            ++i;
        }
    }
    return path;
}

QByteArray PathBytes(const QString& path)
{
    bool escaped = false;
    for (const QChar c : path) {
        if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF) {
            escaped = true;
            break;
        }
    }
    if (!escaped)
        return path.toUtf8();
    QByteArray bytes;
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        const bool pairStart = QChar::isHighSurrogate(c) && i + 1 < n && path[i + 1].isLowSurrogate();
        if (pairStart) {
            bytes += QStringView(path).mid(i, 2).toUtf8();
            ++i;
        } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            bytes += char(c - kEscapeBase);
        } else {
            bytes += QStringView(path).mid(i, 1).toUtf8();
        }
    }
    return bytes;
}

QString DisplayName(const QString& name)
{
    return QFile::decodeName(PathBytes(name));
}

QUrl UrlOfPath(const QString& path)
{
    const QByteArray bytes = PathBytes(path);
    if (bytes == path.toUtf8())
        return QUrl::fromLocalFile(path);
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

QString PathOfUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return QString();
    return PathFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

bool IsFolder(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(PathBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ItemExists(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(PathBytes(path).constData(), &st) == 0;
}

bool CanWrite(const QString& path)
{
    return !path.isEmpty() && ::access(PathBytes(path).constData(), W_OK) == 0;
}

namespace {

// Calls found(name) for each folder in path until it returns false.
template <typename Found> void ForEachSubfolder(const QString& path, bool hidden, Found found)
{
    const QByteArray folder = PathBytes(path);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (!hidden || name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isFolder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isFolder && !found(name))
            break;
    }
    ::closedir(dir);
}

} // namespace

QStringList SubfolderNames(const QString& path, bool hidden)
{
    QStringList names;
    ForEachSubfolder(path, hidden, [&names](const char* name) {
        names << PathFromBytes(QByteArray(name));
        return true;
    });
    return names;
}

bool HasSubfolder(const QString& path, bool hidden)
{
    bool any = false;
    ForEachSubfolder(path, hidden, [&any](const char*) {
        any = true;
        return false;
    });
    return any;
}

TTransferOutcome TransferInto(QWidget* parent, const QString& source, const QString& targetFolder, bool copy)
{
    TTransferOutcome outcome;
    TTransferFailure failure;
    const TTransferPlan plan = PlanTransfer(StdPath(source), StdPath(targetFolder), copy, failure);
    bool ok = false;
    if (failure.error == TTransferError::tteNone) {
        if (plan.rename) {
            TTransferProgress progress;
            ok = RunTransfer(plan, progress, failure);
        } else {
            ok = RunWithProgress(parent, plan, failure, outcome.cancelled);
        }
    }
    outcome.done = ok;
    if (!ok) {
        outcome.plainRefusal = IsPlainRefusal(failure.error);
        if (!outcome.cancelled && !outcome.plainRefusal)
            outcome.message = MessageFor(failure, copy);
        return outcome;
    }
    if (!plan.specialFiles.empty()) {
        QStringList names;
        for (const std::string& path : plan.specialFiles)
            names << Shown(path);
        outcome.message =
            QStringLiteral(
                "次の特殊なファイル（名前付きパイプ、デバイス、ソケット）はコピーしませんでした。\n%1")
                .arg(names.join(u'\n'));
    }
    return outcome;
}

bool MoveItemToTrash(const QString& path)
{
    const QByteArray item = PathBytes(path);
    if (item == path.toUtf8())
        return QFile::moveToTrash(path);
    // The home trash of the desktop's trash layout: the item under files/, a note of where it
    // came from and when under info/, claimed first so that two items never share a name.
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty())
        data = qgetenv("HOME") + "/.local/share";
    const QByteArray trash = data + "/Trash";
    for (const QByteArray& folder : {data, trash, trash + "/files", trash + "/info"})
        ::mkdir(folder.constData(), 0700);
    struct stat itemStat;
    struct stat trashStat;
    if (::lstat(item.constData(), &itemStat) != 0 ||
        ::stat((trash + "/files").constData(), &trashStat) != 0 || itemStat.st_dev != trashStat.st_dev ||
        !item.startsWith('/'))
        return false;
    const QByteArray name = item.mid(item.lastIndexOf('/') + 1);
    const QByteArray note = "[Trash Info]\nPath=" + item.toPercentEncoding("/") + "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toLatin1() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const QByteArray entry = n == 1 ? name : name + '.' + QByteArray::number(n);
        const QByteArray info = trash + "/info/" + entry + ".trashinfo";
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = ::write(fd, note.constData(), note.size()) == note.size();
        ::close(fd);
        const QByteArray target = trash + "/files/" + entry;
        if (written &&
            ::renameat2(AT_FDCWD, item.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
            return true;
        const bool taken = errno == EEXIST;
        ::unlink(info.constData());
        if (!written || !taken)
            return false;
    }
    return false;
}

QString CreateNewFolder(const QString& parentDir)
{
    const QString base = QStringLiteral("新しいフォルダー");
    if (!IsFolder(parentDir))
        return QString();
    const QString parent = parentDir.endsWith(u'/') ? parentDir : parentDir + u'/';
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
        const QString path = parent + name;
        if (::mkdir(PathBytes(path).constData(), 0777) == 0)
            return path;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

QString RenameFolder(const QString& path, const QString& newName)
{
    if (newName.isEmpty() || newName.contains(u'/') || newName == u"." || newName == u"..")
        return QString();
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    const QString target = path.left(slash + 1) + newName;
    if (target == path)
        return target; // the same name: nothing to do
    const QByteArray from = PathBytes(path);
    const QByteArray to = PathBytes(target);
    struct stat source;
    struct stat taken;
    if (::lstat(from.constData(), &source) != 0)
        return QString();
    if (::lstat(to.constData(), &taken) == 0) {
        // Only a change of case may meet the folder itself on a case-blind file system.
        if (taken.st_dev != source.st_dev || taken.st_ino != source.st_ino)
            return QString();
        return ::rename(from.constData(), to.constData()) == 0 ? target : QString();
    }
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0
               ? target
               : QString();
}

} // namespace pt4
