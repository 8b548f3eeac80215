// Continuous play of a folder and repeat: the Album and Repeat panels, the previous and next
// track buttons and the end of play. The on/off states are the colours of the Album and Repeat
// labels.
#include "app/main_unit.h"

#include "app/unit2.h"
#include "app/unit4.h"

#include <QMessageBox>

namespace pt4 {

namespace {

bool IsOn(const TSkinLabel* label)
{
    return label->FontColor() == clYellow;
}

} // namespace

void TForm1::SetAlbumForm(TAlbumForm* albumForm)
{
    albumForm_ = albumForm;
}

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
    if (!albumForm_ || !albumForm_->ShowModal())
        return;
    RepeatLabel->SetFontColor(clOlive);
    albumPrimed_ = !IsOn(AlbumLabel);
    // The list is taken now, with full paths: a later dialog, confirmed or not, and the current
    // directory have no say in what plays.
    const QStringList files = albumForm_->FileListBox1->FilePaths();
    const int32_t n = static_cast<int32_t>(files.size());
    trackCount_ = n;
    const bool playing = MP3Player1.Status() == TMP3PlayerStatus::mpsPlaying;
    auto startWith = [this](int32_t index) {
        LoadAlbumTrack(index);
        albumPlaying_ = true;
        AlbumLabel->SetFontColor(clYellow);
        MP3Player1EndPlay(TMP3EndPlayReason::mepEndOfStream);
    };
    if (n >= 1 && !albumPrimed_) {
        trackIndex_ = 0;
        albumList_ = files;
        if (!playing) {
            startWith(0);
        } else {
            LoadAlbumTrack(0);
            albumPlaying_ = true;
            AlbumLabel->SetFontColor(clYellow);
        }
    } else if (n >= 1) {
        // An index left over from an album that Open interrupted may lie past this folder's end.
        if (trackIndex_ < 0 || trackIndex_ >= n)
            trackIndex_ = 0;
        albumList_ = files;
        if (!playing) {
            albumPrimed_ = false;
            startWith(trackIndex_);
        } else {
            albumPlaying_ = false;
            LoadAlbumTrack(trackIndex_);
            AlbumLabel->SetFontColor(clYellow);
        }
    } else {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Plumtone4"),
                        QStringLiteral("\n\r選択されたフォルダには再生可能なファイルがありません。"),
                        QMessageBox::Ok, this);
        box.exec();
    }
    MMTimer2.SetEnabled(false);
    ShowStoppedIndicators();
}

void TForm1::RepeatPanelMouseDown(Qt::MouseButton, QPoint)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::RepeatPanelMouseUp(Qt::MouseButton, QPoint)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvRaised);
    if (MP3Player1.Status() != TMP3PlayerStatus::mpsPlaying)
        return;
    RepeatLabel->SetFontColor(IsOn(RepeatLabel) ? clOlive : clYellow);
}

void TForm1::back2ImageMouseUp(Qt::MouseButton, QPoint)
{
    back2Image->SetPicture(StoredPicture(13));
    if (trackCount_ > 0 && albumPlaying_ && trackIndex_ != 0 && !IsOn(RepeatLabel)) {
        // The end of play that follows steps forward again, onto the previous file.
        trackIndex_ -= 2;
        MP3Player1.Stop();
    }
}

void TForm1::next2ImageMouseUp(Qt::MouseButton, QPoint)
{
    next2Image->SetPicture(StoredPicture(15));
    if (trackCount_ > 0 && albumPlaying_ && trackIndex_ + 1 != trackCount_ && !IsOn(RepeatLabel))
        MP3Player1.Stop(); // the end of play that follows plays the next file
}

void TForm1::MP3Player1EndPlay(TMP3EndPlayReason reason)
{
    if (!albumPlaying_) {
        MMTimer2.SetEnabled(false);
        ShowStoppedIndicators();
    }
    if (reason == TMP3EndPlayReason::mepEndOfStream && IsOn(RepeatLabel)) {
        // The player has rewound the file.
        ShowPlayingIndicators();
        MMTimer2.SetEnabled(true);
        MP3Player1.Play();
    }
    if (albumPlaying_ && trackCount_ == trackIndex_ + 1 && !IsOn(RepeatLabel)) {
        // The last file ended: continuous play ends on the first file, still selected.
        albumPlaying_ = false;
        trackIndex_ = 0;
        LoadAlbumTrack(0);
        MMTimer2.SetEnabled(false);
        ShowStoppedIndicators();
    }
    if (albumPlaying_ && trackCount_ > 0 && !IsOn(RepeatLabel)) {
        if (albumPrimed_) {
            ++trackIndex_;
            LoadAlbumTrack(trackIndex_);
            MP3Player1.Play();
        } else {
            trackIndex_ = 0;
            LoadAlbumTrack(0);
            albumPrimed_ = true;
        }
    }
}

} // namespace pt4
