// Continuous play of a folder and repeat: the Album and Repeat panels, the previous and next
// track buttons and the end of play. Only the single-file behaviour lives here so far.
#include "app/main_unit.h"

#include "app/unit2.h"

namespace pt4 {

void TForm1::LoadAlbumTrack(int32_t index)
{
    if (index < 0 || index >= albumList_.size())
        throw std::out_of_range("album list: no entry " + std::to_string(index));
    MP3Player1.SetFileName(albumList_[index].toStdString());
}

void TForm1::AlbumPanelMouseDown(Qt::MouseButton, QPoint)
{
    AlbumPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::AlbumPanelMouseUp(Qt::MouseButton, QPoint)
{
    AlbumPanel->SetBevelOuter(TBevelCut::bvRaised);
}

void TForm1::RepeatPanelMouseDown(Qt::MouseButton, QPoint)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::RepeatPanelMouseUp(Qt::MouseButton, QPoint)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvRaised);
}

void TForm1::back2ImageMouseUp(Qt::MouseButton, QPoint)
{
    back2Image->SetPicture(StoredPicture(13));
}

void TForm1::next2ImageMouseUp(Qt::MouseButton, QPoint)
{
    next2Image->SetPicture(StoredPicture(15));
}

void TForm1::MP3Player1EndPlay(TMP3EndPlayReason)
{
    if (!albumPlaying_) {
        MMTimer2.SetEnabled(false);
        ShowStoppedIndicators();
    }
}

} // namespace pt4
