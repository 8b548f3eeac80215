#include "app/comforts.h"

#include "app/desktop_bus.h"
#include "app/guarded_command.h"
#include "app/main_unit.h"
#include "app/play_resume.h"
#include "app/settings_file.h"
#include "mp3plyr/input/playlist_file.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

namespace pt4 {

namespace {

const QString kOption = QStringLiteral("Option");

QString RecentText(int number, const TRecentItem& item)
{
    static const char* const kinds[] = {"ファイル", "フォルダ", "リスト", "局"};
    const QString name =
        item.kind == TRecentKind::Station ? item.location : QFileInfo(item.location).fileName();
    // The number is the entry's key; an ampersand of the name is no key.
    return QStringLiteral("&%1 %2 (%3)")
        .arg(number % 10)
        .arg(QString(name).replace(u'&', QStringLiteral("&&")), QString::fromUtf8(kinds[int(item.kind)]));
}

} // namespace

TComforts::TComforts(TForm1& form) : form_(form)
{
    TSleepTimer::THooks hooks;
    hooks.volume = [&form] { return form.MP3Player1.Volume(); };
    hooks.setVolume = [&form](uint32_t volume) { form.MP3Player1.SetVolume(volume); };
    hooks.stop = [&form] { RunGuarded([&form] { form.Stop(); }); };
    sleepTimer_ = std::make_unique<TSleepTimer>(std::move(hooks));
    notifier_ = std::make_unique<TSongNotifier>(form, TDesktopBus::SessionBus());
    connect(&form, &TForm1::PlayerStatusChanged, notifier_.get(), &TSongNotifier::PlayerChanged);
}

TComforts::~TComforts() = default;

std::unique_ptr<TWindowComforts> MakeComforts(TForm1& form)
{
    return std::make_unique<TComforts>(form);
}

TComforts& TForm1::Comforts()
{
    return static_cast<TComforts&>(*comforts_);
}

void TComforts::CancelSleepTimer()
{
    sleepTimer_->Cancel();
}

void TComforts::Restore(const TIniFile& ini)
{
    form_.Album.SetShuffle(ini.ReadBool(kOption, QStringLiteral("Shuffle"), false));
    ResumeEnabled = ini.ReadBool(kOption, QStringLiteral("Resume"), true);
    notifier_->Enabled = ini.ReadBool(kOption, QStringLiteral("Notify"), true);
    recent_.Load(ini);
    form_.LocationDialog1.History = recent_.TypedStations;
}

void TComforts::Save(TIniFile& ini)
{
    const auto option = [&ini](const QString& key, bool value, bool defaultValue) {
        if (value != defaultValue || ini.ReadInteger(kOption, key, -1) != -1)
            ini.WriteBool(kOption, key, value);
    };
    option(QStringLiteral("Shuffle"), form_.Album.Shuffle(), false);
    option(QStringLiteral("Resume"), ResumeEnabled, true);
    option(QStringLiteral("Notify"), notifier_->Enabled, true);
    if (ResumeEnabled)
        SaveResumePoint(form_, ini);
    else
        ini.EraseSection(QStringLiteral("Resume"));
    recent_.TypedStations = form_.LocationDialog1.History;
    recent_.Save(ini);
}

bool TComforts::Resume()
{
    if (!ResumeEnabled)
        return false;
    return ResumeLastPlay(form_, TIniFile(form_.SettingsFile()));
}

void TComforts::NoteOpened(TRecentKind kind, const QString& location)
{
    recent_.Add(kind, location);
}

void TComforts::NotePlaylists(const QStringList& names)
{
    for (const QString& name : names)
        if (HasPlaylistExtension(name.toStdString()))
            recent_.Add(TRecentKind::List, name);
}

void TComforts::NoteDropped(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls)
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            recent_.Add(TRecentKind::Folder, QFileInfo(url.toLocalFile()).absoluteFilePath());
}

