#include "app/window_place.h"

#include "app/settings_file.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace pt4 {

namespace {

const QString kSection = QStringLiteral("Window");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
constexpr int32_t kMissing = INT32_MIN;

bool PlatformPlacesWindows()
{
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

} // namespace

void RestoreWindowPlace(QWidget& window, const TIniFile& ini)
{
    if (!PlatformPlacesWindows())
        return;
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
    if (!PlatformPlacesWindows() || !window.testAttribute(Qt::WA_WState_Created))
        return;
    ini.WriteInteger(kSection, kLeft, window.x());
    ini.WriteInteger(kSection, kTop, window.y());
}

} // namespace pt4
