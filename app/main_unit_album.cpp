// Continuous play of a folder and repeat: the Album and Repeat panels and the previous and next
// track buttons, forwarded to the album sequence, which acts on each end of play itself. The
// Album and Repeat labels show its state.
#include "app/main_unit.h"

#include "app/album_dialog.h"
#include "app/picture_store.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/runtime/exception_display.h"

#include <QFile>
#include <QMessageBox>

#include <algorithm>
#include <any>
#include <memory>

namespace pt4 {

namespace {

// The paths as the file system has them, byte for byte: a name that is not valid UTF-8 opens too.
std::vector<std::string> LocalNames(const QList<QByteArray>& files)
{
    std::vector<std::string> names;
    names.reserve(size_t(files.size()));
    for (const QByteArray& file : files)
        names.push_back(file.toStdString());
    return names;
}

// Paths given as text (dropped, named on the command line), in the file system's encoding.
std::vector<std::string> LocalNames(const QStringList& files)
{
    std::vector<std::string> names;
    names.reserve(size_t(files.size()));
    for (const QString& file : files)
        names.push_back(QFile::encodeName(file).toStdString());
    return names;
}

struct TNamesAndTitles {
    std::vector<std::string> names, titles;
};

TNamesAndTitles Split(std::vector<TPlaylistEntry> entries)
{
    TNamesAndTitles split;
    split.names.reserve(entries.size());
    split.titles.reserve(entries.size());
    for (TPlaylistEntry& entry : entries) {
        split.names.push_back(std::move(entry.location));
        split.titles.push_back(std::move(entry.title));
    }
    return split;
}

// The lists opened as an album, read on the list reading's thread, with the entries that are
// missing found there too: a long run of missing entries then holds the window up no longer
// than a short one.
struct TListsRead {
    std::vector<TPlaylistEntry> entries;
    std::vector<std::exception_ptr> errors;
    std::vector<bool> missing;
    bool play = false;
};

TListsRead ReadLists(const std::vector<std::string>& names, bool play, const std::stop_token& stop)
{
    TListsRead read;
    read.play = play;
    try {
        read.entries = ExpandPlaylists(
            names,
            [&read](const std::string&, const std::exception_ptr& error) { read.errors.push_back(error); },
            stop);
    } catch (const EStreamCancelled&) {
        throw;
    } catch (...) {
        read.errors.push_back(std::current_exception());
    }
    // A look at the file system per entry: in pieces, so that a newer open stops it soon.
    constexpr size_t kPiece = 1024;
    read.missing.reserve(read.entries.size());
    for (size_t at = 0; at < read.entries.size(); at += kPiece) {
        if (stop.stop_requested())
            throw EStreamCancelled();
        std::vector<std::string> piece;
        for (size_t i = at; i < std::min(at + kPiece, read.entries.size()); ++i)
            piece.push_back(read.entries[i].location);
        for (const bool missing : TAlbumSequence::LookForMissing(piece))
            read.missing.push_back(missing);
    }
    return read;
}

} // namespace

void TForm1::SetAlbumFormMaker(std::function<TAlbumForm*()> maker)
{
    albumFormMaker_ = std::move(maker);
    albumForm_ = nullptr;
}

TAlbumForm* TForm1::AlbumForm()
{
    if (!albumForm_ && albumFormMaker_)
        albumForm_ = albumFormMaker_();
    return albumForm_;
}

void TForm1::CreateAlbum()
{
    // A file of the list that does not open is passed over at once; the notice does not hold play.
    Album.OnLoadFailed = [this](const std::exception_ptr& error) {
        told_ = error;
        ShowNotice(DescribeError(error));
    };
    CreateNotice();
    Album.OnChange = [this] {
        ShowAlbumState();
        emit AlbumChanged();
    };
}

void TForm1::ShowAlbumState()
{
    AlbumLabel->SetFontColor(Album.Selected() ? clYellow : clOlive);
    RepeatLabel->SetFontColor(Album.Repeat() ? clYellow : clOlive);
    AlbumPanel->SetChecked(Album.Selected());
    RepeatPanel->SetChecked(Album.Repeat());
}

void TForm1::ShowPlayerState()
{
    MMTimer2.SetEnabled(false);
    switch (MP3Player1.Status()) {
    case TMP3PlayerStatus::mpsPlaying:
        ShowPlayingIndicators();
        blinkPause_ = false;
        blinkPlay_ = true;
        break;
    case TMP3PlayerStatus::mpsPaused:
        Status1Image->SetPicture(StoredPicture(29));
        Status2Image->SetPicture(StoredPicture(32));
        Status3Image->SetPicture(StoredPicture(33));
        blinkPlay_ = false;
        blinkPause_ = true;
        break;
    case TMP3PlayerStatus::mpsStopped: ShowStoppedIndicators(); return;
    }
    blinkPhase_ = true;
    MMTimer2.SetEnabled(true);
}

void TForm1::ShowNoPlayableFile()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Plumtone4"),
                    QStringLiteral("\n\r選択されたフォルダには再生可能なファイルがありません。"),
                    QMessageBox::Ok, this);
    box.exec();
}

