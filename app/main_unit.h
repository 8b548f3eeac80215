// The main window: the fixed, skinned player window with its transport buttons, display,
// presets, knobs and panels. It owns the player and the four timers.
#pragma once

#include "app/equalizer_window.h"
#include "app/location_dialog.h"
#include "app/open_dialog.h"
#include "app/presets.h"
#include "app/skin_controls.h"
#include "app/window_comforts.h"
#include "components/animate_form.h"
#include "components/mmtimer.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/player/album_sequence.h"
#include "mp3plyr/player/location_opener.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace pt4 {

class TForm2;
class TAlbumForm;
class TIniFile;
class TComforts;

inline constexpr int kClientWidth = 331;
inline constexpr int kClientHeight = 192;

// Colours of the layout.
inline const QColor clWhite(255, 255, 255);
inline const QColor clGray(128, 128, 128);
inline const QColor clGreen(0, 128, 0);
inline const QColor clLime(0, 255, 0);
inline const QColor clOlive(128, 128, 0);
inline const QColor clYellow(255, 255, 0);
inline const QColor clRed(255, 0, 0);
inline const QColor kPanelColor(30, 30, 30);

class TForm1 : public QWidget, public TPresetHost {
    Q_OBJECT
public:
    // Loads the layout, creates the player, the timers and the animation, then runs FormCreate,
    // which reads the settings file.
    explicit TForm1(QString settingsFile);
    ~TForm1() override;

    // The windows created after this one.
    void SetPictureStore(TForm2* form2);
    void SetEqualizerWindow(TForm3* form3) override;
    TForm3* EqualizerWindow() const { return form3_; }
    // The folder dialog is made by `maker` when it is first needed (the Album panel), so that
    // nothing of it is built or read at start.
    void SetAlbumFormMaker(std::function<TAlbumForm*()> maker);
    TAlbumForm* AlbumForm();

    const QString& SettingsFile() const { return settingsFile_; }

    // --- layout -------------------------------------------------------------------------------
    TSkinImage* hontaiImage;
    TSkinImage *OpenImage, *playImage, *pauseImage, *stopImage;
    TSkinImage *back1Image, *next1Image, *back2Image, *next2Image;
    TSkinImage *FlatImage, *PopImage, *RockImage, *JazzImage, *ClassicImage, *VocalImage;
    TSkinLabel *Label6, *Label9;
    TSkinShape* Shape1;
    TSkinImage* VolImage;
    TSkinLabel *Label7, *Label8;
    TSkinShape* Shape2;
    TSkinImage* BalanceImage;
    TSkinPanel* Panel1;
    TSkinLabel *Label1, *Label3, *Label2, *Label4;
    TSkinBevel *Bevel1, *Bevel2;
    TSkinLabel *SongLabel2, *SongLabel1, *ArtistLabel2, *ArtistLabel1;
    TSkinImage *Status1Image, *Status2Image, *Status3Image;
    TSkinLabel *TimeLabel, *Label5, *EndTimeLabel;
    TSkinLabel *RepeatLabel, *AlbumLabel;
    TSkinImage* Image1;
    TSkinLabel* MailLabel;
    TSkinLabel* tenmetuLabel;
    TSkinPanel *AboutPanel, *AlbumPanel, *RepeatPanel;

    TMP3Player MP3Player1;
    // Continuous play and repeat; the Album and Repeat labels show its state.
    TAlbumSequence Album{MP3Player1};
    TOpenDialog OpenDialog1;
    // Asks for a location (a URL or a file path) to open and play (Ctrl+L, the window's menu).
    TLocationDialog LocationDialog1;
    TMMTimer MMTimer1, MMTimer2, MMTimer3, MMTimer4;
    std::unique_ptr<TAnimateForm> AnimateForm1;

    // --- state --------------------------------------------------------------------------------
    bool PresetFlag(TPreset preset) const override { return presetFlags_[static_cast<size_t>(preset)]; }
    bool Dragging() const { return dragging_; }
    bool RewindHeld() const { return rewindHeld_; }
    bool ForwardHeld() const { return forwardHeld_; }
    bool BlinkPlay() const { return blinkPlay_; }
    bool BlinkPause() const { return blinkPause_; }
    bool BlinkPhase() const { return blinkPhase_; }
    bool AboutArrowPhase() const { return aboutArrowPhase_; }

    // --- events -------------------------------------------------------------------------------
    void FormCreate();
    void FormDestroy();

