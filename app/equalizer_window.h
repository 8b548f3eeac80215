// The equalizer window: six hidden vertical sliders holding the band settings. Each slider's
// change passes its band value to the player and puts frequency and gain in its hint.
#pragma once

#include "app/presets.h"

#include <QSlider>
#include <QWidget>

#include <array>
#include <cstdint>

namespace pt4 {

class TForm1;
class TMP3Player;

// The band frequency rounded for display (60, 180, 600, 1700, 5000, 16000 for the six bands).
int32_t DisplayFrequency(int32_t hz);

class TForm3 : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate: applies the presets whose flags the main window read from the settings.
    TForm3(TForm1& form1, TMP3Player& player);

    QSlider* TrackBar(int index) const { return trackBars_[index]; } // 0 ... 5

    void FormCreate();
    // The change handler of slider index (TrackBar1Change ... TrackBar6Change).
    void TrackBarChange(int index);

signals:
    // After each band value reached the player.
    void BandValueSent(int index, int value);

private:
    TForm1& form1_;
    TMP3Player& player_;
    std::array<QSlider*, kBandCount> trackBars_{};
};

} // namespace pt4
