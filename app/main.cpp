// plumtone4 [FILE|FOLDER|URL...]: the desktop player. One file (or an http:// or https:// stream)
// named on the command line opens and plays at once; several, or a folder's files, play in turn. When the
// program already runs, they go to its window and this start ends at once.
#include "app/application.h"
#include "app/comforts.h"
#include "app/command_line.h"
#include "app/desktop_bus.h"
#include "app/exception_message_box.h"
#include "app/guarded_command.h"
#include "app/skin_controls.h"
#include "mp3plyr/runtime/exception_display.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSocketNotifier>
#include <QToolTip>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the program like closing the window, so the settings are written.
int quitPipe[2] = {-1, -1};

void RequestQuit(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
}

void QuitOnSignals(QApplication& application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, quitPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(quitPipe[0], &byte, 1);
        QApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = RequestQuit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered before Qt starts, so --help works without a display.
    if (const std::optional<int> status = pt4::AnswerCommandLine(argc, argv))
        return *status;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("plumtone4"));
    QApplication::setWindowIcon(QIcon(pt4::ArtPicture(QStringLiteral(":/art/icon.png"))));
    pt4::InstallExceptionMessageBox();
    QuitOnSignals(application);

    QStringList files;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        const bool url = argument.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
                         argument.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
        files << (url ? argument : QFileInfo(argument).absoluteFilePath());
    }
    std::optional<QDBusConnection> bus = pt4::TDesktopBus::SessionBus();
    if (bus && pt4::TDesktopBus::HandOver(*bus, files))
        return 0;

    pt4::TApplicationWindows windows;
    pt4::TForm1& form1 = windows.Form1();
    QToolTip::setFont(form1.font());
    form1.show();
    if (bus)
        (new pt4::TDesktopBus(form1))->Publish(*bus);

    if (!files.isEmpty()) {
        QMetaObject::invokeMethod(
            &form1,
            [&form1, files] {
                try {
                    form1.OpenLocations(files); // "open with": it plays at once
                } catch (...) {
                    pt4::ShowException(std::current_exception());
                }
            },
            Qt::QueuedConnection);
    } else {
        // Started without a file: what played at the last exit, paused at its place.
        QMetaObject::invokeMethod(
            &form1, [&form1] { pt4::RunGuarded([&form1] { form1.Comforts().Resume(); }); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