    void OpenImageMouseDown(Qt::MouseButton button, QPoint pos);
    void OpenImageMouseUp(Qt::MouseButton button, QPoint pos);
    // What the Open button does once a file is chosen (also the file named on the command line).
    void OpenChosenFile(const QString& fileName);
    void playImageMouseDown(Qt::MouseButton button, QPoint pos);
    void playImageMouseUp(Qt::MouseButton button, QPoint pos);
    void pauseImageMouseDown(Qt::MouseButton button, QPoint pos);
    void pauseImageMouseUp(Qt::MouseButton button, QPoint pos);
    void stopImageMouseDown(Qt::MouseButton button, QPoint pos);
    void stopImageMouseUp(Qt::MouseButton button, QPoint pos);
    void stopImageClick();
    void back1ImageMouseDown(Qt::MouseButton button, QPoint pos);
    void back1ImageMouseUp(Qt::MouseButton button, QPoint pos);
    void next1ImageMouseDown(Qt::MouseButton button, QPoint pos);
    void next1ImageMouseUp(Qt::MouseButton button, QPoint pos);
    void back2ImageMouseDown(Qt::MouseButton button, QPoint pos);
    void back2ImageMouseUp(Qt::MouseButton button, QPoint pos);
    void next2ImageMouseDown(Qt::MouseButton button, QPoint pos);
    void next2ImageMouseUp(Qt::MouseButton button, QPoint pos);

    void MP3Player1ChangeStatus();
    void MP3Player1ChangePosition();
    // After the album sequence handled an end of play (`acted`: it was not the notice of a
    // playback the sequence replaced itself).
    void MP3Player1EndPlay(bool acted);

    // Run on the window thread, one call per period of their timer.
    void MMTimer1Timer();
    void MMTimer2Timer();
    void MMTimer3Timer();
    void MMTimer4Timer();

    void AboutPanelMouseDown(Qt::MouseButton button, QPoint pos);
    void AboutPanelMouseUp(Qt::MouseButton button, QPoint pos);
    void MailLabelClick();
    void AlbumPanelMouseDown(Qt::MouseButton button, QPoint pos);
    void AlbumPanelMouseUp(Qt::MouseButton button, QPoint pos);
    void RepeatPanelMouseDown(Qt::MouseButton button, QPoint pos);
    void RepeatPanelMouseUp(Qt::MouseButton button, QPoint pos);

    // FlatImageClick ... VocalImageClick.
    void PresetImageClick(TPreset preset);
    // The preset's button shows its on picture, the five others their off pictures.
    void ShowPresetPictures(TPreset preset) override;
    void VolImageMouseDown(Qt::MouseButton button, QPoint pos); // both knobs
    void VolImageMouseMove(QPoint pos);
    void BalanceImageMouseMove(QPoint pos);
    void VolImageMouseUp(Qt::MouseButton button, QPoint pos); // both knobs
    void ShowVolumeAndBalance();

    // The indicator pictures of the three situations.
    void ShowStoppedIndicators();
    void ShowPlayingIndicators();
    // Album and Repeat labels from the album sequence.
    void ShowAlbumState();
    // Indicators and their blinking as the player's status is now.
    void ShowPlayerState();

    // --- commands -----------------------------------------------------------------------------
    // What the window does, whoever asks: the skin's buttons and panels once released over them,
    // the keys, the menu, the desktop bus and a second start all run these. Each checks whether
    // it can act now (a file to play, a player that plays, a next track) and otherwise does
    // nothing.
    // The next and previous files of the album (the track buttons).
    void NextTrack();
    void PreviousTrack();
    // Brings the window back to the user: restored, raised and active (the desktop's Raise, a
    // second start).
    void BringBack();
    // Opens a location (a file path) and plays it, as the Open button followed by Play does.
    void OpenLocation(const QString& location);
    // Continuous play of these files in this order, from the first; a playlist among them plays
    // as its entries.
    void PlayFiles(const QStringList& files);
    // What the command line, the desktop's "open" and a second start hand over: a folder among
    // them plays its files in turn as a dropped one does; one file alone opens and plays.
    void OpenLocations(const QStringList& locations);
    // These files and playlists (local files or URLs) as the album, each list as its entries:
    // the first entry loaded, and played at once with `play`. The lists are read off the window
    // thread, so that a long list or a slow server does not hold the window up; the album
    // follows when they are read. The newest open wins: this one cancels a list read or a
    // station's connection under way, and is cancelled by any file or list opened meanwhile.
    void OpenPlaylist(const QStringList& names, bool play);
    // Volume 0 ... 100 set from outside the window: player, knob and label.
    void SetVolumeFromDesktop(int volume);
    // Balance -100 ... 100 set by the keyboard, the wheel or an assistive tool.
    void SetBalanceFromDesktop(int balance);

    // Volume and balance moved by delta from where they are (the arrow keys, a knob's steps).
    void VolumeBy(int delta);
    void BalanceBy(int delta);
    // Asks for a file with the open dialog and opens it (the Open button).
    void OpenFile();
    // Plays the stopped open file (the Play button); with nothing to play, nothing.
    void Play();
    // Pauses what plays, resumes what is paused (the Pause button).
    void PauseOrResume();
    // Plays a stopped open file, pauses what plays, resumes what is paused.
    void PlayOrPause();
    // Pauses what plays; nothing otherwise.
    void Pause();
    // Plays a stopped open file, resumes a paused one; what plays plays on.
    void PlayOrResume();
    // Stops, and ends continuous play (the Stop button).
    void Stop();
    // Jumps by deltaMs while playing, as the rewind and fast-forward buttons do.
    void SeekBy(int deltaMs);
    // Jumps to positionMs in a file that can seek, playing or paused.
    void SeekTo(int32_t positionMs);
    // Asks for a folder with the album dialog and plays its files in turn (the Album panel).
    void ChooseAlbum();
    // Repeat on or off (the Repeat panel); only while playing.
    void ToggleRepeat();
    bool CanToggleRepeat() const;
    // Shows or hides the About view (the About panel).
    void ToggleAbout();
    // Turns the preset on alone: its button lit, its values to the sliders and the player.
    void SelectPreset(TPreset preset) override;
    // The window's menu beside the focused control (Shift+F10).
    void ShowContextMenuFromKeyboard();
    // Asks for a location and plays it.
    void OpenLocationDialog();
    // Closes the window, which ends the program.
    void Quit();

