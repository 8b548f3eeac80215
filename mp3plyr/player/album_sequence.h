// Continuous play of a list of files and repeat of the current one, driving a player. The
// sequence takes the player's end-of-play, next-file and status events for itself; the window (or
// any other front end) forwards its commands here and shows the state it reads back through the
// hooks below.
#pragma once

#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/player/play_order.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace pt4 {

class TAlbumSequence {
public:
    // Takes the player's OnNeedNext, OnChangeStatus and OnEndPlay for its whole life (and leaves
    // them empty when it goes): the player must outlive it.
    explicit TAlbumSequence(TMP3Player& player);
    ~TAlbumSequence();
    TAlbumSequence(const TAlbumSequence&) = delete;
    TAlbumSequence& operator=(const TAlbumSequence&) = delete;

    // A file of the list that the player could not open (or that failed as it began to play):
    // called once per file, which is then passed over for as long as the list stays. Loading()
    // names the file. A run of missing files passed over in one go is told once, as "N 件のファ
    // イルが見つかりません" with Loading() naming the first of them. Play goes on meanwhile: the
    // front end shows it without holding play.
    std::function<void(const std::exception_ptr& error)> OnLoadFailed;
    // Called after anything below has changed (selection, repeat, list, index).
    std::function<void()> OnChange;
    // The player's OnChangeStatus, passed on once a file that followed without a gap has become
    // the current one here.
    std::function<void()> OnStatus;
    // The player's OnEndPlay, after the sequence acted on it (repeated the file, moved on, or
    // ended the list). `acted` is false for the notice of a playback the sequence replaced
    // itself, which changes nothing.
    std::function<void(TMP3EndPlayReason reason, bool acted)> OnEndPlay;

    // Where continuous play ends (the list played through, or StopPressed): true loads the
    // first file again, stopped, ready for Play; false leaves the player as it is, for a front
    // end that is done then.
    bool ReturnToFirst = true;

    // Continuous play has been chosen (the Album label); Play resumes it.
    bool Selected() const { return selected_; }
    // The current file plays again at its end (the Repeat label).
    bool Repeat() const { return repeat_; }
    // Ends of play advance through the list.
    bool Playing() const { return playing_; }
    // The current file's position in the order of play: its index in List() unless shuffled.
    int32_t TrackIndex() const { return index_; }
    // Entries of the list; 0 after a list that had no file to play.
    int32_t TrackCount() const { return count_; }
    const std::vector<std::string>& List() const { return list_; }
    // The entry the player is being given now (during OnLoadFailed: the file that failed).
    const std::string& Loading() const { return loading_; }
    // Each pass through the list in a new order (every entry once per pass); the track commands
    // and the ends of play follow that order.
    bool Shuffle() const { return order_.Shuffled(); }
    // Switched in the middle of a pass, the current file stays and the rest of the pass
    // follows the new order.
    void SetShuffle(bool on);
    // The index in List() of a position in the order of play.
    int32_t Entry(int32_t position) const { return order_.Entry(position); }
    // Whether Next or Previous would change the file now.
    bool CanGoNext() const;
    bool CanGoPrevious() const;

    // A new list (a folder's files, dropped files): repeat goes off, the first file that opens
    // is loaded stopped and continuous play is selected. A playback this replaces ends without
    // moving on. False when the list is empty or none of its files opens: the track count is
    // then 0, so nothing advances any more, and nothing is selected anew. An empty list leaves
    // the previous list (and the player) as they were.
    // `titles`, when given, holds what a playlist calls each file.
    // `missing`, when given, marks the files found missing by LookForMissing.
    bool Confirm(std::vector<std::string> files, std::vector<std::string> titles = {},
                 std::vector<bool> missing = {});
    // Confirm, then the pass goes on from entry `entry` of the list (loaded stopped) when it
    // opens: in the list's order from there, or shuffled with it first.
    bool ConfirmAt(std::vector<std::string> files, int32_t entry, std::vector<std::string> titles = {});
    // Confirm, then play the first file.
    bool Start(std::vector<std::string> files, std::vector<std::string> titles = {},
               std::vector<bool> missing = {});
    // Which of these local files are not there, by one look at the file system each: for a front
    // end that reads a long list off its event thread, so that passing over a long run of missing
    // files then costs that thread nothing per file. Any thread.
    static std::vector<bool> LookForMissing(const std::vector<std::string>& files);
    // The player's title for display: the current file's own, or while that is only the file's
    // name, the title its playlist gives it.
    std::string ShownTitle() const;

    // The Play button before the player plays: a selected album plays on from here.
    void PlayPressed();
    // The Stop button after the player stopped: continuous play ends on the first file.
    void StopPressed();
    // A single file was chosen instead: repeat off, continuous play no longer selected.
    void FileChosen();
    // Repeat on or off; only while the player plays. True when it changed.
    bool ToggleRepeat();
    // The next or previous file of the list plays at once (also from pause); nothing happens
    // under repeat, at the end of the list or while the player is stopped. True when it acted.
    bool Next();
    bool Previous();

    // What the sequence does on the player's events. They are public for a front end that
    // must keep one of the player's events itself and forward it.
    // The player's end of play. True when it was acted on, false for a notice that belongs to
    // a playback this sequence replaced itself (such a notice is dropped).
    bool EndPlay(TMP3EndPlayReason reason);
    // The file to follow the current one without a gap when the player asks (OnNeedNext): the
    // same file under repeat, else the next file of the list not known to fail; empty when play
    // is to end with the current file.
    std::string Following();
    // The player's status changed: when it went on with the following file without an end of
    // play, that file becomes the current one.
    void PlayerChanged();

private:
    void Attach();
    bool PlayerActive() const;
    // The nearest entry from `from` on in direction step (+1, -1) not known to fail; -1: none.
    int32_t Playable(int32_t from, int32_t step) const;
    // Loads the nearest entry from `from` on in direction step that opens; -1 when none does.
    int32_t LoadFrom(int32_t from, int32_t step);
    // Missing files met in a row by one LoadFrom, told as one failure when the run ends.
    struct TMissingRun {
        int32_t count = 0;
        std::string first;
        std::exception_ptr firstError;
    };
    bool Load(int32_t index, TMissingRun& missing);
    void TellMissing(TMissingRun& missing);
    void Failed(const std::string& name, const std::exception_ptr& error);
    void Step(int32_t step);
    void EndAlbum();
    void Changed();

    TMP3Player& player_;
    std::vector<std::string> list_;
    std::vector<bool> unplayable_;
    // Files found missing before the list was confirmed (empty: none looked for).
    std::vector<bool> missing_;
    std::vector<std::string> titles_;
    std::string loading_;
    bool selected_ = false;
    bool repeat_ = false;
    bool playing_ = false;
    int32_t index_ = 0;
    int32_t count_ = 0;
    // The last file handed out by Following that may not be heard yet; -1: none.
    int32_t queued_ = -1;
    // An end-of-play notice is on its way for a playback a load replaced.
    bool replacedNotice_ = false;
    // The current file is being opened in the background (a station, standard input).
    bool connecting_ = false;
    // The order of play: positions (index_, queued_) to entries of list_.
    TPlayOrder order_;
};

} // namespace pt4
