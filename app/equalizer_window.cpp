#include "app/equalizer_window.h"

#include "mp3plyr/mp3plyr.h"

#include <array>

namespace pt4 {

int32_t DisplayFrequency(int32_t hz)
{
    if (hz < 20)
        return hz;
    if (hz < 50)
        return (hz + 1) / 2 * 2;
    if (hz < 200)
        return (hz + 5) / 10 * 10;
    if (hz < 500)
        return (hz + 10) / 20 * 20;
    if (hz < 2000)
        return (hz + 50) / 100 * 100;
    if (hz < 5000)
        return (hz + 100) / 200 * 200;
    return (hz + 500) / 1000 * 1000;
}

TForm3::TForm3(TPresetHost& form1, TMP3Player& player) : form1_(form1), player_(player)
{
    setWindowTitle(QStringLiteral("Form3"));
    resize(192, 155);
    static constexpr std::array<int, kBandCount> kLefts = {8, 37, 66, 94, 123, 152};
    for (int index = 0; index < kBandCount; ++index) {
        auto* slider = new QSlider(Qt::Vertical, this);
        slider->setGeometry(kLefts[index], 4, 22, 120);
        slider->setRange(-12, 12);
        slider->setValue(0);
        slider->setPageStep(3);
        slider->setTickInterval(3);
        slider->setTickPosition(QSlider::TicksBothSides);
        // The minimum sits at the top: a position above the middle is a boost.
        slider->setInvertedAppearance(true);
        slider->setProperty("tag", index);
        connect(slider, &QSlider::valueChanged, this, [this, index] { TrackBarChange(index); });
        trackBars_[index] = slider;
    }
    // The main window reaches the sliders from here on, as during this window's creation.
    form1_.SetEqualizerWindow(this);
    FormCreate();
}

void TForm3::FormCreate()
{
    // The flags as the settings file left them: each click leaves only its own preset on.
    std::array<bool, kPresetCount> stored{};
    for (int p = 0; p < kPresetCount; ++p)
        stored[p] = form1_.PresetFlag(static_cast<TPreset>(p));
    for (int p = 0; p < kPresetCount; ++p) {
        const auto preset = static_cast<TPreset>(p);
        if (!stored[p])
            continue;
        form1_.ShowPresetPictures(preset);
        form1_.SelectPreset(preset);
    }
}

void TForm3::TrackBarChange(int index)
{
    QSlider* slider = trackBars_[index];
    const int32_t value = -slider->value() * 5;
    player_.SetEqualizerValue(index, value);
    emit BandValueSent(index, value);
    slider->setToolTip(QStringLiteral("%1Hz:%2")
                           .arg(DisplayFrequency(player_.GetEqualizerFrequency(index)))
                           .arg(-slider->value()));
}

} // namespace pt4
