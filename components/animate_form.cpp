#include "components/animate_form.h"

#include "components/desktop_sound.h"
#include "components/main_form.h"

#include <QEvent>
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

bool TAnimateForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_ && event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
        const bool minimized = form_->windowState() & Qt::WindowMinimized;
        if (minimized && !wasMinimized) {
            PlayDesktopSound(kMinimizeSound);
            if (OnMinimize)
                OnMinimize();
        } else if (wasMinimized && !minimized) {
            PlayDesktopSound(kRestoreSound);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pt4
