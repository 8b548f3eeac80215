// Preset buttons, and the volume and balance knobs.
#include "app/main_unit.h"

#include "app/equalizer_window.h"
#include "app/picture_store.h"

#include <algorithm>
#include <cmath>

namespace pt4 {

namespace {

// Knob travel: left edges of the knob pictures.
constexpr int kVolumeLeft = 16;
constexpr int kVolumeRight = 116;
constexpr int kBalanceLeft = 136;
constexpr int kBalanceRight = 236;

} // namespace

void TForm1::ShowPresetPictures(TPreset preset)
{
    for (int p = 0; p < kPresetCount; ++p) {
        const TPresetInfo& info = kPresets[p];
        TSkinImage* image = PresetImage(static_cast<TPreset>(p));
        image->SetPicture(StoredPicture(p == static_cast<int>(preset) ? info.onImage : info.offImage));
        image->SetChecked(p == static_cast<int>(preset));
    }
}

void TForm1::PresetImageClick(TPreset preset)
{
    SelectPreset(preset);
}

void TForm1::SelectPreset(TPreset preset)
{
    // Exactly one preset is on and lit: the one whose values the player gets now (a settings
    // file may have turned on several).
    presetFlags_.fill(false);
    presetFlags_[static_cast<size_t>(preset)] = true;
    ShowPresetPictures(preset);
    if (!form3_)
        throw std::logic_error("the equalizer window does not exist yet");
    // Moving a slider sends its band value at once; the six sends that follow make sure every
    // band reaches the player, moved or not.
    const TPresetInfo& info = PresetInfo(preset);
    for (int band = 0; band < kBandCount; ++band)
        form3_->TrackBar(band)->setValue(info.positions[band]);
    for (int band = 0; band < kBandCount; ++band)
        form3_->TrackBarChange(band);
}

void TForm1::VolImageMouseDown(Qt::MouseButton button, QPoint pos)
{
    if (button != Qt::LeftButton)
        return;
    dragging_ = true;
    pressPos_ = pos;
}

void TForm1::VolImageMouseUp(Qt::MouseButton, QPoint)
{
    dragging_ = false;
}

// A knob follows the pointer along its track and stops at its ends; the player decides the
// value, and knob and label show what it took.
static int DraggedLeft(const TSkinImage* knob, QPoint pos, QPoint pressPos, int lowest, int highest)
{
    return std::clamp(knob->x() + pos.x() - pressPos.x(), lowest, highest);
}

void TForm1::VolImageMouseMove(QPoint pos)
{
    if (!dragging_)
        return;
    MP3Player1.SetVolume(static_cast<uint32_t>(
        DraggedLeft(VolImage, pos, pressPos_, kVolumeLeft, kVolumeRight) - kVolumeLeft));
    ShowVolumeAndBalance();
}

void TForm1::BalanceImageMouseMove(QPoint pos)
{
    if (!dragging_)
        return;
    MP3Player1.SetVolBalance(DraggedLeft(BalanceImage, pos, pressPos_, kBalanceLeft, kBalanceRight) * 2 -
                             372);
    ShowVolumeAndBalance();
}

void TForm1::ShowVolumeAndBalance()
{
    VolImage->move(kVolumeLeft + static_cast<int>(MP3Player1.Volume()), VolImage->y());
    Label9->SetCaption(QString::number(MP3Player1.Volume()));
    // An odd balance (from the settings file) sits half-way between two pixels: the nearer even.
    BalanceImage->move(static_cast<int>(std::nearbyint(MP3Player1.VolBalance() / 2.0 + 186)),
                       BalanceImage->y());
    Label8->SetCaption(QString::number(MP3Player1.VolBalance()));
    VolImage->SetValue(static_cast<int>(MP3Player1.Volume()), 0, 100);
    BalanceImage->SetValue(MP3Player1.VolBalance(), -100, 100);
    emit VolumeChanged();
}

} // namespace pt4
