#include "app/window_place.h"

#include "app/settings_file.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace pt4 {

namespace {

const QString kSection = QStringLiteral("Window");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
constexpr int32_t kMissing = INT32_MIN;
const QString kKeeperName = QStringLiteral("pt4-window-place");

bool PlatformPlacesWindows()
{
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// Follows the window's place while it is on the screen. The place must be taken then: by the
// time the settings are written at exit the window system's window is gone, and with it what
// the place means.
class TPlaceKeeper : public QObject {
public:
    explicit TPlaceKeeper(QWidget& window) : QObject(&window), window_(window)
    {
        setObjectName(kKeeperName);
        window.installEventFilter(this);
    }

    bool Known() const { return known_; }
    QPoint Place() const { return place_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &window_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            // Only when it opens: later the place is the user's, even partly off the screen.
            if (!opened_) {
                opened_ = true;
                shownAt_ = KeptInside(window_.pos(), window_.frameGeometry().size());
                window_.move(shownAt_);
            }
            Take();
            break;
        case QEvent::Paint:
            // Once the window is drawn the window manager has framed it, and the frame's size is
            // known: the place asked for at the show is checked again with it.
            // Moved by the difference: until the window manager reports the framed window's
            // place, the window system's idea of it may still be the one from before framing.
            if (opened_ && !framed_) {
                framed_ = true;
                const QPoint inside = KeptInside(shownAt_, window_.frameGeometry().size());
                if (inside != shownAt_)
                    window_.move(window_.pos() + inside - shownAt_);
            }
            break;
        case QEvent::Move:
        case QEvent::Hide: Take(); break;
        default: break;
        }
        return false;
    }

private:
    void Take()
    {
        if (!window_.isVisible() || window_.isMinimized() || !window_.windowHandle())
            return;
        place_ = window_.pos();
        known_ = true;
    }

    // Where a window of this outer size at `place` goes to be wholly inside the screen's area
    // for windows (a large scale on a small screen would otherwise put its lower part under the
    // panel or off the screen).
    QPoint KeptInside(QPoint place, QSize frame) const
    {
        const QScreen* screen = window_.screen();
        if (screen == nullptr)
            return place;
        const QRect area = screen->availableGeometry();
        return {std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())),
                std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()))};
    }

    QWidget& window_;
    QPoint place_;
    QPoint shownAt_; // where the window was put when it was shown
    bool known_ = false;
    bool opened_ = false; // shown once
    bool framed_ = false; // checked with the window manager's frame
};

const TPlaceKeeper* KeeperOf(const QWidget& window)
{
    return dynamic_cast<const TPlaceKeeper*>(
        window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly));
}

} // namespace

void RestoreWindowPlace(QWidget& window, const TIniFile& ini)
{
    if (!PlatformPlacesWindows())
        return;
    if (KeeperOf(window) == nullptr)
        new TPlaceKeeper(window);
    const QPoint place(ini.ReadInteger(kSection, kLeft, kMissing), ini.ReadInteger(kSection, kTop, kMissing));
    if (place.x() == kMissing || place.y() == kMissing)
        return;
    // The title bar's corner must be on a screen that is still there, or the window is lost.
    const QPoint corner = place + QPoint(16, 16);
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().contains(corner)) {
            window.move(place);
            return;
        }
}

void SaveWindowPlace(const QWidget& window, TIniFile& ini)
{
    const TPlaceKeeper* keeper = KeeperOf(window);
    if (keeper == nullptr || !keeper->Known())
        return;
    ini.WriteInteger(kSection, kLeft, keeper->Place().x());
    ini.WriteInteger(kSection, kTop, keeper->Place().y());
}

} // namespace pt4
