// plumtone4 [FILE]: the desktop player. A file named on the command line is opened at start as
// if it had been chosen with the Open button.
#include "app/application.h"
#include "app/exception_message_box.h"
#include "mp3plyr/output/exception_display.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QToolTip>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("plumtone4"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
    pt4::InstallExceptionMessageBox();

    pt4::TApplicationWindows windows;
    pt4::TForm1& form1 = windows.Form1();
    QToolTip::setFont(form1.font());
    form1.show();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString fileName = QFileInfo(arguments.at(1)).absoluteFilePath();
        QMetaObject::invokeMethod(
            &form1,
            [&form1, fileName] {
                try {
                    form1.OpenChosenFile(fileName);
                } catch (...) {
                    pt4::ShowException(std::current_exception());
                }
            },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
