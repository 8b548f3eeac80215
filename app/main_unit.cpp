#include "app/main_unit.h"
#include "app/guarded_command.h"

#include "app/comforts.h"

#include "app/equalizer_window.h"
#include "app/picture_store.h"
#include "app/settings_file.h"
#include "app/window_place.h"
#include "mp3plyr/runtime/message_window.h"

#include <QCursor>
#include <QEvent>
#include <QIcon>

#include <cmath>

#ifndef PT4_CONTACT_MAIL
#define PT4_CONTACT_MAIL "plumtone4@example.org"
#endif

namespace pt4 {

namespace {

// Up pictures of the layout, by picture store number.
QPixmap LayoutPicture(int number)
{
    return ArtPicture(TForm2::PictureResource(number));
}

QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic"),
                      QStringLiteral("TakaoPGothic"), QStringLiteral("Noto Sans JP")});
    font.setPixelSize(12);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace

template <class Handler> void TForm1::Run(Handler&& handler)
{
    RunGuarded(std::forward<Handler>(handler));
}

TForm1::TForm1(QString settingsFile)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      settingsFile_(std::move(settingsFile))
{
    setWindowTitle(QStringLiteral("Plumtone4"));
    setWindowIcon(QIcon(ArtPicture(QStringLiteral(":/art/icon.png"))));
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    move(192, 107);
    setAcceptDrops(true);

    CreateLayout();
    CreatePlayer();
    CreateTimers();
    CreateAlbum();
    CreateKeyboardAccess();
    AnimateForm1 = std::make_unique<TAnimateForm>(this);
    connect(AnimateForm1.get(), &TAnimateForm::MinimizedChanged, this,
            [this] { Run([this] { FollowTitleTimer(); }); });

    MP3Player1.Loaded();
    for (TMMTimer* timer : {&MMTimer1, &MMTimer2, &MMTimer3, &MMTimer4})
        timer->Loaded();

    comforts_ = std::make_unique<TComforts>(*this);
    FormCreate();
}

TForm1::~TForm1()
{
    FormDestroy();
    // No timer or player message may reach a window that is going away.
    for (TMMTimer* timer : {&MMTimer1, &MMTimer2, &MMTimer3, &MMTimer4})
        timer->SetEnabled(false);
    MP3Player1.MessageWindow().SetNotifier({});
}