void TForm1::AlbumPanelMouseDown(Qt::MouseButton, QPoint)
{
    AlbumPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::AlbumPanelMouseUp(Qt::MouseButton, QPoint pos)
{
    AlbumPanel->SetBevelOuter(TBevelCut::bvRaised);
    if (ReleasedOver(AlbumPanel, pos))
        ChooseAlbum();
}

void TForm1::ChooseAlbum()
{
    TAlbumForm* dialog = AlbumForm();
    if (!dialog || !dialog->ShowModal())
        return;
    comforts_->NoteOpened(TRecentKind::Folder, dialog->FileListBox1->Directory());
    // The list is taken now, with full paths: a later dialog, confirmed or not, and the current
    // directory have no say in what plays.
    listReading_.Cancel(); // a list still being read gives way to the folder
    const std::exception_ptr told = told_;
    if (!Album.Confirm(LocalNames(dialog->FileListBox1->FilePathBytes())) && told_ == told)
        ShowNoPlayableFile(); // files that failed have been told already
    ShowPlayerState();
}

void TForm1::RepeatPanelMouseDown(Qt::MouseButton, QPoint)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvLowered);
}

void TForm1::RepeatPanelMouseUp(Qt::MouseButton, QPoint pos)
{
    RepeatPanel->SetBevelOuter(TBevelCut::bvRaised);
    if (ReleasedOver(RepeatPanel, pos))
        ToggleRepeat();
}

void TForm1::back2ImageMouseUp(Qt::MouseButton, QPoint pos)
{
    back2Image->SetPicture(StoredPicture(13));
    if (ReleasedOver(back2Image, pos))
        PreviousTrack();
}

void TForm1::next2ImageMouseUp(Qt::MouseButton, QPoint pos)
{
    next2Image->SetPicture(StoredPicture(15));
    if (ReleasedOver(next2Image, pos))
        NextTrack();
}

void TForm1::NextTrack()
{
    if (Album.Next())
        ShowPlayerState();
}

void TForm1::PreviousTrack()
{
    if (Album.Previous())
        ShowPlayerState();
}

void TForm1::PlayFiles(const QStringList& files)
{
    if (std::any_of(files.begin(), files.end(),
                    [](const QString& file) { return HasPlaylistExtension(file.toStdString()); })) {
        OpenPlaylist(files, true);
        return;
    }
    listReading_.Cancel();
    const std::exception_ptr told = told_;
    if (!Album.Start(LocalNames(files)) && told_ == told)
        ShowNoPlayableFile();
    ShowPlayerState();
}

void TForm1::OpenPlaylist(const QStringList& names, bool play)
{
    comforts_->NotePlaylists(names);
    if (MP3Player1.Connecting())
        MP3Player1.Close(); // a station still connecting gives way too
    listReading_.StartWork([names = LocalNames(names), play](const std::stop_token& stop) -> std::any {
        return ReadLists(names, play, stop);
    });
}

void TForm1::FinishListReading(uint64_t id)
{
    std::optional<TOpenResult> result = listReading_.Take(id);
    if (!result)
        return; // a newer open cancelled it
    try {
        if (result->Error)
            std::rethrow_exception(result->Error);
        TListsRead& read = std::any_cast<TListsRead&>(result->Value);
        for (const std::exception_ptr& error : read.errors)
            ShowException(error);
        TNamesAndTitles album = Split(std::move(read.entries));
        // Whatever played before gives way, as for a folder confirmed in the album dialog.
        const std::exception_ptr told = told_;
        if (!(read.play
                  ? Album.Start(std::move(album.names), std::move(album.titles), std::move(read.missing))
                  : Album.Confirm(std::move(album.names), std::move(album.titles),
                                  std::move(read.missing))) &&
            told_ == told)
            ShowNoPlayableFile();
        ShowPlayerState();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TForm1::MP3Player1EndPlay(bool acted)
{
    // A notice of a playback that a track change or a new list replaced changes nothing.
    if (acted)
        ShowPlayerState();
}

} // namespace pt4
