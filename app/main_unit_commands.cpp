// The window's commands: what the skin's buttons and panels do once released over them, and what
// the keys, the menu, the desktop bus and a second start ask for. Each command checks for itself
// whether it can act now; the routes only choose one.
#include "app/main_unit.h"

#include "app/picture_store.h"
#include "app/skin_controls.h"

#include <algorithm>

namespace pt4 {

void TForm1::OpenFile()
{
    if (OpenDialog1.Execute(this))
        OpenChosenFile(OpenDialog1.FileName);
}

void TForm1::OpenLocationDialog()
{
    if (LocationDialog1.Execute(this))
        OpenLocation(LocationDialog1.Location);
}

void TForm1::Play()
{
    if (MP3Player1.Connecting()) {
        // It plays once connected; the indicators follow then (MP3Player1ChangeStatus).
        Album.PlayPressed();
        MP3Player1.Play();
        return;
    }
    if (!(MP3Player1.Capabilities() & mpcPlay))
        return;
    Album.PlayPressed();
    MP3Player1.Play();
    ShowPlayingIndicators();
    blinkPlay_ = true;
    blinkPhase_ = true;
    MMTimer2.SetEnabled(true);
}

void TForm1::PauseOrResume()
{
    bool* blinkFlag = nullptr;
    switch (MP3Player1.Status()) {
    case TMP3PlayerStatus::mpsPlaying:
        MP3Player1.Pause();
        blinkPlay_ = false;
        MMTimer2.SetEnabled(false);
        Status1Image->SetPicture(StoredPicture(29));
        Status2Image->SetPicture(StoredPicture(32));
        blinkFlag = &blinkPause_;
        break;
    case TMP3PlayerStatus::mpsPaused:
        MP3Player1.Resume();
        blinkPause_ = false;
        MMTimer2.SetEnabled(false);
        Status1Image->SetPicture(StoredPicture(30));
        Status2Image->SetPicture(StoredPicture(31));
        blinkFlag = &blinkPlay_;
        break;
    default: return;
    }
    Status3Image->SetPicture(StoredPicture(33));
    blinkPhase_ = true;
    *blinkFlag = true;
    MMTimer2.SetEnabled(true);
}

void TForm1::PlayOrPause()
{
    if (MP3Player1.Status() == TMP3PlayerStatus::mpsStopped)
        Play();
    else
        PauseOrResume();
}

void TForm1::Pause()
{
    if (MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying)
        PauseOrResume();
}

void TForm1::PlayOrResume()
{
    if (MP3Player1.Status() == TMP3PlayerStatus::mpsPaused)
        PauseOrResume();
    else
        Play();
}

void TForm1::Stop()
{
    MP3Player1.Stop();
    blinkPlay_ = blinkPause_ = blinkPhase_ = false;
    MMTimer2.SetEnabled(false);
    ShowStoppedIndicators();
    Album.StopPressed();
}

void TForm1::SeekBy(int deltaMs)
{
    if (MP3Player1.Status() != TMP3PlayerStatus::mpsPlaying || !(MP3Player1.Capabilities() & mpcSeek))
        return;
    // Before the first 5 s a jump back is negative and the player ignores it.
    MP3Player1.Seek(static_cast<int32_t>(static_cast<int64_t>(MP3Player1.Position()) + deltaMs));
    emit Jumped();
}

void TForm1::SeekTo(int32_t positionMs)
{
    if (!(MP3Player1.Capabilities() & mpcSeek))
        return;
    MP3Player1.Seek(positionMs);
    emit Jumped();
}

bool TForm1::CanToggleRepeat() const
{
    return MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying;
}

void TForm1::ToggleRepeat()
{
    Album.ToggleRepeat();
}

void TForm1::ToggleAbout()
{
    const bool shown = Image1->isHidden();
    if (shown && Image1->Picture().isNull())
        Image1->SetPicture(ArtPicture(QStringLiteral(":/art/about.png")));
    Image1->setVisible(shown);
    MailLabel->setVisible(shown);
    tenmetuLabel->setVisible(shown);
    aboutArrowPhase_ = shown;
    MMTimer4.SetEnabled(shown);
    AboutPanel->SetFontColor(shown ? clYellow : clWhite);
}

void TForm1::SetVolumeFromDesktop(int volume)
{
    MP3Player1.SetVolume(static_cast<uint32_t>(std::clamp(volume, 0, 100)));
    ShowVolumeAndBalance();
}

void TForm1::SetBalanceFromDesktop(int balance)
{
    MP3Player1.SetVolBalance(std::clamp(balance, -100, 100));
    ShowVolumeAndBalance();
}

void TForm1::VolumeBy(int delta)
{
    SetVolumeFromDesktop(static_cast<int>(MP3Player1.Volume()) + delta);
}

void TForm1::BalanceBy(int delta)
{
    SetBalanceFromDesktop(MP3Player1.VolBalance() + delta);
}

void TForm1::Quit()
{
    close();
}

} // namespace pt4
