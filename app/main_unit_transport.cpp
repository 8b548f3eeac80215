// Transport buttons, the display that follows the player, the four timers and the About view.
#include "app/main_unit.h"

#include "app/picture_store.h"
#include "app/time_text.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/playlist_file.h"

#include <QDesktopServices>
#include <QUrl>

namespace pt4 {

namespace {

QString DisplayString(const std::string& raw)
{
    return QString::fromStdString(VisibleText(DisplayText(raw)));
}

} // namespace

void TForm1::ShowStoppedIndicators()
{
    Status1Image->SetPicture(StoredPicture(29));
    Status2Image->SetPicture(StoredPicture(31));
    Status3Image->SetPicture(StoredPicture(34));
}

void TForm1::ShowPlayingIndicators()
{
    Status1Image->SetPicture(StoredPicture(30));
    Status2Image->SetPicture(StoredPicture(31));
    Status3Image->SetPicture(StoredPicture(33));
}

void TForm1::OpenImageMouseDown(Qt::MouseButton, QPoint)
{
    OpenImage->SetPicture(StoredPicture(2));
}

void TForm1::OpenImageMouseUp(Qt::MouseButton, QPoint pos)
{
    OpenImage->SetPicture(StoredPicture(1));
    if (ReleasedOver(OpenImage, pos))
        OpenFile();
}

void TForm1::OpenChosenFile(const QString& fileName)
{
    OpenDialog1.FileName = fileName;
    if (HasPlaylistExtension(fileName.toStdString())) {
        OpenPlaylist({fileName}, false);
        return;
    }
    listReading_.Cancel();
    comforts_->NoteOpened(IsStationAddress(fileName) ? TRecentKind::Station : TRecentKind::File, fileName);
    Album.FileChosen();
    // Opens at once and stays stopped; the labels follow with OnChangeStatus.
    MP3Player1.SetFileName(fileName.toStdString());
    blinkPlay_ = blinkPause_ = blinkPhase_ = false;
    MMTimer2.SetEnabled(false);
    ShowStoppedIndicators();
}

void TForm1::playImageMouseDown(Qt::MouseButton, QPoint)
{
    playImage->SetPicture(StoredPicture(4));
}

void TForm1::playImageMouseUp(Qt::MouseButton, QPoint pos)
{
    playImage->SetPicture(StoredPicture(3));
    if (ReleasedOver(playImage, pos))
        Play();
}

void TForm1::pauseImageMouseDown(Qt::MouseButton, QPoint)
{
    pauseImage->SetPicture(StoredPicture(6));
}

void TForm1::pauseImageMouseUp(Qt::MouseButton, QPoint pos)
{
    pauseImage->SetPicture(StoredPicture(5));
    if (ReleasedOver(pauseImage, pos))
        PauseOrResume();
}

void TForm1::stopImageMouseDown(Qt::MouseButton, QPoint)
{
    stopImage->SetPicture(StoredPicture(8));
}

void TForm1::stopImageMouseUp(Qt::MouseButton, QPoint pos)
{
    stopImage->SetPicture(StoredPicture(7));
    if (ReleasedOver(stopImage, pos))
        Stop();
}

void TForm1::stopImageClick() {}

void TForm1::back1ImageMouseDown(Qt::MouseButton, QPoint)
{
    back1Image->SetPicture(StoredPicture(10));
    heldJumped_ = false;
    rewindHeld_ = true;
    MMTimer1.SetEnabled(true);
}

void TForm1::back1ImageMouseUp(Qt::MouseButton, QPoint pos)
{
    back1Image->SetPicture(StoredPicture(9));
    rewindHeld_ = false;
    MMTimer1.SetEnabled(false);
    // A click too short for the timer still jumps once.
    if (!heldJumped_ && ReleasedOver(back1Image, pos))
        SeekBy(-5000);
}

void TForm1::next1ImageMouseDown(Qt::MouseButton, QPoint)
{
    next1Image->SetPicture(StoredPicture(12));
    heldJumped_ = false;
    forwardHeld_ = true;
    MMTimer1.SetEnabled(true);
}

void TForm1::next1ImageMouseUp(Qt::MouseButton, QPoint pos)
{
    next1Image->SetPicture(StoredPicture(11));
    forwardHeld_ = false;
    MMTimer1.SetEnabled(false);
    if (!heldJumped_ && ReleasedOver(next1Image, pos))
        SeekBy(5000);
}

void TForm1::back2ImageMouseDown(Qt::MouseButton, QPoint)
{
    back2Image->SetPicture(StoredPicture(14));
}

void TForm1::next2ImageMouseDown(Qt::MouseButton, QPoint)
{
    next2Image->SetPicture(StoredPicture(16));
}

void TForm1::MP3Player1ChangeStatus()
{
    // A station or a pipe being opened shows its address (without its password) until it has a title of its
    // own. A station that lost its connection shows its address again while it reconnects, and says so while
    // its buffer fills; its title comes back with the audio.
    QString title = DisplayString(Album.ShownTitle());
    switch (MP3Player1.StationState()) {
    case TStationState::Reconnecting:
    case TStationState::Rejoining:
        title = DisplayString(ShownLocation(MP3Player1.FileName())) + QStringLiteral(" 再接続中…");
        break;
    case TStationState::Buffering: title += QStringLiteral(" バッファ中…"); break;
    case TStationState::Receiving: break;
    }
    if (MP3Player1.Connecting())
        title = DisplayString(ShownLocation(MP3Player1.FileName())) + QStringLiteral(" 接続中…");
    const QString artist = DisplayString(MP3Player1.Artist());
    // A notice of a failure keeps the song area until its time is up.
    if (notice_.isEmpty()) {
        SongLabel1->SetCaption(title);
        SongLabel2->SetCaption(title);
    }
    ArtistLabel1->SetCaption(artist);
    ArtistLabel2->SetCaption(artist);
    // With nothing open (a failed open closes the player) the total clears with the title; a
    // stream of unknown length shows "--:--".
    if (!title.isEmpty() && MP3Player1.Length() == 0 && (MP3Player1.Capabilities() & mpcClose))
        EndTimeLabel->SetCaption(QStringLiteral("--:--"));
    else
        EndTimeLabel->SetCaption(TimeText(title.isEmpty() ? 0 : MP3Player1.Length()));
    // Play pressed while connecting has begun now.
    if (MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying && !blinkPlay_)
        ShowPlayerState();
}

void TForm1::MP3Player1ChangePosition()
{
    TimeLabel->SetCaption(TimeText(MP3Player1.Position()));
}

void TForm1::MMTimer1Timer()
{
    if (MP3Player1.Status() != TMP3PlayerStatus::mpsPlaying || !(MP3Player1.Capabilities() & mpcSeek))
        return;
    if (rewindHeld_)
        SeekBy(-5000);
    else if (forwardHeld_)
        SeekBy(5000);
    else
        return;
    heldJumped_ = true;
}

void TForm1::MMTimer2Timer()
{
    if (blinkPlay_) {
        Status1Image->SetPicture(StoredPicture(blinkPhase_ ? 30 : 29));
        blinkPhase_ = !blinkPhase_;
    }
    if (blinkPause_) {
        Status2Image->SetPicture(StoredPicture(blinkPhase_ ? 32 : 31));
        blinkPhase_ = !blinkPhase_;
    }
}

void TForm1::MMTimer3Timer()
{
    QString title = QStringLiteral("Plumtone4");
    if (AnimateForm1->Minimized() && MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying) {
        const uint32_t length = MP3Player1.Length();
        // A stream has no total time; its title changes as it plays, so it is shown too.
        if (length == 0)
            title += u' ' + DisplayString(Album.ShownTitle());
        title += u' ' + TimeText(MP3Player1.Position()) + QStringLiteral(" / ") +
                 (length > 0 ? TimeText(length) : QStringLiteral("--:--"));
    }
    if (title != windowTitle())
        setWindowTitle(title);
}

void TForm1::FollowTitleTimer()
{
    const bool running = AnimateForm1->Minimized() && MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying;
    if (running == MMTimer3.Enabled())
        return;
    MMTimer3.SetEnabled(running);
    MMTimer3Timer(); // the title follows at once: the times appear, or the name comes back
}

void TForm1::MMTimer4Timer()
{
    tenmetuLabel->SetFontColor(aboutArrowPhase_ ? clYellow : clRed);
    aboutArrowPhase_ = !aboutArrowPhase_;
}

void TForm1::AboutPanelMouseDown(Qt::MouseButton, QPoint)
{
    AboutPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::AboutPanelMouseUp(Qt::MouseButton, QPoint pos)
{
    AboutPanel->SetBevelOuter(TBevelCut::bvRaised);
    if (ReleasedOver(AboutPanel, pos))
        ToggleAbout();
}

void TForm1::MailLabelClick()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + ContactAddress()));
}

} // namespace pt4
