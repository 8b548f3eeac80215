// Moves and copies of the folder tree on real file systems: after every case the user's files
// are whole at the source or at the target (contents, links, modes and times compared before
// and after), never split and never lost. Cases that need a second file system, a full one or a
// read-only one mount small tmpfs volumes and run only as root.
#include "components/folder_transfer.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pt4;

namespace {

using TSnapshot = QMap<QByteArray, QByteArray>;

// Every item below path: kind, mode, modification time and contents (or the link's text).
void Snap(const std::string& path, const QByteArray& relative, TSnapshot& out)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return;
    QByteArray line = QByteArray::number(st.st_mode, 8) + ' ' + QByteArray::number(qint64(st.st_mtim.tv_sec));
    if (S_ISLNK(st.st_mode)) {
        char text[4096];
        const ssize_t n = ::readlink(path.c_str(), text, sizeof text);
        line += " -> " + QByteArray(text, int(n));
    } else if (S_ISREG(st.st_mode)) {
        QFile file(QString::fromLocal8Bit(path));
        const int fd = ::open(path.c_str(), O_RDONLY);
        QVERIFY(fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        line += ' ' + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
    } else if (S_ISDIR(st.st_mode)) {
        DIR* dir = ::opendir(path.c_str());
        QVERIFY(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name = entry->d_name;
            if (name != "." && name != "..")
                Snap(path + "/" + entry->d_name, relative + '/' + name, out);
        }
        ::closedir(dir);
    }
    out.insert(relative, line);
}

TSnapshot Snapshot(const std::string& path)
{
    TSnapshot snapshot;
    Snap(path, QByteArray(), snapshot);
    return snapshot;
}

void Write(const std::string& path, std::size_t size, mode_t mode = 0644)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::fchmod(fd, mode);
    ::close(fd);
}

// The album folder of every case: files (one named in bytes that are no UTF-8), a private
// subfolder, a relative and an absolute link, old modification times.
void MakeAlbum(const std::string& album, std::size_t bigFile)
{
    QCOMPARE(::mkdir(album.c_str(), 0755), 0);
    QCOMPARE(::mkdir((album + "/disc 2").c_str(), 0700), 0);
    Write(album + "/01 intro.mp3", 20000, 0640);
    Write(album + "/disc 2/02 \xff\xfe.mp3", bigFile);
    QCOMPARE(::symlink("disc 2/02 \xff\xfe.mp3", (album + "/latest.mp3").c_str()), 0);
    QCOMPARE(::symlink("/nowhere/cover.jpg", (album + "/cover.jpg").c_str()), 0);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const char* item : {"/01 intro.mp3", "/disc 2/02 \xff\xfe.mp3", "/disc 2", ""})
        QCOMPARE(::utimensat(AT_FDCWD, (album + item).c_str(), old, 0), 0);
    QCOMPARE(::utimensat(AT_FDCWD, (album + "/latest.mp3").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
}

// Where a case puts its folders.
enum class TPlace { tpSame, tpOther, tpSmall, tpFewInodes, tpReadOnlySource };

} // namespace

class FolderTreeTransferTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void transfer_data();
    void transfer();
    void cancelRemovesThePartialCopy();
    void unreadableSubfolderFailsTheCopy();

private:
    bool Mount(const std::string& path, const char* options);

    std::unique_ptr<QTemporaryDir> root_;
    std::vector<std::string> mounts_;
};

Q_DECLARE_METATYPE(TPlace)
Q_DECLARE_METATYPE(TTransferError)

bool FolderTreeTransferTest::Mount(const std::string& path, const char* options)
{
    ::mkdir(path.c_str(), 0755);
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options) != 0)
        return false;
    mounts_.push_back(path);
    return true;
}

void FolderTreeTransferTest::init()
{
    root_ = std::make_unique<QTemporaryDir>();
    QVERIFY(root_->isValid());
}

