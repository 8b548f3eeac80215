// Minimise and restore of the main window with the desktop's event sounds. The window manager
// draws the animation; this component watches the form's window state and plays the sounds.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <stdexcept>

namespace pt4 {

inline constexpr const char* kOwnerMustBeAForm = "Owner must be a form";
inline constexpr const char* kMustBeOnMainForm = "AnimateForm muse be placed in a main form";

inline constexpr const char* kMinimizeSound = "window-minimized";
inline constexpr const char* kRestoreSound = "window-unminimized";

class EAnimateFormError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TAnimateForm : public QObject {
    Q_OBJECT
public:
    // The owner must be a top-level window, and no main form may exist yet: the component
    // belongs on the first window the application creates.
    explicit TAnimateForm(QObject* owner);
    ~TAnimateForm() override;

    // The application's minimise event: raised after the form has been minimised.
    std::function<void()> OnMinimize;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> form_;
};

} // namespace pt4
