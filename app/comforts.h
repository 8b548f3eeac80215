// The window's comforts beside the skin's controls: reopening what played at the last exit,
// shuffled albums, the recently opened items, a notification on each new song and the sleep
// timer. Their menu entries and their PT4.INI keys ([Option] Shuffle, Resume, Notify; [Resume],
// [Recent], [Stations]) are here.
#pragma once

#include "app/recent_items.h"
#include "app/sleep_timer.h"
#include "app/song_notification.h"
#include "app/window_comforts.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

class QMenu;

namespace pt4 {

class TForm1;
class TIniFile;

class TComforts : public QObject, public TWindowComforts {
    Q_OBJECT
public:
    explicit TComforts(TForm1& form);
    ~TComforts() override;

    // What the window asks of them (app/window_comforts.h).
    void Restore(const TIniFile& ini) override;
    void Save(TIniFile& ini) override;
    void CancelSleepTimer() override;
    void AddRecentMenu(QMenu* menu) override;
    void AddMenuEntries(QMenu* menu) override;
    bool Resume() override;
    void NoteOpened(TRecentKind kind, const QString& location) override;
    void NotePlaylists(const QStringList& names) override;
    void NoteDropped(const QList<QUrl>& urls) override;
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