void FolderTreeTransferTest::cleanup()
{
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        ::umount2(it->c_str(), MNT_DETACH);
    mounts_.clear();
    root_.reset();
}

void FolderTreeTransferTest::transfer_data()
{
    QTest::addColumn<TPlace>("place");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QByteArray>(
        "extra"); // "fifo": a named pipe in the album; "loop": target is a link into it
    QTest::addColumn<TTransferError>("error");

    using E = TTransferError;
    QTest::newRow("move within one file system") << TPlace::tpSame << false << QByteArray() << E::tteNone;
    QTest::newRow("copy within one file system") << TPlace::tpSame << true << QByteArray() << E::tteNone;
    QTest::newRow("move to another file system") << TPlace::tpOther << false << QByteArray() << E::tteNone;
    QTest::newRow("copy to another file system") << TPlace::tpOther << true << QByteArray() << E::tteNone;
    QTest::newRow("copy leaves a named pipe out")
        << TPlace::tpSame << true << QByteArray("fifo") << E::tteNone;
    QTest::newRow("move with a named pipe refused")
        << TPlace::tpOther << false << QByteArray("fifo") << E::tteSpecialFile;
    QTest::newRow("move onto a link into itself")
        << TPlace::tpSame << false << QByteArray("loop") << E::tteIntoItself;
    QTest::newRow("copy onto a link into itself")
        << TPlace::tpSame << true << QByteArray("loop") << E::tteIntoItself;
    QTest::newRow("move larger than the room") << TPlace::tpSmall << false << QByteArray() << E::tteNoRoom;
    QTest::newRow("copy fails half-way") << TPlace::tpFewInodes << true << QByteArray() << E::tteWriteFailed;
    QTest::newRow("move from read-only media")
        << TPlace::tpReadOnlySource << false << QByteArray() << E::tteSourceLocked;
    QTest::newRow("move a mounted volume")
        << TPlace::tpOther << false << QByteArray("mounted") << E::tteMountPoint;
}

