#include "app/main_unit.h"
#include "app/guarded_command.h"

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

    comforts_ = MakeComforts(*this);
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
    comforts_->CancelSleepTimer(); // a fade under way gives the volume back first
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
