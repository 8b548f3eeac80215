#include "mp3plyr/player/album_sequence.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/player/location_opener.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <sys/stat.h>

namespace pt4 {

namespace {

// A local file that is not there, told by one look at the file system (no open attempt).
bool Missing(const std::string& name)
{
    if (TLocationOpener::OpensInBackground(name))
        return false;
    struct stat status;
    return ::stat(name.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// Failures that belong to the file (or station), not to the sound output or the program.
bool FileFailure(TErrorKind kind)
{
    return kind == TErrorKind::Open || kind == TErrorKind::Input || kind == TErrorKind::Format ||
           kind == TErrorKind::Network;
}

} // namespace

TAlbumSequence::TAlbumSequence(TMP3Player& player) : player_(player)
{
    Attach();
}

TAlbumSequence::~TAlbumSequence()
{
    player_.OnNeedNext = nullptr;
    player_.OnChangeStatus = nullptr;
    player_.OnEndPlay = nullptr;
}

void TAlbumSequence::Attach()
{
    // Continuous play and repeat go on into the same sound stream, without a gap.
    player_.OnNeedNext = [this](TMP3Player& player) {
        const std::string following = Following();
        if (!following.empty())
            player.QueueNext(following);
    };
    player_.OnChangeStatus = [this](TMP3Player& player) {
        // A file this sequence opened in the background that did not open: the player tells it
        // with this change of status. It is passed over from now on, and its end is that of a
        // file that failed while it played.
        const std::optional<TMP3PlayError> error = player.LastError();
        const bool failed = connecting_ && error.has_value();
        connecting_ = connecting_ && player.Connecting();
        if (failed && index_ >= 0 && index_ < count_) {
            unplayable_[size_t(Entry(index_))] = true;
            Failed(list_[size_t(Entry(index_))], error->Error);
        }
        PlayerChanged();
        if (OnStatus)
            OnStatus();
        if (failed)
            player.OnEndPlay(player, TMP3EndPlayReason::mepError);
    };
    player_.OnEndPlay = [this](TMP3Player& player, TMP3EndPlayReason reason) {
        // A file that failed as it played is passed over on later rounds; a failure of the sound
        // output is no fault of the file.
        const std::optional<TMP3PlayError> error = player.LastError();
        if (reason == TMP3EndPlayReason::mepError && error && FileFailure(error->Kind) && playing_ &&
            index_ >= 0 && index_ < count_)
            unplayable_[size_t(Entry(index_))] = true;
        // A file that will not play is told like a file that does not open; the front end still
        // hears of the end, and the player's other messages are still delivered.
        bool acted = true;
        try {
            acted = EndPlay(reason);
        } catch (...) {
            Failed(index_ >= 0 && index_ < count_ ? list_[size_t(Entry(index_))] : player.FileName(),
                   std::current_exception());
        }
        if (OnEndPlay)
            OnEndPlay(reason, acted);
    };
}

bool TAlbumSequence::PlayerActive() const
{
    return player_.Status() != TMP3PlayerStatus::mpsStopped;
}

void TAlbumSequence::Changed()
{
    // The list's files play as an album, in order, while continuous play is selected.
    player_.SetPlaysAlbum(selected_ && count_ > 0);
    if (OnChange)
        OnChange();
}

bool TAlbumSequence::CanGoNext() const
{
    return playing_ && !repeat_ && PlayerActive() && Playable(index_ + 1, +1) >= 0;
}

bool TAlbumSequence::CanGoPrevious() const
{
    return playing_ && !repeat_ && PlayerActive() && Playable(index_ - 1, -1) >= 0;
}

std::string TAlbumSequence::Following()
{
    if (repeat_)
        return player_.FileName();
    if (!playing_ || count_ == 0)
        return {};
    // Short files: the one asked about may itself be queued and not yet heard. Once the player
    // has dropped what it queued (a seek or stop in the file heard), it asks about that file.
    const int32_t asked = player_.QueuedAhead() ? std::max(index_, queued_) : index_;
    const int32_t next = Playable(asked + 1, +1);
    if (next < 0)
        return {};
    queued_ = next;
    return list_[size_t(Entry(next))];
}

void TAlbumSequence::PlayerChanged()
{
    if (!playing_ || repeat_ || index_ < 0 || index_ >= count_)
        return;
    const std::string current = player_.FileName();
    if (current.empty() || current == list_[size_t(Entry(index_))])
        return;
    for (int32_t next = Playable(index_ + 1, +1); next >= 0 && next <= queued_; next = Playable(next + 1, +1))
        if (list_[size_t(Entry(next))] == current) {
            index_ = next;
            Changed();
            return;
        }
}

int32_t TAlbumSequence::Playable(int32_t from, int32_t step) const
{
    for (int32_t i = from; i >= 0 && i < count_; i += step)
        if (!unplayable_[size_t(Entry(i))])
            return i;
    return -1;
}

bool TAlbumSequence::Load(int32_t index, TMissingRun& missing)
{
    const int32_t entry = Entry(index);
    const std::string& name = list_[size_t(entry)];
    // Within a run of missing files, the next one is told by one look at the file system: a
    // list of a million missing files is passed over in moments.
    const bool known = size_t(entry) < missing_.size() && missing_[size_t(entry)];
    if (missing.count > 0 && (known || Missing(name))) {
        unplayable_[size_t(entry)] = true;
        ++missing.count;
        return false;
    }
    // Replacing a playing or paused file makes the player report that playback's end later;
    // that notice is not about the file loaded now.
    const bool active = PlayerActive();
    queued_ = -1;
    loading_ = name;
    connecting_ = false;
    try {
        player_.SetFileName(name);
        connecting_ = player_.Connecting();
    } catch (...) {
        if (active && !PlayerActive())
            replacedNotice_ = true;
        unplayable_[size_t(entry)] = true;
        const std::exception_ptr error = std::current_exception();
        if (DescribeError(error).NotFound()) {
            if (missing.count++ == 0) {
                missing.first = name;
                missing.firstError = error;
            }
        } else {
            TellMissing(missing);
            Failed(name, error);
        }
        return false;
    }
    if (active)
        replacedNotice_ = true;
    return true;
}

void TAlbumSequence::TellMissing(TMissingRun& missing)
{
    if (missing.count == 1) {
        Failed(missing.first, missing.firstError);
    } else if (missing.count > 1) {
        const std::string count = std::to_string(missing.count);
        Failed(missing.first, std::make_exception_ptr(
                                  EMP3Error(TErrorKind::Open, count + " 件のファイルが見つかりません",
                                            "not found, nor are the " + std::to_string(missing.count - 1) +
                                                " files after it in the list")));
    }
    missing = {};
}

void TAlbumSequence::Failed(const std::string& name, const std::exception_ptr& error)
{
    // Loading() names the failed file during the call, and the file loaded since after it.
    const std::string loaded = std::exchange(loading_, name);
    if (OnLoadFailed)
        OnLoadFailed(error);
    loading_ = loaded;
}

int32_t TAlbumSequence::LoadFrom(int32_t from, int32_t step)
{
    TMissingRun missing;
    int32_t loaded = -1;
    for (int32_t i = Playable(from, step); i >= 0; i = Playable(i + step, step))
        if (Load(i, missing)) {
            loaded = i;
            break;
        }
    TellMissing(missing);
    return loaded;
}

void TAlbumSequence::EndAlbum()
{
    // Back on the first file, stopped, unless the front end is done here; the album stays
    // selected.
    playing_ = false;
    order_.NewPass();
    if (!ReturnToFirst)
        return;
    const int32_t first = LoadFrom(0, +1);
    index_ = first < 0 ? 0 : first;
    if (first < 0)
        count_ = 0;
}

std::vector<bool> TAlbumSequence::LookForMissing(const std::vector<std::string>& files)
{
    std::vector<bool> missing(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        missing[i] = Missing(files[i]);
    return missing;
}

bool TAlbumSequence::Confirm(std::vector<std::string> files, std::vector<std::string> titles,
                             std::vector<bool> missing)
{
    repeat_ = false;
    if (files.empty()) {
        count_ = 0;
        Changed();
        return false;
    }
    list_ = std::move(files);
    titles_ = std::move(titles);
    titles_.resize(list_.size());
    missing_ = std::move(missing);
    unplayable_.assign(list_.size(), false);
    count_ = int32_t(list_.size());
    order_.Reset(count_);
    player_.SetPlaysAlbum(true); // before the first file opens, so that it opens at album gain
    const int32_t first = LoadFrom(0, +1);
    index_ = first < 0 ? 0 : first;
    if (first < 0) {
        count_ = 0;
        playing_ = false;
        Changed();
        return false;
    }
    selected_ = true;
    playing_ = Playable(first + 1, +1) >= 0;
    Changed();
    return true;
}

bool TAlbumSequence::ConfirmAt(std::vector<std::string> files, int32_t entry, std::vector<std::string> titles)
{
    if (!Confirm(std::move(files), std::move(titles)))
        return false;
    if (entry < 0 || entry >= count_ || entry == Entry(index_) || unplayable_[size_t(entry)])
        return true;
    const int32_t first = Entry(index_);
    const int32_t position = order_.Shuffled() ? order_.SetShuffled(true, order_.Position(entry)) : entry;
    TMissingRun missing;
    const bool loaded = Load(position, missing);
    TellMissing(missing);
    if (loaded) {
        index_ = position;
        playing_ = Playable(position + 1, +1) >= 0;
    } else {
        index_ = order_.Position(first); // the file Confirm loaded stays
    }
    Changed();
    return true;
}

bool TAlbumSequence::Start(std::vector<std::string> files, std::vector<std::string> titles,
                           std::vector<bool> missing)
{
    if (!Confirm(std::move(files), std::move(titles), std::move(missing)))
        return false;
    PlayPressed();
    player_.Play();
    return true;
}

std::string TAlbumSequence::ShownTitle() const
{
    const std::string file = player_.FileName();
    const size_t entry = size_t(Entry(index_));
    const bool listed = index_ >= 0 && entry < list_.size() && list_[entry] == file;
    return pt4::ShownTitle(player_.Title(), file, listed ? titles_[entry] : std::string());
}

void TAlbumSequence::PlayPressed()
{
    if (selected_ && !playing_) {
        playing_ = true;
        Changed();
    }
}

void TAlbumSequence::StopPressed()
{
    connecting_ = false; // the stop gave up on a file being opened: that is no failure
    if (playing_) {
        playing_ = false;
        order_.NewPass();
        if (ReturnToFirst) {
            const int32_t first = list_.empty() ? -1 : LoadFrom(0, +1);
            index_ = first < 0 ? 0 : first;
        }
    }
    repeat_ = false;
    Changed();
}

void TAlbumSequence::FileChosen()
{
    repeat_ = false;
    if (selected_) {
        selected_ = false;
        playing_ = false;
    }
    Changed();
}

bool TAlbumSequence::ToggleRepeat()
{
    if (player_.Status() != TMP3PlayerStatus::mpsPlaying)
        return false;
    repeat_ = !repeat_;
    // The choice holds at the end of the file heard: what the player queued to follow it by the
    // old choice goes, and the player asks again.
    player_.DropQueued();
    Changed();
    return true;
}

void TAlbumSequence::SetShuffle(bool on)
{
    if (on == order_.Shuffled())
        return;
    // The current file stays; the rest of the pass follows the new order.
    index_ = order_.SetShuffled(on, index_);
    queued_ = -1;
    // What the player queued to follow by the old order goes; it asks again.
    player_.DropQueued();
    Changed();
}

// Plays the nearest file from the current one in direction `step` that opens, or ends the
// album when none does.
void TAlbumSequence::Step(int32_t step)
{
    const int32_t found = LoadFrom(index_ + step, step);
    if (found < 0) {
        EndAlbum();
    } else {
        index_ = found;
        player_.Play();
    }
    Changed();
}

bool TAlbumSequence::Next()
{
    if (!CanGoNext())
        return false;
    Step(+1);
    return true;
}

bool TAlbumSequence::Previous()
{
    if (!CanGoPrevious())
        return false;
    Step(-1);
    return true;
}

bool TAlbumSequence::EndPlay(TMP3EndPlayReason reason)
{
    if (replacedNotice_) {
        replacedNotice_ = false;
        return false;
    }
    if (reason == TMP3EndPlayReason::mepEndOfStream && repeat_) {
        player_.Play(); // the player has rewound the file
        return true;
    }
    // Every reason moves on: an error ends only the file that failed.
    if (!playing_ || repeat_ || count_ == 0)
        return true;
    Step(+1);
    return true;
}

} // namespace pt4
