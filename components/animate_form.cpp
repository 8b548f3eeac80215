#include "components/animate_form.h"

#include "components/desktop_sound.h"
#include "components/main_form.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace pt4 {

namespace {

QWidget* FormOf(QObject* owner)
{
    auto* widget = qobject_cast<QWidget*>(owner);
    return widget && widget->isWindow() ? widget : nullptr;
}

} // namespace

TAnimateForm::TAnimateForm(QObject* owner)
    : stateUnreported_(QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
{
    QWidget* form = FormOf(owner);
    if (!form)
        throw EAnimateFormError(kOwnerMustBeAForm);
    if (ApplicationMainForm())
        throw EAnimateFormError(kMustBeOnMainForm);
    form_ = form;
    form->installEventFilter(this);
}

TAnimateForm::~TAnimateForm()
{
    if (form_)
        form_->removeEventFilter(this);
}

bool TAnimateForm::Minimized() const
{
    return stateUnreported_ ? requestedMinimized_ : form_ && form_->isMinimized();
}

void TAnimateForm::Minimize()
{
    PlayDesktopSound(kMinimizeSound);
    if (OnMinimize)
        OnMinimize();
    emit MinimizedChanged();
}

void TAnimateForm::Restore()
{
    PlayDesktopSound(kRestoreSound);
    emit MinimizedChanged();
}

void TAnimateForm::WatchMinimizeRequests()
{
    if (watching_ || !form_ || !form_->windowHandle())
        return;
    watching_ = true;
    // Both the title bar's button and showMinimized() ask the window for this state; the
    // compositor's answer, which Qt turns into the normal state, says nothing.
    connect(form_->windowHandle(), &QWindow::windowStateChanged, this, [this](Qt::WindowState state) {
        if (state != Qt::WindowMinimized || requestedMinimized_)
            return;
        requestedMinimized_ = true;
        Minimize();
    });
}

bool TAnimateForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != form_)
        return QObject::eventFilter(watched, event);
    if (stateUnreported_) {
        if (event->type() == QEvent::Show)
            WatchMinimizeRequests();
        // The user brought the window back (the taskbar, or a fresh show after a raise).
        if ((event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) &&
            requestedMinimized_) {
            requestedMinimized_ = false;
            Restore();
        }
    } else if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
        const bool minimized = form_->windowState() & Qt::WindowMinimized;
        if (minimized && !wasMinimized)
            Minimize();
        else if (wasMinimized && !minimized)
            Restore();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pt4