void TForm1::CreateLayout()
{
    hontaiImage = new TSkinImage(this, 0, 0, 331, 192);
    hontaiImage->SetPicture(ArtPicture(QStringLiteral(":/art/background.png")));

    auto button = [this](int left, int top, int upPicture, const QString& hint) {
        auto* image = new TSkinImage(this, left, top, 36, 36);
        image->SetPicture(LayoutPicture(upPicture));
        image->setToolTip(hint);
        return image;
    };
    OpenImage = button(8, 153, 1, QStringLiteral("開く"));
    playImage = button(48, 153, 3, QStringLiteral("再生"));
    pauseImage = button(88, 153, 5, QStringLiteral("一時停止"));
    stopImage = button(128, 153, 7, QStringLiteral("停止"));
    back1Image = button(168, 153, 9, QStringLiteral("巻き戻し"));
    next1Image = button(208, 153, 11, QStringLiteral("早送り"));
    back2Image = button(248, 153, 13, QStringLiteral("前のトラック"));
    next2Image = button(288, 153, 15, QStringLiteral("次のトラック"));

    std::array<TSkinImage**, kPresetCount> presetImages = {&FlatImage, &PopImage,     &RockImage,
                                                           &JazzImage, &ClassicImage, &VocalImage};
    for (int p = 0; p < kPresetCount; ++p) {
        const TPresetInfo& info = kPresets[p];
        auto* image = new TSkinImage(this, 8 + 40 * p, 88, 39, 17);
        image->SetPicture(LayoutPicture(p == 0 ? info.onImage : info.offImage));
        image->setToolTip(QString::fromLatin1(info.caption));
        *presetImages[p] = image;
    }

    Label6 = new TSkinLabel(this, 29, 108, QStringLiteral("Volume"), clWhite, true);
    Label9 = new TSkinLabel(this, 76, 108, QStringLiteral("0"), clWhite, true);
    Shape1 = new TSkinShape(this, 29, 128, 100, 5, Qt::black);
    VolImage = new TSkinImage(this, 16, 123, 25, 15);
    VolImage->SetPicture(ArtPicture(QStringLiteral(":/art/knob_volume.png")));
    VolImage->setCursor(Qt::SizeHorCursor);
    Label7 = new TSkinLabel(this, 149, 108, QStringLiteral("Balance"), clWhite, true);
    Label8 = new TSkinLabel(this, 200, 108, QStringLiteral("0"), clWhite, true);
    Shape2 = new TSkinShape(this, 149, 128, 100, 5, Qt::black);
    BalanceImage = new TSkinImage(this, 186, 123, 25, 15);
    BalanceImage->SetPicture(ArtPicture(QStringLiteral(":/art/knob_balance.png")));
    BalanceImage->setCursor(Qt::SizeHorCursor);

    Panel1 = new TSkinPanel(this, 9, 8, 313, 73, Qt::black);
    Panel1->SetBevelOuter(TBevelCut::bvNone);
    Panel1->SetBevelInner(TBevelCut::bvLowered);
    Label1 = new TSkinLabel(Panel1, 10, 10, QStringLiteral("Song"), clGray, false);
    Label3 = new TSkinLabel(Panel1, 8, 8, QStringLiteral("Song"), clWhite, true);
    Label2 = new TSkinLabel(Panel1, 10, 34, QStringLiteral("Artist"), clGray, false);
    Label4 = new TSkinLabel(Panel1, 8, 32, QStringLiteral("Artist"), clWhite, true);
    Bevel1 = new TSkinBevel(Panel1, 8, 24, 297, 2);
    Bevel2 = new TSkinBevel(Panel1, 8, 48, 297, 2);
    auto fixedLabel = [this](int left, int top, QColor color, bool transparent) {
        auto* label = new TSkinLabel(Panel1, left, top, QString(), color, transparent, false);
        label->resize(257, 12);
        return label;
    };
    SongLabel2 = fixedLabel(50, 10, clGreen, false);
    SongLabel1 = fixedLabel(48, 8, clLime, true);
    ArtistLabel2 = fixedLabel(50, 34, clGreen, false);
    ArtistLabel1 = fixedLabel(48, 32, clLime, true);
    auto indicator = [this](int left, int number) {
        auto* image = new TSkinImage(Panel1, left, 53, 16, 16);
        image->SetPicture(LayoutPicture(number));
        return image;
    };
    Status1Image = indicator(16, 29);
    Status2Image = indicator(40, 31);
    Status3Image = indicator(64, 34);
    TimeLabel = new TSkinLabel(Panel1, 96, 56, QStringLiteral("00:00"), clWhite, false);
    Label5 = new TSkinLabel(Panel1, 128, 56, QStringLiteral("／"), clWhite, false);
    TimeLabel->SetRightLimit(Label5->x()); // times of 100 minutes and more grow to the left
    EndTimeLabel = new TSkinLabel(Panel1, 146, 56, QStringLiteral("00:00"), clWhite, false);
    RepeatLabel = new TSkinLabel(Panel1, 216, 56, QStringLiteral("Repeat"), clOlive, false);
    AlbumLabel = new TSkinLabel(Panel1, 264, 56, QStringLiteral("Album"), clOlive, false);
    Image1 = new TSkinImage(Panel1, 1, 1, 310, 70); // its picture is read when first shown
    Image1->hide();
    MailLabel = new TSkinLabel(Panel1, 88, 36, ContactAddress(), QColor(150, 205, 255), true, false);
    MailLabel->resize(217, 15);
    MailLabel->setCursor(Qt::PointingHandCursor);
    MailLabel->setToolTip(QStringLiteral("mailto:") + ContactAddress());
    MailLabel->hide();
    tenmetuLabel = new TSkinLabel(Panel1, 72, 39, QString(), clRed, true);
    tenmetuLabel->hide(); // first: the bold face loads when the About view first shows
    QFont bold = font();
    bold.setBold(true);
    tenmetuLabel->setFont(bold);
    tenmetuLabel->SetCaption(QStringLiteral("⇒"));

    auto panel = [this](int top, const QString& caption, const QString& hint) {
        auto* p = new TSkinPanel(this, 272, top, 43, 17, kPanelColor);
        p->SetCaption(caption);
        p->SetFontColor(clWhite);
        p->setToolTip(hint);
        p->setCursor(Qt::PointingHandCursor);
        return p;
    };
    AboutPanel = panel(87, QStringLiteral("About"), QStringLiteral("バージョン情報"));
    AlbumPanel = panel(105, QStringLiteral("Album"), QStringLiteral("連続再生"));
    RepeatPanel = panel(123, QStringLiteral("Repeat"), QStringLiteral("リピート"));

    // Playlists open too, as albums.
    OpenDialog1.Filter = QStringLiteral("MP3ファイル（*.MP3）|*.MP3*;*.M3U;*.M3U8;*.PLS");

    // Events of the layout.
    auto onDown = [this](TSkinImage* image, void (TForm1::*handler)(Qt::MouseButton, QPoint)) {
        connect(image, &TSkinImage::MouseDown, this,
                [this, handler](Qt::MouseButton b, QPoint p) { Run([&] { (this->*handler)(b, p); }); });
    };
    auto onUp = [this](TSkinImage* image, void (TForm1::*handler)(Qt::MouseButton, QPoint)) {
        connect(image, &TSkinImage::MouseUp, this,
                [this, handler](Qt::MouseButton b, QPoint p) { Run([&] { (this->*handler)(b, p); }); });
    };
    onDown(OpenImage, &TForm1::OpenImageMouseDown);
    onUp(OpenImage, &TForm1::OpenImageMouseUp);
    onDown(playImage, &TForm1::playImageMouseDown);
    onUp(playImage, &TForm1::playImageMouseUp);
    onDown(pauseImage, &TForm1::pauseImageMouseDown);
    onUp(pauseImage, &TForm1::pauseImageMouseUp);
    onDown(stopImage, &TForm1::stopImageMouseDown);
    onUp(stopImage, &TForm1::stopImageMouseUp);
    connect(stopImage, &TSkinImage::Click, this, [this] { Run([this] { stopImageClick(); }); });
    onDown(back1Image, &TForm1::back1ImageMouseDown);
    onUp(back1Image, &TForm1::back1ImageMouseUp);
    onDown(next1Image, &TForm1::next1ImageMouseDown);
    onUp(next1Image, &TForm1::next1ImageMouseUp);
    onDown(back2Image, &TForm1::back2ImageMouseDown);
    onUp(back2Image, &TForm1::back2ImageMouseUp);
    onDown(next2Image, &TForm1::next2ImageMouseDown);
    onUp(next2Image, &TForm1::next2ImageMouseUp);
    for (int p = 0; p < kPresetCount; ++p) {
        connect(PresetImage(static_cast<TPreset>(p)), &TSkinImage::Click, this,
                [this, p] { Run([&] { PresetImageClick(static_cast<TPreset>(p)); }); });
    }
    onDown(VolImage, &TForm1::VolImageMouseDown);
    onUp(VolImage, &TForm1::VolImageMouseUp);
    onDown(BalanceImage, &TForm1::VolImageMouseDown);
    onUp(BalanceImage, &TForm1::VolImageMouseUp);
    connect(VolImage, &TSkinImage::MouseMove, this, [this](QPoint p) { Run([&] { VolImageMouseMove(p); }); });
    connect(BalanceImage, &TSkinImage::MouseMove, this,
            [this](QPoint p) { Run([&] { BalanceImageMouseMove(p); }); });
    auto onPanel = [this](TSkinPanel* panel, void (TForm1::*down)(Qt::MouseButton, QPoint),
                          void (TForm1::*up)(Qt::MouseButton, QPoint)) {
        connect(panel, &TSkinPanel::MouseDown, this,
                [this, down](Qt::MouseButton b, QPoint p) { Run([&] { (this->*down)(b, p); }); });
        connect(panel, &TSkinPanel::MouseUp, this,
                [this, up](Qt::MouseButton b, QPoint p) { Run([&] { (this->*up)(b, p); }); });
    };
    onPanel(AboutPanel, &TForm1::AboutPanelMouseDown, &TForm1::AboutPanelMouseUp);
    onPanel(AlbumPanel, &TForm1::AlbumPanelMouseDown, &TForm1::AlbumPanelMouseUp);
    onPanel(RepeatPanel, &TForm1::RepeatPanelMouseDown, &TForm1::RepeatPanelMouseUp);
    connect(MailLabel, &TSkinLabel::Click, this, [this] { Run([this] { MailLabelClick(); }); });
}