void FolderTreeTransferTest::transfer()
{
    QFETCH(TPlace, place);
    QFETCH(bool, copy);
    QFETCH(QByteArray, extra);
    QFETCH(TTransferError, error);

    const std::string base = root_->path().toStdString();
    std::string from = base + "/from";
    std::string to = base + "/to";
    QCOMPARE(::mkdir(from.c_str(), 0755), 0);
    if (place != TPlace::tpSame) {
        if (::geteuid() != 0)
            QSKIP("needs root to mount the small file systems of this case");
        const char* options = place == TPlace::tpSmall       ? "size=1m"
                              : place == TPlace::tpFewInodes ? "size=8m,nr_inodes=4"
                                                             : "size=8m";
        if (!Mount(to, options) ||
            ((place == TPlace::tpReadOnlySource || extra == "mounted") && !Mount(from, "size=8m")))
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
    } else {
        QCOMPARE(::mkdir(to.c_str(), 0755), 0);
    }

    std::string album = from + "/album";
    MakeAlbum(album, place == TPlace::tpSmall ? 1536 * 1024 : 300000);
    if (extra == "fifo")
        QCOMPARE(::mkfifo((album + "/disc 2/pipe").c_str(), 0644), 0);
    std::string target = to;
    if (extra == "loop") {
        target = to + "/inside";
        QCOMPARE(::symlink((album + "/disc 2").c_str(), target.c_str()), 0);
    }
    if (place == TPlace::tpReadOnlySource)
        QCOMPARE(::mount("tmpfs", from.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=8m"), 0);
    if (extra == "mounted") {
        // The album is a volume of its own.
        album = from;
        from = base;
    }
    const TSnapshot before = Snapshot(album);
    struct stat sourceBefore;
    QCOMPARE(::lstat(album.c_str(), &sourceBefore), 0);

    TTransferFailure failure;
    const TTransferPlan plan = PlanTransfer(album, target, copy, failure);
    TTransferProgress progress;
    const bool done = failure.error == TTransferError::tteNone && RunTransfer(plan, progress, failure);
    QCOMPARE(failure.error, error);
    QCOMPARE(done, error == TTransferError::tteNone);

    const std::string landed = target + album.substr(album.rfind('/'));
    if (!done) {
        // Everything stays at the source, nothing is left at the target.
        QCOMPARE(Snapshot(album), before);
        QVERIFY(!failure.path.empty());
        if (extra != "loop")
            QCOMPARE(Snapshot(to).keys(), QList<QByteArray>{QByteArray()}); // the target folder alone
        return;
    }
    TSnapshot expected = before;
    if (extra == "fifo") {
        expected.remove("/disc 2/pipe");
        QCOMPARE(plan.specialFiles, std::vector<std::string>{album + "/disc 2/pipe"});
    }
    QCOMPARE(Snapshot(landed), expected);
    if (copy) {
        QCOMPARE(Snapshot(album), before);
    } else {
        QVERIFY(!QFileInfo::exists(QString::fromStdString(album)));
        struct stat moved;
        QCOMPARE(::lstat(landed.c_str(), &moved), 0);
        // Within one file system the folder itself moves: the same inode.
        QCOMPARE(moved.st_ino == sourceBefore.st_ino, place == TPlace::tpSame);
    }
}

void FolderTreeTransferTest::cancelRemovesThePartialCopy()
{
    const std::string base = root_->path().toStdString();
    const std::string album = base + "/album";
    MakeAlbum(album, 64 << 20);
    QCOMPARE(::mkdir((base + "/to").c_str(), 0755), 0);
    const TSnapshot before = Snapshot(album);

    TTransferFailure failure;
    const TTransferPlan plan = PlanTransfer(album, base + "/to", true, failure);
    QCOMPARE(failure.error, TTransferError::tteNone);
    TTransferProgress progress;
    std::atomic<bool> done = true;
    std::thread worker([&] { done = RunTransfer(plan, progress, failure); });
    // Cancelled once the big file is on its way.
    while (progress.bytesDone < (1u << 20) + 20000 && done)
        std::this_thread::yield();
    progress.cancel = true;
    worker.join();
    QVERIFY(!done);
    QCOMPARE(failure.error, TTransferError::tteCancelled);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(base + "/to/album")));
    QCOMPARE(Snapshot(album), before);
}

void FolderTreeTransferTest::unreadableSubfolderFailsTheCopy()
{
    // Root reads everything: the copy runs as an ordinary user in a child process.
    const std::string base = root_->path().toStdString();
    QCOMPARE(::chmod(base.c_str(), 0777), 0);
    const std::string album = base + "/album";
    QCOMPARE(::mkdir(album.c_str(), 0755), 0);
    Write(album + "/01 intro.mp3", 1000);
    QCOMPARE(::mkdir((base + "/to").c_str(), 0777), 0);
    QCOMPARE(::mkdir((album + "/locked").c_str(), 0755), 0);
    Write(album + "/locked/secret.mp3", 100);
    QCOMPARE(::chmod((album + "/locked").c_str(), 0), 0);

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        TTransferFailure failure;
        const TTransferPlan plan = PlanTransfer(album, base + "/to", true, failure);
        TTransferProgress progress;
        const bool done = failure.error == TTransferError::tteNone && RunTransfer(plan, progress, failure);
        const bool named = failure.path == album + "/locked";
        ::_exit(done ? 101 : named ? static_cast<int>(failure.error) : 102);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::chmod((album + "/locked").c_str(), 0755);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), static_cast<int>(TTransferError::tteUnreadable));
    QVERIFY(!QFileInfo::exists(QString::fromStdString(base + "/to/album")));
}

QTEST_GUILESS_MAIN(FolderTreeTransferTest)
#include "folder_tree_transfer_test.moc"
