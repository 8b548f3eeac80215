// Minimise and restore of the main window with the desktop's event sounds. The window manager
// draws the animation; this component watches the form's window state and plays the sounds.
// A Wayland compositor never says that a window is minimised (Qt clears the state at once): there
// the form counts as minimised from its own request to minimise (its title bar's button) until
// it is activated or shown again.
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

    // Whether the form is minimised, as far as the platform lets anyone know.
    bool Minimized() const;

signals:
    void MinimizedChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchMinimizeRequests();
    void Minimize();
    void Restore();

    QPointer<QWidget> form_;
    // The platform reports no minimised state (Wayland): the state follows the form's requests.
    const bool stateUnreported_;
    bool watching_ = false;
    bool requestedMinimized_ = false;
};

} // namespace pt4