void TForm1::CreatePlayer()
{
    // Every player event runs on this thread: a post from any thread queues one drain of the
    // player's message window on the window's event loop.
    MP3Player1.MessageWindow().SetNotifier([this] {
        QMetaObject::invokeMethod(
            this, [this] { Run([this] { MP3Player1.MessageWindow().DispatchMessages(); }); },
            Qt::QueuedConnection);
    });
    MP3Player1.BeginLoading();
    MP3Player1.SetAutoOpen(true);
    MP3Player1.SetAutoPlay(false);
    MP3Player1.SetChangePosStep(400);
    MP3Player1.SetEqualizerEnabled(true);
    MP3Player1.SetEqualizerCount(6);
    MP3Player1.SetEqualizerMode(TMP3EqualizerMode::memFreq);
    MP3Player1.SetUsingCpuCapabilities(mccAll);
    MP3Player1.SetVolBalance(0);
    MP3Player1.SetVolume(10);
    // The album sequence holds the player's status, next-file and end-of-play events; the
    // window shows what they leave.
    Album.OnStatus = [this] {
        Run([this] { TellPlayerError(); });
        Run([this] { MP3Player1ChangeStatus(); });
        Run([this] { FollowTitleTimer(); });
        emit PlayerStatusChanged();
    };
    MP3Player1.OnChangePosition = [this](TMP3Player&) { Run([this] { MP3Player1ChangePosition(); }); };
    Album.OnEndPlay = [this](TMP3EndPlayReason, bool acted) {
        Run([this] { TellPlayerError(); });
        Run([this, acted] { MP3Player1EndPlay(acted); });
    };
}

