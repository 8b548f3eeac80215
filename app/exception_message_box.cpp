#include "app/exception_message_box.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/exception_display.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace pt4 {

namespace {

void ShowText(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Plumtone4"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

void InstallExceptionMessageBox()
{
    SetExceptionDisplay([](const std::exception_ptr& error) {
        // The failure's text, and under it the cause in plain words where the error names one.
        const QString text = QString::fromStdString(DescribeError(error).ShownText());
        if (QThread::currentThread() == qApp->thread())
            ShowText(text);
        else
            QMetaObject::invokeMethod(
                qApp, [text] { ShowText(text); }, Qt::QueuedConnection);
    });
}

} // namespace pt4