    // --- menu and drops -----------------------------------------------------------------------
    // The window's right-click menu; entries added with AddContextMenuEntry go before the
    // About and Quit entries.
    QMenu* ContextMenu();
    void AddContextMenuEntry(QAction* action);
    // What a drop of these items would do: one file opens and plays (album false), several files
    // or a folder play in turn (album true). Nothing for anything else (not all local files and
    // folders, no file to play).
    struct TDropPlan {
        QStringList files;
        bool album = false;
    };
    static std::optional<TDropPlan> PlanDrop(const QList<QUrl>& urls);
    // Resume, shuffle, recent items, song notifications, the sleep timer (app/comforts.h).
    TComforts& Comforts(); // comforts.cpp

    // --- failures --------------------------------------------------------------------------
    // A failure during continuous play: shown in the song area for a few seconds, without
    // holding play.
    void ShowNotice(const TMP3PlayError& error);
    // The notice in the song area, empty when none is showing.
    QString Notice() const { return notice_; }

signals:
    // A notice went up in the song area (the failure's own text).
    void NoticeShown(const QString& text);
    // The player's status (after OnChangeStatus) or the album sequence changed.
    void PlayerStatusChanged();
    void AlbumChanged();
    // The playing position jumped (fast-forward, rewind, a desktop seek).
    void Jumped();
    // The volume or the balance changed (a knob, the desktop).
    void VolumeChanged();

public:
    // The title the desktop shows for the program ("Plumtone4", with the times while minimised).
    QString ApplicationTitle() const { return windowTitle(); }

    // The mail address behind the About view's link.
    static QString ContactAddress();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    template <class Handler> void Run(Handler&& handler);
    void CreateLayout();
    void CreatePlayer();
    void CreateTimers();
    void CreateAlbum();
    // Keyboard focus, knob steps and the roles assistive technologies read.
    void CreateKeyboardAccess();
    void CreateScreenReaderView();
    void ShowNoPlayableFile();
    // The title timer runs only while the title shows the times: minimised and playing.
    void FollowTitleTimer();
    const QPixmap& StoredPicture(int number) const;
    TSkinImage* PresetImage(TPreset preset) const;

    QString settingsFile_;
    TForm2* form2_ = nullptr;
    QPointer<TForm3> form3_;

    QString timeFormat_;
    std::array<bool, kPresetCount> presetFlags_{};
    bool dragging_ = false;
    QPoint pressPos_;
    bool rewindHeld_ = false;
    bool forwardHeld_ = false;
    bool heldJumped_ = false; // the held rewind or fast-forward has jumped at least once
    bool blinkPlay_ = false;
    bool blinkPause_ = false;
    bool blinkPhase_ = false;
    bool aboutArrowPhase_ = false;
    std::function<TAlbumForm*()> albumFormMaker_;
    TAlbumForm* albumForm_ = nullptr;
    // Reads the lists opened as albums on a thread of its own, as the player opens a station:
    // one read at a time, and any newer open of a file or list cancels the read under way (its
    // server's wait ends at once, its result is dropped). Its notice comes to the window's
    // thread as FinishListReading.
    TLocationOpener listReading_{[this](uint64_t id) {
        QMetaObject::invokeMethod(
            this, [this, id] { FinishListReading(id); }, Qt::QueuedConnection);
    }};
    void FinishListReading(uint64_t id);
    void AddLoudnessMenu();
    void AddTextEncodingMenu(); // text_encoding_menu.cpp
    QMenu* contextMenu_ = nullptr;
    QAction* contextMenuEnd_ = nullptr; // added entries go before this separator
    // The player's failure being told, if any (LastError, read in the handlers of its events):
    // a notice during continuous play, the standard display for a file opened alone. Each is
    // told once (the album sequence may have told it already).
    void TellPlayerError();
    void CreateNotice();
    std::exception_ptr told_;
    QString notice_;
    QTimer noticeTimer_;
    // Last: it goes before the player it acts on.
    std::unique_ptr<TWindowComforts> comforts_;
};

// The 文字コード choice from and to PT4.INI (text_encoding_menu.cpp).
void LoadTextEncoding(const TIniFile& ini);
void SaveTextEncoding(TIniFile& ini);

} // namespace pt4
