// The equalizer window: six hidden vertical sliders holding the band settings. Each slider's
// change passes its band value to the player and puts frequency and gain in its hint.
#pragma once

#include "app/presets.h"

#include <QSlider>
#include <QWidget>

#include <array>
#include <cstdint>

namespace pt4 {

class TForm3;
class TMP3Player;

// What the equalizer window needs of the window that holds the preset buttons: the presets the
// settings turned on, and a preset shown and applied.
class TPresetHost {
public:
    virtual bool PresetFlag(TPreset preset) const = 0;
    virtual void ShowPresetPictures(TPreset preset) = 0;
    virtual void SelectPreset(TPreset preset) = 0;
    // The host reaches the sliders from here on.
    virtual void SetEqualizerWindow(TForm3* form3) = 0;

protected:
    ~TPresetHost() = default;
};

// The band frequency rounded for display (60, 180, 600, 1700, 5000, 16000 for the six bands).
int32_t DisplayFrequency(int32_t hz);

class TForm3 : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate: applies the presets whose flags the main window read from the settings.
    TForm3(TPresetHost& form1, TMP3Player& player);

    QSlider* TrackBar(int index) const { return trackBars_[index]; } // 0 ... 5

    void FormCreate();
    // The change handler of slider index (TrackBar1Change ... TrackBar6Change).
    void TrackBarChange(int index);

signals:
    // After each band value reached the player.
    void BandValueSent(int index, int value);

private:
    TPresetHost& form1_;
    TMP3Player& player_;
    std::array<QSlider*, kBandCount> trackBars_{};
};

} // namespace pt4