void TForm1::CreateTimers()
{
    // The timers tick on threads of their own; each tick is handed to the window thread.
    auto wire = [this](TMMTimer& timer, bool enabled, uint32_t interval, void (TForm1::*handler)()) {
        timer.SetEnabled(enabled);
        timer.SetInterval(interval);
        timer.OnTimer = [this, handler](TMMTimer&) {
            QMetaObject::invokeMethod(
                this, [this, handler] { Run([&] { (this->*handler)(); }); }, Qt::QueuedConnection);
        };
    };
    wire(MMTimer1, false, 100, &TForm1::MMTimer1Timer);
    wire(MMTimer2, false, 1000, &TForm1::MMTimer2Timer);
    // Enabled while minimised and playing (FollowTitleTimer): otherwise the title stays as it is.
    wire(MMTimer3, false, 100, &TForm1::MMTimer3Timer);
    wire(MMTimer4, false, 500, &TForm1::MMTimer4Timer);
}

void TForm1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Run([this] { FollowTitleTimer(); });
}

void TForm1::SetPictureStore(TForm2* form2)
{
    form2_ = form2;
}

void TForm1::SetEqualizerWindow(TForm3* form3)
{
    form3_ = form3;
}

const QPixmap& TForm1::StoredPicture(int number) const
{
    if (!form2_)
        throw std::logic_error("the picture store does not exist yet");
    return form2_->Image(number);
}

