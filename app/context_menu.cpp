// The window's right-click menu: opening a file or a location, the album folder, repeat, the
// About view and quitting. Other features add their entries with AddContextMenuEntry.
#include "app/main_unit.h"

#include "app/guarded_command.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>

namespace pt4 {

QMenu* TForm1::ContextMenu()
{
    if (contextMenu_)
        return contextMenu_;
    contextMenu_ = new QMenu(this);
    // Each entry runs the command its control or key runs.
    auto entry = [this](const QString& text, const QKeySequence& keys, std::function<void()> command) {
        QAction* action = contextMenu_->addAction(text);
        action->setShortcut(keys);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, [this, command] { RunGuarded(command); });
        return action;
    };
    entry(QStringLiteral("ファイルを開く..."), QKeySequence(Qt::ControlModifier | Qt::Key_O),
          [this] { OpenFile(); });
    entry(QStringLiteral("場所を開く..."), QKeySequence(Qt::ControlModifier | Qt::Key_L),
          [this] { OpenLocationDialog(); });
    comforts_->AddRecentMenu(contextMenu_);
    contextMenu_->addSeparator();
    entry(QStringLiteral("連続再生..."), QKeySequence(), [this] { ChooseAlbum(); });
    QAction* repeat = entry(QStringLiteral("リピート"), QKeySequence(), [this] { ToggleRepeat(); });
    repeat->setCheckable(true);
    // Repeat can be switched only while playing, as with its panel.
    connect(contextMenu_, &QMenu::aboutToShow, this, [this, repeat] {
        repeat->setChecked(Album.Repeat());
        repeat->setEnabled(CanToggleRepeat());
    });
    AddLoudnessMenu();
    AddTextEncodingMenu();
    comforts_->AddMenuEntries(contextMenu_);
    contextMenuEnd_ = contextMenu_->addSeparator();
    entry(QStringLiteral("バージョン情報"), QKeySequence(), [this] { ToggleAbout(); });
    entry(QStringLiteral("終了"), QKeySequence(Qt::ControlModifier | Qt::Key_Q), [this] { Quit(); });
    return contextMenu_;
}

// Loudness by the gains stored in the files; the choice is kept in PT4.INI when the window closes.
void TForm1::AddLoudnessMenu()
{
    static constexpr std::pair<TReplayGainMode, const char*> kModes[] = {
        {TReplayGainMode::Off, "オフ"},
        {TReplayGainMode::Track, "トラックのゲイン"},
        {TReplayGainMode::Album, "アルバムのゲイン"},
        {TReplayGainMode::Auto, "自動 (連続再生ではアルバム)"},
    };
    QMenu* loudness = contextMenu_->addMenu(QStringLiteral("音量の正規化"));
    auto* group = new QActionGroup(loudness);
    for (const auto& [mode, text] : kModes) {
        QAction* action = loudness->addAction(QString::fromUtf8(text));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, mode = mode] { RunGuarded([&] { MP3Player1.SetReplayGainMode(mode); }); });
        connect(loudness, &QMenu::aboutToShow, action,
                [this, action, mode = mode] { action->setChecked(MP3Player1.ReplayGainMode() == mode); });
    }
}

void TForm1::AddContextMenuEntry(QAction* action)
{
    ContextMenu()->insertAction(contextMenuEnd_, action);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    ContextMenu()->popup(event->globalPos());
    event->accept();
}

} // namespace pt4
