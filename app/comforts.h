// The window's comforts beside the skin's controls: reopening what played at the last exit,
// shuffled albums, the recently opened items, a notification on each new song and the sleep
// timer. Their menu entries and their PT4.INI keys ([Option] Shuffle, Resume, Notify; [Resume],
// [Recent], [Stations]) are here.
#pragma once

#include "app/recent_items.h"
#include "app/sleep_timer.h"
#include "app/song_notification.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

class QMenu;

namespace pt4 {

class TForm1;
class TIniFile;

class TComforts : public QObject {
    Q_OBJECT
public:
    explicit TComforts(TForm1& form);
    ~TComforts() override;

    // From FormCreate and FormDestroy. The keys join the file once they leave their defaults
    // and stay from then on.
    void Restore(const TIniFile& ini);
    void Save(TIniFile& ini);

    // The recent items' submenu (after the open entries) and the other entries.
    void AddRecentMenu(QMenu* menu);
    void AddMenuEntries(QMenu* menu);

    // The program started without a file: what played at the last exit opens again, paused at
    // its place, unless resuming is off. True when something opened.
    bool Resume();

    // Opened by the user: a file or a station, a playlist among `names`, a dropped folder.
    void NoteOpened(TRecentKind kind, const QString& location);
    void NotePlaylists(const QStringList& names);
    void NoteDropped(const QList<QUrl>& urls);
    // Opens a recent item as the user first did.
    void OpenRecent(const TRecentItem& item);

    bool ResumeEnabled = true;
    TSleepTimer& SleepTimer() { return *sleepTimer_; }
    TSongNotifier& Notifier() { return *notifier_; }
    TRecentItems& Recent() { return recent_; }

    // What the sleep timer's menu shows: its name, and the time left while it counts.
    QString SleepTimerTitle() const;

private:
    TForm1& form_;
    std::unique_ptr<TSleepTimer> sleepTimer_;
    std::unique_ptr<TSongNotifier> notifier_;
    TRecentItems recent_;
};

} // namespace pt4