TSkinImage* TForm1::PresetImage(TPreset preset) const
{
    const std::array<TSkinImage*, kPresetCount> images = {FlatImage, PopImage,     RockImage,
                                                          JazzImage, ClassicImage, VocalImage};
    return images[static_cast<size_t>(preset)];
}

QString TForm1::ContactAddress()
{
    return QStringLiteral(PT4_CONTACT_MAIL);
}

void TForm1::FormCreate()
{
    aboutArrowPhase_ = false;
    for (TSkinLabel* label : {SongLabel1, SongLabel2, ArtistLabel1, ArtistLabel2})
        label->SetCaption(QString());
    dragging_ = false;
    timeFormat_ = QStringLiteral("nn:ss");
    rewindHeld_ = forwardHeld_ = false;
    blinkPlay_ = blinkPause_ = blinkPhase_ = false;
    presetFlags_ = {true, false, false, false, false, false};

    const TIniFile ini(settingsFile_);
    MP3Player1.SetVolume(static_cast<uint32_t>(ini.ReadInteger(QStringLiteral("Vol"), QStringLiteral("Vol"),
                                                               static_cast<int32_t>(MP3Player1.Volume()))));
    MP3Player1.SetVolBalance(
        ini.ReadInteger(QStringLiteral("Bal"), QStringLiteral("Bal"), MP3Player1.VolBalance()));
    for (int p = 0; p < kPresetCount; ++p)
        presetFlags_[p] =
            ini.ReadBool(QStringLiteral("Option"), QLatin1String(kPresets[p].settingsKey), presetFlags_[p]);
    RestoreWindowPlace(*this, ini);
    // Loudness normalisation: mode 0 off, 1 track, 2 album, 3 auto; pre-amplification in tenths
    // of a dB. Out-of-range values leave the player's (off, 0 dB).
    const int32_t gainMode = ini.ReadInteger(QStringLiteral("ReplayGain"), QStringLiteral("Mode"), 0);
    if (gainMode >= 0 && gainMode <= 3)
        MP3Player1.SetReplayGainMode(static_cast<TReplayGainMode>(gainMode));
    MP3Player1.SetReplayGainPreamp(
        ini.ReadInteger(QStringLiteral("ReplayGain"), QStringLiteral("Preamp"), 0) / 10.0);
    LoadTextEncoding(ini);

    comforts_->Restore(ini);

    ShowVolumeAndBalance();
}

void TForm1::FormDestroy()
{
    TIniFile ini(settingsFile_);
    comforts_->SleepTimer().Cancel(); // a fade under way gives the volume back first
    ini.WriteInteger(QStringLiteral("Vol"), QStringLiteral("Vol"), static_cast<int32_t>(MP3Player1.Volume()));
    ini.WriteInteger(QStringLiteral("Bal"), QStringLiteral("Bal"), MP3Player1.VolBalance());
    for (int p = 0; p < kPresetCount; ++p)
        ini.WriteBool(QStringLiteral("Option"), QLatin1String(kPresets[p].settingsKey), presetFlags_[p]);
    SaveWindowPlace(*this, ini);
    // The loudness keys join the file once they leave their defaults, and stay from then on.
    const bool gainStored = ini.ReadInteger(QStringLiteral("ReplayGain"), QStringLiteral("Mode"), -1) != -1;
    if (gainStored || MP3Player1.ReplayGainMode() != TReplayGainMode::Off ||
        MP3Player1.ReplayGainPreamp() != 0) {
        ini.WriteInteger(QStringLiteral("ReplayGain"), QStringLiteral("Mode"),
                         static_cast<int32_t>(MP3Player1.ReplayGainMode()));
        ini.WriteInteger(QStringLiteral("ReplayGain"), QStringLiteral("Preamp"),
                         static_cast<int32_t>(std::lround(MP3Player1.ReplayGainPreamp() * 10)));
    }
    SaveTextEncoding(ini);
    comforts_->Save(ini);
    if (!ini.UpdateFile())
        qWarning("Plumtone4: could not write the settings to %s", qPrintable(settingsFile_));
}

} // namespace pt4
