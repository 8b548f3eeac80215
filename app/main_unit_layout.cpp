// The skin's layout: every control of the main window with its place, size, picture, caption,
// hint and the handlers of its mouse events, as one table read in order (the order is also the
// stacking and the keyboard's Tab order).
#include "app/main_unit.h"

#include "app/guarded_command.h"
#include "app/picture_store.h"

#include <variant>

namespace pt4 {

namespace {

using TMouseHandler = void (TForm1::*)(Qt::MouseButton, QPoint);
using TMoveHandler = void (TForm1::*)(QPoint);
using TControlField = std::variant<TSkinImage * TForm1::*, TSkinLabel * TForm1::*, TSkinShape * TForm1::*,
                                   TSkinBevel * TForm1::*, TSkinPanel * TForm1::*>;

// Where a control lies: on the window, or in the display panel (Panel1).
enum class TPlace { Window, Display };

struct TControlRow {
    TControlField field;
    TPlace place;
    QRect rect;                // labels of width 0 are as wide as their caption
    int picture = 0;           // its picture by picture store number, or
    const char* art = nullptr; // a picture of the program's art
    const char* caption = nullptr;
    const char* hint = nullptr;
    QColor ink = {};  // the caption's colour
    QColor fill = {}; // panels and bars
    bool transparent = false;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    bool hidden = false;
    TMouseHandler down = nullptr;
    TMouseHandler up = nullptr;
    TMoveHandler move = nullptr;
};

const std::vector<TControlRow>& Controls()
{
    using F = TForm1;
    constexpr auto W = TPlace::Window;
    constexpr auto D = TPlace::Display;
    // One control a row, in the order of creation.
    // clang-format off
    static const std::vector<TControlRow> rows = {
        {.field = &F::hontaiImage, .place = W, .rect = {0, 0, 331, 192}, .art = ":/art/background.png"},
        {.field = &F::OpenImage, .place = W, .rect = {8, 153, 36, 36}, .picture = 1, .hint = "開く",
         .down = &F::OpenImageMouseDown, .up = &F::OpenImageMouseUp},
        {.field = &F::playImage, .place = W, .rect = {48, 153, 36, 36}, .picture = 3, .hint = "再生",
         .down = &F::playImageMouseDown, .up = &F::playImageMouseUp},
        {.field = &F::pauseImage, .place = W, .rect = {88, 153, 36, 36}, .picture = 5, .hint = "一時停止",
         .down = &F::pauseImageMouseDown, .up = &F::pauseImageMouseUp},
        {.field = &F::stopImage, .place = W, .rect = {128, 153, 36, 36}, .picture = 7, .hint = "停止",
         .down = &F::stopImageMouseDown, .up = &F::stopImageMouseUp},
        {.field = &F::back1Image, .place = W, .rect = {168, 153, 36, 36}, .picture = 9, .hint = "巻き戻し",
         .down = &F::back1ImageMouseDown, .up = &F::back1ImageMouseUp},
        {.field = &F::next1Image, .place = W, .rect = {208, 153, 36, 36}, .picture = 11, .hint = "早送り",
         .down = &F::next1ImageMouseDown, .up = &F::next1ImageMouseUp},
        {.field = &F::back2Image, .place = W, .rect = {248, 153, 36, 36}, .picture = 13,
         .hint = "前のトラック", .down = &F::back2ImageMouseDown, .up = &F::back2ImageMouseUp},
        {.field = &F::next2Image, .place = W, .rect = {288, 153, 36, 36}, .picture = 15,
         .hint = "次のトラック", .down = &F::next2ImageMouseDown, .up = &F::next2ImageMouseUp},
        // FLAT on, the others off.
        {.field = &F::FlatImage, .place = W, .rect = {8, 88, 39, 17}, .picture = 18, .hint = "FLAT"},
        {.field = &F::PopImage, .place = W, .rect = {48, 88, 39, 17}, .picture = 20, .hint = "POP"},
        {.field = &F::RockImage, .place = W, .rect = {88, 88, 39, 17}, .picture = 22, .hint = "ROCK"},
        {.field = &F::JazzImage, .place = W, .rect = {128, 88, 39, 17}, .picture = 24, .hint = "JAZZ"},
        {.field = &F::ClassicImage, .place = W, .rect = {168, 88, 39, 17}, .picture = 26,
         .hint = "CLASSIC"},
        {.field = &F::VocalImage, .place = W, .rect = {208, 88, 39, 17}, .picture = 28, .hint = "VOCAL"},
        {.field = &F::Label6, .place = W, .rect = {29, 108, 0, 0}, .caption = "Volume", .ink = clWhite,
         .transparent = true},
        {.field = &F::Label9, .place = W, .rect = {76, 108, 0, 0}, .caption = "0", .ink = clWhite,
         .transparent = true},
        {.field = &F::Shape1, .place = W, .rect = {29, 128, 100, 5}, .fill = Qt::black},
        {.field = &F::VolImage, .place = W, .rect = {16, 123, 25, 15}, .art = ":/art/knob_volume.png",
         .cursor = Qt::SizeHorCursor, .down = &F::VolImageMouseDown, .up = &F::VolImageMouseUp,
         .move = &F::VolImageMouseMove},
        {.field = &F::Label7, .place = W, .rect = {149, 108, 0, 0}, .caption = "Balance", .ink = clWhite,
         .transparent = true},
        {.field = &F::Label8, .place = W, .rect = {200, 108, 0, 0}, .caption = "0", .ink = clWhite,
         .transparent = true},
        {.field = &F::Shape2, .place = W, .rect = {149, 128, 100, 5}, .fill = Qt::black},
        {.field = &F::BalanceImage, .place = W, .rect = {186, 123, 25, 15},
         .art = ":/art/knob_balance.png", .cursor = Qt::SizeHorCursor, .down = &F::VolImageMouseDown,
         .up = &F::VolImageMouseUp, .move = &F::BalanceImageMouseMove},
        {.field = &F::Panel1, .place = W, .rect = {9, 8, 313, 73}, .fill = Qt::black},
        // The display; the grey and green copies are shadows two pixels lower right.
        {.field = &F::Label1, .place = D, .rect = {10, 10, 0, 0}, .caption = "Song", .ink = clGray},
        {.field = &F::Label3, .place = D, .rect = {8, 8, 0, 0}, .caption = "Song", .ink = clWhite,
         .transparent = true},
        {.field = &F::Label2, .place = D, .rect = {10, 34, 0, 0}, .caption = "Artist", .ink = clGray},
        {.field = &F::Label4, .place = D, .rect = {8, 32, 0, 0}, .caption = "Artist", .ink = clWhite,
         .transparent = true},
        {.field = &F::Bevel1, .place = D, .rect = {8, 24, 297, 2}},
        {.field = &F::Bevel2, .place = D, .rect = {8, 48, 297, 2}},
        {.field = &F::SongLabel2, .place = D, .rect = {50, 10, 257, 12}, .ink = clGreen},
        {.field = &F::SongLabel1, .place = D, .rect = {48, 8, 257, 12}, .ink = clLime,
         .transparent = true},
        {.field = &F::ArtistLabel2, .place = D, .rect = {50, 34, 257, 12}, .ink = clGreen},
        {.field = &F::ArtistLabel1, .place = D, .rect = {48, 32, 257, 12}, .ink = clLime,
         .transparent = true},
        {.field = &F::Status1Image, .place = D, .rect = {16, 53, 16, 16}, .picture = 29},
        {.field = &F::Status2Image, .place = D, .rect = {40, 53, 16, 16}, .picture = 31},
        {.field = &F::Status3Image, .place = D, .rect = {64, 53, 16, 16}, .picture = 34},
        {.field = &F::TimeLabel, .place = D, .rect = {96, 56, 0, 0}, .caption = "00:00", .ink = clWhite},
        {.field = &F::Label5, .place = D, .rect = {128, 56, 0, 0}, .caption = "／", .ink = clWhite},
        {.field = &F::EndTimeLabel, .place = D, .rect = {146, 56, 0, 0}, .caption = "00:00",
         .ink = clWhite},
        {.field = &F::RepeatLabel, .place = D, .rect = {216, 56, 0, 0}, .caption = "Repeat",
         .ink = clOlive},
        {.field = &F::AlbumLabel, .place = D, .rect = {264, 56, 0, 0}, .caption = "Album",
         .ink = clOlive},
        // The About view over the display; the picture is read when it is first shown.
        {.field = &F::Image1, .place = D, .rect = {1, 1, 310, 70}, .hidden = true},
        {.field = &F::MailLabel, .place = D, .rect = {88, 36, 217, 15}, .ink = QColor(150, 205, 255),
         .transparent = true, .cursor = Qt::PointingHandCursor, .hidden = true},
        {.field = &F::tenmetuLabel, .place = D, .rect = {72, 39, 0, 0}, .ink = clRed,
         .transparent = true, .hidden = true},
        {.field = &F::AboutPanel, .place = W, .rect = {272, 87, 43, 17}, .caption = "About",
         .hint = "バージョン情報", .ink = clWhite, .fill = kPanelColor, .cursor = Qt::PointingHandCursor,
         .down = &F::AboutPanelMouseDown, .up = &F::AboutPanelMouseUp},
        {.field = &F::AlbumPanel, .place = W, .rect = {272, 105, 43, 17}, .caption = "Album",
         .hint = "連続再生", .ink = clWhite, .fill = kPanelColor, .cursor = Qt::PointingHandCursor,
         .down = &F::AlbumPanelMouseDown, .up = &F::AlbumPanelMouseUp},
        {.field = &F::RepeatPanel, .place = W, .rect = {272, 123, 43, 17}, .caption = "Repeat",
         .hint = "リピート", .ink = clWhite, .fill = kPanelColor, .cursor = Qt::PointingHandCursor,
         .down = &F::RepeatPanelMouseDown, .up = &F::RepeatPanelMouseUp},
    };
    // clang-format on
    return rows;
}

} // namespace

void TForm1::CreateLayout()
{
    const auto connectMouse = [this](TSkinControl* control, const TControlRow& row) {
        if (row.down != nullptr)
            connect(control, &TSkinControl::MouseDown, this,
                    [this, handler = row.down](Qt::MouseButton b, QPoint p) {
                        RunGuarded([&] { (this->*handler)(b, p); });
                    });
        if (row.up != nullptr)
            connect(control, &TSkinControl::MouseUp, this,
                    [this, handler = row.up](Qt::MouseButton b, QPoint p) {
                        RunGuarded([&] { (this->*handler)(b, p); });
                    });
        if (row.move != nullptr)
            connect(control, &TSkinControl::MouseMove, this,
                    [this, handler = row.move](QPoint p) { RunGuarded([&] { (this->*handler)(p); }); });
    };
    for (const TControlRow& row : Controls()) {
        QWidget* parent = row.place == TPlace::Display ? static_cast<QWidget*>(Panel1) : this;
        const QRect& r = row.rect;
        const QString caption = QString::fromUtf8(row.caption);
        QWidget* control = nullptr;
        if (auto field = std::get_if<TSkinImage * TForm1::*>(&row.field)) {
            auto* image = new TSkinImage(parent, r.x(), r.y(), r.width(), r.height());
            if (row.picture != 0 || row.art != nullptr)
                image->SetPicture(ArtPicture(row.art != nullptr ? QString::fromLatin1(row.art)
                                                                : TForm2::PictureResource(row.picture)));
            control = this->*(*field) = image;
        } else if (auto field = std::get_if<TSkinLabel * TForm1::*>(&row.field)) {
            const bool autoSize = r.width() == 0;
            auto* label = new TSkinLabel(parent, r.x(), r.y(), caption, row.ink, row.transparent, autoSize);
            if (!autoSize)
                label->resize(r.size());
            control = this->*(*field) = label;
        } else if (auto field = std::get_if<TSkinShape * TForm1::*>(&row.field)) {
            control = this->*(*field) = new TSkinShape(parent, r.x(), r.y(), r.width(), r.height(), row.fill);
        } else if (auto field = std::get_if<TSkinBevel * TForm1::*>(&row.field)) {
            control = this->*(*field) = new TSkinBevel(parent, r.x(), r.y(), r.width(), r.height());
        } else if (auto field = std::get_if<TSkinPanel * TForm1::*>(&row.field)) {
            auto* panel = new TSkinPanel(parent, r.x(), r.y(), r.width(), r.height(), row.fill);
            if (!caption.isEmpty()) {
                panel->SetCaption(caption);
                panel->SetFontColor(row.ink);
            }
            control = this->*(*field) = panel;
        }
        if (row.hint != nullptr)
            control->setToolTip(QString::fromUtf8(row.hint));
        if (row.cursor != Qt::ArrowCursor)
            control->setCursor(row.cursor);
        if (row.hidden)
            control->hide();
        if (auto* skin = qobject_cast<TSkinControl*>(control))
            connectMouse(skin, row);
    }
    Panel1->SetBevelOuter(TBevelCut::bvNone);
    Panel1->SetBevelInner(TBevelCut::bvLowered);
    TimeLabel->SetRightLimit(Label5->x()); // times of 100 minutes and more grow to the left
    MailLabel->SetCaption(ContactAddress());
    MailLabel->setToolTip(QStringLiteral("mailto:") + ContactAddress());
    // Hidden first: the bold face loads when the About view first shows.
    QFont bold = font();
    bold.setBold(true);
    tenmetuLabel->setFont(bold);
    tenmetuLabel->SetCaption(QStringLiteral("⇒"));

    // Playlists open too, as albums.
    OpenDialog1.Filter = QStringLiteral("MP3ファイル（*.MP3）|*.MP3*;*.M3U;*.M3U8;*.PLS");

    connect(stopImage, &TSkinImage::Click, this, [this] { RunGuarded([this] { stopImageClick(); }); });
    for (int p = 0; p < kPresetCount; ++p)
        connect(PresetImage(static_cast<TPreset>(p)), &TSkinImage::Click, this,
                [this, p] { RunGuarded([&] { PresetImageClick(static_cast<TPreset>(p)); }); });
    connect(MailLabel, &TSkinLabel::Click, this, [this] { RunGuarded([this] { MailLabelClick(); }); });
}

} // namespace pt4
