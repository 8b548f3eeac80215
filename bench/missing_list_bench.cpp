// A playlist of COUNT missing files played in the window: how long until the list is read and
// every entry passed over, how many notices it gave and how many message boxes came up.
//
//   missing_list_bench [COUNT]      default 1000000; the list is made in the temporary folder
//
// Runs without a display (Qt's offscreen platform) unless QT_QPA_PLATFORM says otherwise.
#include "app/application.h"
#include "app/main_unit.h"
#include "mp3plyr/runtime/exception_display.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (count < 1) {
        std::fprintf(stderr, "usage: missing_list_bench [COUNT]\n");
        return 2;
    }
    QTemporaryDir root;
    const QString list = root.filePath(QStringLiteral("missing.m3u"));
    {
        QFile file(list);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (long i = 0; i < count; ++i)
            file.write(QStringLiteral("gone/Track %1.mp3\n").arg(i).toUtf8());
    }
    int boxes = 0;
    pt4::SetExceptionDisplay([&boxes](const std::exception_ptr&) { ++boxes; });
    pt4::TApplicationWindows windows(root.filePath(QStringLiteral("PT4.INI")));
    pt4::TForm1& form = windows.Form1();
    form.show();
    QStringList notices;
    qint64 passedMs = -1;
    QElapsedTimer clock;
    QObject::connect(&form, &pt4::TForm1::NoticeShown, [&](const QString& text) {
        if (passedMs < 0)
            passedMs = clock.elapsed();
        notices << text;
        // Anything more that would come shows within moments.
        QTimer::singleShot(500, &app, &QApplication::quit);
    });
    clock.start();
    form.OpenPlaylist({list}, true);
    QTimer::singleShot(120000, &app, &QApplication::quit);
    QApplication::exec();
    std::printf(
        "%ld missing entries: read and passed over in %lld ms; %lld notice(s)%s%s; %d message box(es)\n",
        count, passedMs, qlonglong(notices.size()), notices.isEmpty() ? "" : ": ",
        notices.isEmpty() ? "" : qPrintable(notices.front()), boxes);
    return passedMs >= 0 && notices.size() == 1 && boxes == 0 ? 0 : 1;
}
