// The folder dialog with big folders: how long the tree takes to refresh when one expanded
// folder holds COUNT folders, and the file list to list a folder of COUNT MP3 files. Each is
// set beside Qt's plain listing of the same folder, the least any view of it can cost.
//
//   folder_listing_bench [COUNT [RUNS]]      defaults 20000 and 9; prints medians in ms
//
// The folders are made in /dev/shm when there is one, else in the temporary folder.
#include "app/file_list_box.h"
#include "components/folder_tree_view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    if (count < 1 || runs < 1) {
        std::fprintf(stderr, "usage: folder_listing_bench [COUNT [RUNS]]\n");
        return 2;
    }

    // In memory when the system offers it: making 40000 entries on a busy disk takes minutes.
    QTemporaryDir root(QDir(QStringLiteral("/dev/shm")).exists()
                           ? QStringLiteral("/dev/shm/folder_listing_bench-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/folder_listing_bench-XXXXXX"));
    const QString many = root.filePath(QStringLiteral("many"));
    const QString songs = root.filePath(QStringLiteral("songs"));
    QDir().mkpath(many);
    QDir().mkpath(songs);
    for (int i = 1; i <= count; ++i) {
        QDir().mkdir(QStringLiteral("%1/Folder %2").arg(many).arg(i));
        QFile(QStringLiteral("%1/Track %2.mp3").arg(songs).arg(i)).open(QIODevice::WriteOnly);
    }

    pt4::TFolderTreeViewEx tree;
    tree.SetRootFolderName(root.path());
    tree.SetRootFolder(pt4::TRootFolder::rfManual);
    tree.resize(193, 169);
    tree.show();
    QTreeWidgetItem* node = tree.ExpandToPath(many);
    tree.expandItem(node);
    QApplication::processEvents();
    if (!node || node->childCount() != count) {
        std::fprintf(stderr, "the tree shows %d folders, not %d\n", node ? node->childCount() : -1, count);
        return 1;
    }
    const double refresh = MedianMs(runs, [&] {
        tree.Refresh();
        QApplication::processEvents();
    });
    const double listFolders =
        MedianMs(runs, [&] { (void)QDir(many).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); });

    pt4::TFileListBox list;
    list.SetMask(QStringLiteral("*.mp3*"));
    list.resize(193, 169);
    list.show();
    const double fill = MedianMs(runs, [&] {
        list.SetDirectory(songs);
        QApplication::processEvents();
    });
    if (list.count() != count) {
        std::fprintf(stderr, "the list shows %d files, not %d\n", static_cast<int>(list.count()), count);
        return 1;
    }
    const double listFiles =
        MedianMs(runs, [&] { (void)QDir(songs).entryList({QStringLiteral("*.mp3*")}, QDir::Files).size(); });

    std::printf("tree refresh, %d folders:    %8.1f ms  (Qt's listing alone %.1f ms, ratio %.2f)\n", count,
                refresh, listFolders, refresh / listFolders);
    std::printf("file list, %d MP3 files:     %8.1f ms  (Qt's listing alone %.1f ms, ratio %.2f)\n", count,
                fill, listFiles, fill / listFiles);
    return 0;
}