void TComforts::OpenRecent(const TRecentItem& item)
{
    if (item.kind != TRecentKind::Folder) {
        form_.OpenLocation(item.location);
        return;
    }
    // A folder plays as when it was dropped on the window.
    const std::optional<TForm1::TDropPlan> plan = TForm1::PlanDrop({QUrl::fromLocalFile(item.location)});
    recent_.Add(TRecentKind::Folder, item.location);
    if (plan)
        form_.PlayFiles(plan->files);
    else
        throw std::runtime_error(QStringLiteral("フォルダ %1 には再生できるファイルがありません。")
                                     .arg(item.location)
                                     .toStdString());
}

void TComforts::AddRecentMenu(QMenu* menu)
{
    QMenu* recent = menu->addMenu(QStringLiteral("最近開いたもの"));
    // Filled each time it opens: the list changes with every open.
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        int number = 1;
        for (const TRecentItem& item : recent_.Items()) {
            QAction* action = recent->addAction(RecentText(number++, item));
            action->setToolTip(item.location);
            connect(action, &QAction::triggered, this,
                    [this, item] { RunGuarded([&] { OpenRecent(item); }); });
        }
        if (recent_.Items().isEmpty()) {
            recent->addAction(QStringLiteral("(なし)"))->setEnabled(false);
            return;
        }
        recent->addSeparator();
        connect(recent->addAction(QStringLiteral("履歴を消去")), &QAction::triggered, this,
                [this] { recent_.Clear(); });
    });
}

QString TComforts::SleepTimerTitle() const
{
    if (!sleepTimer_->Active())
        return QStringLiteral("スリープタイマー");
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(sleepTimer_->Remaining()).count();
    return QStringLiteral("スリープタイマー (残り %1:%2)")
        .arg(left / 60)
        .arg(left % 60, 2, 10, QLatin1Char('0'));
}

void TComforts::AddMenuEntries(QMenu* menu)
{
    auto toggle = [this, menu](const QString& text, std::function<bool()> get,
                               std::function<void(bool)> set) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, [set](bool on) { RunGuarded([&] { set(on); }); });
        connect(menu, &QMenu::aboutToShow, action, [action, get] {
            const QSignalBlocker quiet(action);
            action->setChecked(get());
        });
        return action;
    };
    toggle(
        QStringLiteral("シャッフル"), [this] { return form_.Album.Shuffle(); },
        [this](bool on) { form_.Album.SetShuffle(on); });

    QMenu* sleep = menu->addMenu(QStringLiteral("スリープタイマー"));
    auto* group = new QActionGroup(sleep);
    auto choice = [this, sleep, group](const QString& text, int minutes) {
        QAction* action = sleep->addAction(text);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, minutes] {
            if (minutes == 0)
                sleepTimer_->Cancel();
            else
                sleepTimer_->Start(std::chrono::minutes(minutes));
        });
        connect(sleep, &QMenu::aboutToShow, action, [this, action, minutes] {
            const auto total = std::chrono::duration_cast<std::chrono::minutes>(sleepTimer_->Total());
            action->setChecked(total.count() == minutes);
        });
    };
    choice(QStringLiteral("オフ"), 0);
    for (int minutes : TSleepTimer::kMinutes)
        choice(QStringLiteral("%1 分").arg(minutes), minutes);
    // The time left shows in the entry's own text, counting while the menu stays open.
    connect(menu, &QMenu::aboutToShow, sleep, [this, sleep] { sleep->setTitle(SleepTimerTitle()); });
    auto* count = new QTimer(menu);
    count->setInterval(1000);
    connect(count, &QTimer::timeout, sleep, [this, sleep] { sleep->setTitle(SleepTimerTitle()); });
    connect(menu, &QMenu::aboutToShow, count, [this, count] {
        if (sleepTimer_->Active())
            count->start();
    });
    connect(menu, &QMenu::aboutToHide, count, &QTimer::stop);

    toggle(
        QStringLiteral("前回の続きから再生"), [this] { return ResumeEnabled; },
        [this](bool on) { ResumeEnabled = on; });
    toggle(
        QStringLiteral("曲が変わったら通知"), [this] { return notifier_->Enabled; },
        [this](bool on) { notifier_->Enabled = on; });
}

} // namespace pt4
