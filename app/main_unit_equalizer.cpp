// Preset buttons, and the volume and balance knobs.
#include "app/main_unit.h"

#include "app/unit2.h"
#include "app/unit3.h"

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
        PresetImage(static_cast<TPreset>(p))
            ->SetPicture(StoredPicture(p == static_cast<int>(preset) ? info.onImage : info.offImage));
    }
}

void TForm1::PresetImageClick(TPreset preset)
{
    const size_t chosen = static_cast<size_t>(preset);
    if (!presetFlags_[chosen]) {
        presetFlags_.fill(false);
        presetFlags_[chosen] = true;
        ShowPresetPictures(preset);
    }
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

// A knob follows the pointer while its left edge is on the track; one move may carry it past
// an end, and the next move then snaps it to that end and ends the drag.
static void MoveKnob(TSkinImage* knob, QPoint pos, QPoint pressPos, bool& dragging, int lowest, int highest,
                     int snapLow, int snapHigh)
{
    const int left = knob->x();
    if (left >= lowest && left <= highest) {
        knob->move(left + pos.x() - pressPos.x(), knob->y());
    } else if (left <= snapLow) {
        dragging = false;
        knob->move(lowest, knob->y());
    } else if (left >= snapHigh) {
        dragging = false;
        knob->move(highest, knob->y());
    }
}

void TForm1::VolImageMouseMove(QPoint pos)
{
    if (!dragging_)
        return;
    MoveKnob(VolImage, pos, pressPos_, dragging_, kVolumeLeft, kVolumeRight, 26, 110);
    // Outside 0 ... 100 the player keeps its volume: an overshooting knob changes nothing yet.
    MP3Player1.SetVolume(static_cast<uint32_t>(VolImage->x() - kVolumeLeft));
    Label9->SetCaption(QString::number(MP3Player1.Volume()));
}

void TForm1::BalanceImageMouseMove(QPoint pos)
{
    if (!dragging_)
        return;
    MoveKnob(BalanceImage, pos, pressPos_, dragging_, kBalanceLeft, kBalanceRight, 150, 220);
    MP3Player1.SetVolBalance(BalanceImage->x() * 2 - 372);
    Label8->SetCaption(QString::number(MP3Player1.VolBalance()));
}

} // namespace pt4
