// The window's keys: play and pause, jumps, volume, album files, opening, the menu, quitting, the
// media keys; and the keyboard's way into the skin controls (Tab, Space or Enter on a button,
// arrows on a knob, Escape back to the window).
#include "app/main_unit.h"

#include "app/guarded_command.h"
#include "app/skin_accessibility.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>

#include <algorithm>
#include <functional>

namespace pt4 {

namespace {

constexpr int kVolumeKeyStep = 5;   // Up, Down, and one step of the volume knob
constexpr int kBalanceKeyStep = 10; // one step of the balance knob: as far as a volume step
constexpr int kJumpMs = 5000;       // as far as the rewind and fast-forward buttons jump

struct TKeyCommand {
    QKeyCombination keys;
    std::function<void(TForm1&)> command;
};

const std::vector<TKeyCommand>& KeyCommands()
{
    static const std::vector<TKeyCommand> commands = {
        {Qt::Key_Space, [](TForm1& f) { f.PlayOrPause(); }},
        {Qt::Key_Left, [](TForm1& f) { f.SeekBy(-kJumpMs); }},
        {Qt::Key_Right, [](TForm1& f) { f.SeekBy(kJumpMs); }},
        {Qt::Key_Up, [](TForm1& f) { f.VolumeBy(kVolumeKeyStep); }},
        {Qt::Key_Down, [](TForm1& f) { f.VolumeBy(-kVolumeKeyStep); }},
        {Qt::ControlModifier | Qt::Key_Left, [](TForm1& f) { f.PreviousTrack(); }},
        {Qt::ControlModifier | Qt::Key_Right, [](TForm1& f) { f.NextTrack(); }},
        {Qt::ControlModifier | Qt::Key_O, [](TForm1& f) { f.OpenFile(); }},
        {Qt::ControlModifier | Qt::Key_L, [](TForm1& f) { f.OpenLocationDialog(); }},
        {Qt::ControlModifier | Qt::Key_Q, [](TForm1& f) { f.Quit(); }},
        // The menu from the keyboard, as the Menu key opens it.
        {Qt::ShiftModifier | Qt::Key_F10, [](TForm1& f) { f.ShowContextMenuFromKeyboard(); }},
        // Most keyboards have one play key, sent as "play": by the desktop's custom it plays and
        // pauses in turn.
        {Qt::Key_MediaTogglePlayPause, [](TForm1& f) { f.PlayOrPause(); }},
        {Qt::Key_MediaPlay, [](TForm1& f) { f.PlayOrPause(); }},
        {Qt::Key_MediaPause, [](TForm1& f) { f.Pause(); }},
        {Qt::Key_MediaStop, [](TForm1& f) { f.Stop(); }},
        {Qt::Key_MediaNext, [](TForm1& f) { f.NextTrack(); }},
        {Qt::Key_MediaPrevious, [](TForm1& f) { f.PreviousTrack(); }},
    };
    return commands;
}

} // namespace

void TForm1::CreateKeyboardAccess()
{
    // The window holds the focus until Tab moves it to a control, so its keys work from the start.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
    for (TSkinImage* button :
         {OpenImage, playImage, pauseImage, stopImage, back1Image, next1Image, back2Image, next2Image})
        button->SetRole(TSkinRole::Button);
    for (int p = 0; p < kPresetCount; ++p)
        PresetImage(static_cast<TPreset>(p))->SetRole(TSkinRole::Toggle);
    FlatImage->SetChecked(true); // the layout's lit preset
    AboutPanel->SetRole(TSkinRole::Button);
    AlbumPanel->SetRole(TSkinRole::Toggle);
    RepeatPanel->SetRole(TSkinRole::Toggle);
    for (TSkinImage* knob : {VolImage, BalanceImage})
        knob->SetRole(TSkinRole::Knob);
    // Names for assistive technologies only: the knobs have no hint in the layout.
    VolImage->setAccessibleName(QStringLiteral("音量"));
    BalanceImage->setAccessibleName(QStringLiteral("バランス"));
    CreateScreenReaderView();

    connect(VolImage, &TSkinControl::Step, this,
            [this](int steps) { RunGuarded([&] { VolumeBy(steps * kVolumeKeyStep); }); });
    connect(BalanceImage, &TSkinControl::Step, this,
            [this](int steps) { RunGuarded([&] { BalanceBy(steps * kBalanceKeyStep); }); });
    connect(VolImage, &TSkinControl::ValueWanted, this,
            [this](int value) { RunGuarded([&] { SetVolumeFromDesktop(value); }); });
    connect(BalanceImage, &TSkinControl::ValueWanted, this,
            [this](int value) { RunGuarded([&] { SetBalanceFromDesktop(value); }); });
}

void TForm1::CreateScreenReaderView()
{
    hontaiImage->setAccessibleName(QStringLiteral("背景"));
    Shape1->setAccessibleName(QStringLiteral("音量のトラック"));
    Shape2->setAccessibleName(QStringLiteral("バランスのトラック"));
    Panel1->setAccessibleName(QStringLiteral("表示"));
    Image1->setAccessibleName(QStringLiteral("バージョン情報"));
    // The words the About picture shows.
    Image1->setAccessibleDescription(
        QStringLiteral("Plumtone4 Version %1、MP3 プレーヤー。"
                       "MPEG-1/2/2.5 Layer I/II/III デコーダー内蔵。連絡先 %2")
            .arg(QStringLiteral(PT4_VERSION).section(u'.', 0, 1), ContactAddress()));
    // The grey and green copies under the texts are shadows: each text is read once.
    for (QWidget* shadow : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                            static_cast<QWidget*>(SongLabel2), static_cast<QWidget*>(ArtistLabel2)})
        HideFromScreenReaders(shadow);
    // The three indicators are read as one status in words, which follows the player.
    for (TSkinImage* indicator : {Status1Image, Status2Image, Status3Image})
        HideFromScreenReaders(indicator);
    auto* status =
        new TSkinStatus(Panel1, QRect(Status1Image->pos(), Status3Image->geometry().bottomRight()));
    const auto follow = [this, status] {
        switch (MP3Player1.Status()) {
        case TMP3PlayerStatus::mpsPlaying: status->SetText(QStringLiteral("再生中")); break;
        case TMP3PlayerStatus::mpsPaused: status->SetText(QStringLiteral("一時停止中")); break;
        case TMP3PlayerStatus::mpsStopped: status->SetText(QStringLiteral("停止中")); break;
        }
    };
    connect(this, &TForm1::PlayerStatusChanged, status, follow);
    follow();
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    const QKeyCombination keys(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key()));
    const auto& commands = KeyCommands();
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [keys](const TKeyCommand& command) { return command.keys == keys; });
    if (found == commands.end()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    RunGuarded([&] { found->command(*this); });
}

void TForm1::ShowContextMenuFromKeyboard()
{
    // Asked of the focused control, so the menu opens beside it.
    QWidget* focused = focusWidget() != nullptr ? focusWidget() : this;
    const QPoint middle = focused->rect().center();
    QContextMenuEvent asked(QContextMenuEvent::Keyboard, middle, focused->mapToGlobal(middle));
    QCoreApplication::sendEvent(focused, &asked);
}

} // namespace pt4
