#include "components/folder_transfer.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace pt4 {

namespace {

using TKind = TTransferEntry::TKind;

constexpr std::size_t kChunk = 1 << 20;

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    // Closes now; a failing close can be a failed write-back.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

std::string StripSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (name.empty())
        return folder;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string ParentOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool Fail(TTransferFailure& failure, TTransferError error, const std::string& path, int systemError = 0)
{
    failure.error = error;
    failure.path = path;
    failure.systemError = systemError;
    return false;
}

TTransferEntry EntryOf(TKind kind, const std::string& relative, const struct stat& st)
{
    return TTransferEntry{kind,       relative,
                          st.st_mode, st.st_uid,
                          st.st_gid,  static_cast<std::uint64_t>(kind == TKind::tkFile ? st.st_size : 0),
                          st.st_atim, st.st_mtim};
}

// Lists everything below the source into the plan, checking on the way that it can all be read
// and, for a move, removed afterwards.
bool Scan(TTransferPlan& plan, const std::string& relative, const struct stat& st, dev_t sourceDevice,
          TTransferFailure& failure)
{
    const std::string path = Join(plan.source, relative);
    if (S_ISLNK(st.st_mode)) {
        plan.entries.push_back(EntryOf(TKind::tkLink, relative, st));
        return true;
    }
    if (S_ISREG(st.st_mode)) {
        // Opening without blocking: a file swapped for a pipe since lstat must not hang us.
        const TFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0)
            return Fail(failure, TTransferError::tteUnreadable, path, errno);
        plan.entries.push_back(EntryOf(TKind::tkFile, relative, st));
        plan.bytesTotal += plan.entries.back().size;
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (!plan.copy)
            return Fail(failure, TTransferError::tteSpecialFile, path);
        plan.entries.push_back(EntryOf(TKind::tkSpecial, relative, st));
        plan.specialFiles.push_back(path);
        return true;
    }
    if (!plan.copy && st.st_dev != sourceDevice)
        return Fail(failure, TTransferError::tteMountPoint, path);
    if (!plan.copy && ::access(path.c_str(), W_OK) != 0)
        return Fail(failure, TTransferError::tteSourceLocked, path, errno);
    const TDir dir(::opendir(path.c_str()));
    if (!dir)
        return Fail(failure, TTransferError::tteUnreadable, path, errno);
    plan.entries.push_back(EntryOf(TKind::tkFolder, relative, st));
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    if (errno != 0)
        return Fail(failure, TTransferError::tteUnreadable, path, errno);
    for (const std::string& name : names) {
        const std::string childRelative = relative.empty() ? name : relative + "/" + name;
        struct stat child;
        if (::lstat(Join(plan.source, childRelative).c_str(), &child) != 0)
            return Fail(failure, TTransferError::tteUnreadable, Join(plan.source, childRelative), errno);
        if (!Scan(plan, childRelative, child, sourceDevice, failure))
            return false;
    }
    return true;
}

