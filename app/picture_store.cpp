#include "app/picture_store.h"

#include "app/skin_controls.h"

#include <stdexcept>

namespace pt4 {

namespace {

// Image1 ... Image34 in order. Note the preset pairs: FLAT is stored off then on, the five
// others on then off.
const char* const kPictureNames[kStoredPictures] = {
    "button_open_up",      "button_open_pressed",     "button_play_up",       "button_play_pressed",
    "button_pause_up",     "button_pause_pressed",    "button_stop_up",       "button_stop_pressed",
    "button_rewind_up",    "button_rewind_pressed",   "button_forward_up",    "button_forward_pressed",
    "button_previous_up",  "button_previous_pressed", "button_next_up",       "button_next_pressed",
    "preset_flat_off",     "preset_flat_on",          "preset_pop_on",        "preset_pop_off",
    "preset_rock_on",      "preset_rock_off",         "preset_jazz_on",       "preset_jazz_off",
    "preset_classic_on",   "preset_classic_off",      "preset_vocal_on",      "preset_vocal_off",
    "indicator_play_dark", "indicator_play_lit",      "indicator_pause_dark", "indicator_pause_lit",
    "indicator_stop_dark", "indicator_stop_lit",
};

} // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Form2"));
    for (int number = 1; number <= kStoredPictures; ++number)
        pictures_[number - 1] = ArtPicture(PictureResource(number));
}

QString TForm2::PictureResource(int number)
{
    if (number < 1 || number > kStoredPictures)
        throw std::out_of_range("picture store: no picture " + std::to_string(number));
    return QStringLiteral(":/art/%1.png").arg(QLatin1String(kPictureNames[number - 1]));
}

const QPixmap& TForm2::Image(int number) const
{
    if (number < 1 || number > kStoredPictures)
        throw std::out_of_range("picture store: no picture " + std::to_string(number));
    return pictures_[number - 1];
}

} // namespace pt4
