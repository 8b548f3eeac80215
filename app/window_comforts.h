// What the main window asks of its comforts (app/comforts.h). The comforts are built on the
// window and act on it through its commands; the window knows them only by this, so that
// neither includes the other.
#pragma once

#include "app/recent_items.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <memory>

class QMenu;

namespace pt4 {

class TForm1;
class TIniFile;

class TWindowComforts {
public:
    virtual ~TWindowComforts() = default;

    // From FormCreate and FormDestroy. The keys join the file once they leave their defaults
    // and stay from then on.
    virtual void Restore(const TIniFile& ini) = 0;
    virtual void Save(TIniFile& ini) = 0;
    // The window closes: a fade of the sleep timer under way gives the volume back first.
    virtual void CancelSleepTimer() = 0;

    // The recent items' submenu (after the open entries) and the other entries.
    virtual void AddRecentMenu(QMenu* menu) = 0;
    virtual void AddMenuEntries(QMenu* menu) = 0;

    // The program started without a file: what played at the last exit opens again, paused at
    // its place, unless resuming is off. True when something opened.
    virtual bool Resume() = 0;

    // Opened by the user: a file or a station, a playlist among `names`, a dropped folder.
    virtual void NoteOpened(TRecentKind kind, const QString& location) = 0;
    virtual void NotePlaylists(const QStringList& names) = 0;
    virtual void NoteDropped(const QList<QUrl>& urls) = 0;
};

// The comforts of this window (comforts.cpp).
std::unique_ptr<TWindowComforts> MakeComforts(TForm1& form);

} // namespace pt4