// Lists the source and checks that the copy fits on the target's file system.
bool PlanCopy(TTransferPlan& plan, const std::string& targetFolder, TTransferFailure& failure)
{
    plan.rename = false;
    plan.entries.clear();
    plan.specialFiles.clear();
    plan.bytesTotal = 0;
    struct stat st;
    if (::lstat(plan.source.c_str(), &st) != 0)
        return Fail(failure, TTransferError::tteSourceMissing, plan.source, errno);
    if (!Scan(plan, std::string(), st, st.st_dev, failure))
        return false;

    struct statvfs volume;
    if (::statvfs(targetFolder.c_str(), &volume) != 0)
        return Fail(failure, TTransferError::tteTargetNotFolder, targetFolder, errno);
    const std::uint64_t block = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
    std::uint64_t needed = 0;
    for (const TTransferEntry& entry : plan.entries) {
        if (entry.kind == TKind::tkFile)
            needed += (entry.size + block - 1) / block * block;
        else if (entry.kind != TKind::tkSpecial)
            needed += block; // a folder's or a link's own block
    }
    const std::uint64_t free = static_cast<std::uint64_t>(volume.f_bavail) * block;
    if (needed > free) {
        failure.bytesNeeded = needed;
        failure.bytesFree = free;
        return Fail(failure, TTransferError::tteNoRoom, targetFolder);
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CopyFile(const std::string& from, const std::string& to, const TTransferEntry& entry,
              std::vector<char>& buffer, TTransferProgress& progress, TTransferFailure& failure)
{
    const TFd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat inStat;
    if (in.get() < 0 || ::fstat(in.get(), &inStat) != 0)
        return Fail(failure, TTransferError::tteUnreadable, from, errno);
    if (!S_ISREG(inStat.st_mode))
        return Fail(failure, TTransferError::tteUnreadable, from);
    TFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    std::uint64_t copied = 0;
    for (;;) {
        if (progress.cancel.load())
            return Fail(failure, TTransferError::tteCancelled, from);
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(failure, TTransferError::tteUnreadable, from, errno);
        }
        if (n == 0)
            break;
        if (!WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n)))
            return Fail(failure, TTransferError::tteWriteFailed, to, errno);
        copied += static_cast<std::uint64_t>(n);
        progress.bytesDone += static_cast<std::uint64_t>(n);
    }
    // Written data can still fail on its way to the disk: only a clean fsync and close count.
    if (::fsync(out.get()) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    struct stat outStat;
    if (::fstat(out.get(), &outStat) != 0 || static_cast<std::uint64_t>(outStat.st_size) != copied ||
        copied != static_cast<std::uint64_t>(inStat.st_size))
        return Fail(failure, TTransferError::tteWriteFailed, to, EIO);
    if (::geteuid() == 0 && ::fchown(out.get(), entry.owner, entry.group) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    const timespec times[2] = {entry.accessed, entry.modified};
    if (::fchmod(out.get(), entry.mode & 07777) != 0 || ::futimens(out.get(), times) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    if (!out.Close())
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    return true;
}

bool CreateEntry(const TTransferPlan& plan, const TTransferEntry& entry, std::vector<char>& buffer,
                 TTransferProgress& progress, TTransferFailure& failure)
{
    const std::string from = Join(plan.source, entry.relative);
    const std::string to = Join(plan.target, entry.relative);
    switch (entry.kind) {
    case TKind::tkFolder:
        // Owner-only until filled; its own mode comes at the end.
        if (::mkdir(to.c_str(), 0700) != 0)
            return Fail(failure, TTransferError::tteWriteFailed, to, errno);
        return true;
    case TKind::tkFile: return CopyFile(from, to, entry, buffer, progress, failure);
    case TKind::tkLink: {
        // The link's text as it is: a relative link stays relative.
        std::string text(PATH_MAX, '\0');
        const ssize_t n = ::readlink(from.c_str(), text.data(), text.size());
        if (n < 0 || static_cast<std::size_t>(n) >= text.size())
            return Fail(failure, TTransferError::tteUnreadable, from, n < 0 ? errno : ENAMETOOLONG);
        text.resize(static_cast<std::size_t>(n));
        if (::symlink(text.c_str(), to.c_str()) != 0)
            return Fail(failure, TTransferError::tteWriteFailed, to, errno);
        if (::geteuid() == 0)
            (void)::lchown(to.c_str(), entry.owner, entry.group);
        const timespec times[2] = {entry.accessed, entry.modified};
        (void)::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return true;
    }
    case TKind::tkSpecial: return true; // never opened, never made
    }
    return true;
}

// A folder's own mode, owner and times, set once nothing more goes into it; then its entries
// are flushed to the disk.
bool FinishFolder(const std::string& to, const TTransferEntry& entry, TTransferFailure& failure)
{
    const TFd fd(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    if (::geteuid() == 0 && ::fchown(fd.get(), entry.owner, entry.group) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    const timespec times[2] = {entry.accessed, entry.modified};
    if (::fchmod(fd.get(), entry.mode & 07777) != 0 || ::futimens(fd.get(), times) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, to, errno);
    return true;
}

bool CopyAll(const TTransferPlan& plan, TTransferProgress& progress, TTransferFailure& failure)
{
    std::vector<char> buffer(kChunk);
    for (const TTransferEntry& entry : plan.entries) {
        if (progress.cancel.load())
            return Fail(failure, TTransferError::tteCancelled, Join(plan.source, entry.relative));
        if (!CreateEntry(plan, entry, buffer, progress, failure))
            return false;
    }
    // Deepest first, so that setting a folder's times is not undone by its children.
    for (auto it = plan.entries.rbegin(); it != plan.entries.rend(); ++it) {
        if (it->kind == TKind::tkFolder && !FinishFolder(Join(plan.target, it->relative), *it, failure))
            return false;
    }
    // The new name in the target folder reaches the disk too.
    const TFd parent(::open(ParentOf(plan.target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0 || ::fsync(parent.get()) != 0)
        return Fail(failure, TTransferError::tteWriteFailed, ParentOf(plan.target), errno);
    return true;
}

} // namespace

TTransferPlan PlanTransfer(const std::string& sourcePath, const std::string& targetFolderPath, bool copy,
                           TTransferFailure& failure)
{
    failure = TTransferFailure{};
    TTransferPlan plan;
    plan.source = StripSlashes(sourcePath);
    plan.copy = copy;
    const std::string targetFolder = StripSlashes(targetFolderPath);

    struct stat source;
    if (plan.source.empty() || ::lstat(plan.source.c_str(), &source) != 0) {
        Fail(failure, TTransferError::tteSourceMissing, plan.source, errno);
        return plan;
    }
    struct stat folder;
    if (targetFolder.empty() || ::stat(targetFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        Fail(failure, TTransferError::tteTargetNotFolder, targetFolder, errno);
        return plan;
    }
    const std::string realTarget = RealPath(targetFolder);
    if (S_ISDIR(source.st_mode)) {
        // Where the folders really are, links resolved: a link may lead back inside the source.
        const std::string realSource = RealPath(plan.source);
        if (realSource.empty() || realTarget.empty() || realSource == "/" || realTarget == realSource ||
            realTarget.compare(0, realSource.size() + 1, realSource + "/") == 0) {
            Fail(failure, TTransferError::tteIntoItself, targetFolder);
            return plan;
        }
    }
    const std::string name = NameOf(plan.source);
    if (name.empty() || name == "." || name == "..") {
        Fail(failure, TTransferError::tteSourceMissing, plan.source);
        return plan;
    }
    plan.target = Join(targetFolder, name);
    struct stat existing;
    if (::lstat(plan.target.c_str(), &existing) == 0 || errno != ENOENT) {
        Fail(failure, TTransferError::tteNameTaken, plan.target, errno);
        return plan;
    }

    if (!copy) {
        const std::string parent = ParentOf(plan.source);
        if (::access(parent.c_str(), W_OK) != 0) {
            Fail(failure, TTransferError::tteSourceLocked, parent, errno);
            return plan;
        }
        struct stat parentStat;
        if (S_ISDIR(source.st_mode) &&
            (::stat(parent.c_str(), &parentStat) != 0 || parentStat.st_dev != source.st_dev ||
             parentStat.st_ino == source.st_ino)) {
            Fail(failure, TTransferError::tteMountPoint, plan.source);
            return plan;
        }
        if (source.st_dev == folder.st_dev) {
            plan.rename = true;
            return plan;
        }
    }
    PlanCopy(plan, targetFolder, failure);
    return plan;
}

bool RunTransfer(const TTransferPlan& given, TTransferProgress& progress, TTransferFailure& failure)
{
    failure = TTransferFailure{};
    TTransferPlan plan = given;
    if (plan.rename) {
        // Never over an item that appeared since the plan was made.
        if (::renameat2(AT_FDCWD, plan.source.c_str(), AT_FDCWD, plan.target.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        const int error = errno;
        if (error == EEXIST)
            return Fail(failure, TTransferError::tteNameTaken, plan.target, error);
        if (error != EXDEV)
            return Fail(failure, TTransferError::tteMoveFailed, plan.source, error);
        // One device but two mounts (a bind mount): copied like any other file system.
        if (!PlanCopy(plan, ParentOf(plan.target), failure))
            return false;
    }
    progress.bytesTotal = plan.bytesTotal;
    if (!CopyAll(plan, progress, failure)) {
        // Whatever the copy made goes again. The target did not exist when the plan was made;
        // one that appeared since (found when creating it) is someone else's.
        const bool someoneElses = failure.path == plan.target && failure.systemError == EEXIST;
        std::string ignored;
        struct stat made;
        if (!someoneElses && ::lstat(plan.target.c_str(), &made) == 0)
            RemoveTree(plan.target, ignored);
        return false;
    }
    if (plan.copy)
        return true;
    std::string failedPath;
    if (!RemoveTree(plan.source, failedPath))
        return Fail(failure, TTransferError::tteRemoveFailed, failedPath, errno);
    return true;
}

bool RemoveTree(const std::string& path, std::string& failedPath)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        failedPath = path;
        return false;
    }
    bool ok = true;
    if (S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        if (const TDir dir{::opendir(path.c_str())}) {
            while (const dirent* entry = ::readdir(dir.get())) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
        }
        for (const std::string& name : names) {
            if (!RemoveTree(Join(path, name), failedPath) && ok)
                ok = false;
        }
        if (::rmdir(path.c_str()) != 0 && ok) {
            failedPath = path;
            ok = false;
        }
        return ok;
    }
    if (::unlink(path.c_str()) != 0) {
        failedPath = path;
        return false;
    }
    return true;
}

} // namespace pt4
