// pt4 play: plays files in turn through the player component and the sound server, with a
// one-line display and single-key controls.
#include "cli/commands.h"
#include "cli/loudness_options.h"

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/pulse_device.h"
#include "mp3plyr/player/album_sequence.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace pt4::cli {
namespace {

// The terminal's settings from before single-key mode, for the signal handler as well.
termios savedTerminal{};
volatile sig_atomic_t terminalRaw = 0;

// Only async-signal-safe calls: it also runs inside the signal handler.
void RestoreTerminal()
{
    if (terminalRaw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        terminalRaw = 0;
    }
}

// The signals that end the program from the terminal or from outside.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndEnd(int signal)
{
    RestoreTerminal();
    // The handler was reset on entry: the signal now ends the program as it would have.
    raise(signal);
}

// Puts the terminal into single-key mode for the life of the object, if stdin is a terminal.
// The terminal is given back on every way out: the destructor, and the ending signals.
class RawTerminal {
public:
    RawTerminal()
    {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = RestoreTerminalAndEnd;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kEndingSignals); ++i)
            sigaction(kEndingSignals[i], &action, &previous_[i]);
        termios raw = savedTerminal;
        raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        terminalRaw = 1;
        active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
        terminalRaw = active_;
    }
    ~RawTerminal()
    {
        RestoreTerminal();
        if (active_)
            for (size_t i = 0; i < std::size(kEndingSignals); ++i)
                sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    bool Active() const { return active_; }

private:
    struct sigaction previous_[std::size(kEndingSignals)]{};
    bool active_ = false;
};

enum class Key { None, PauseResume, Back, Forward, Next, Quit };

Key ReadKey()
{
    char bytes[8];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0)
        return Key::None;
    if (n >= 3 && bytes[0] == 0x1B && bytes[1] == '[')
        return bytes[2] == 'D' ? Key::Back : bytes[2] == 'C' ? Key::Forward : Key::None;
    switch (bytes[0]) {
    case ' ': return Key::PauseResume;
    case 'n': return Key::Next;
    case 'q': return Key::Quit;
    default: return Key::None;
    }
}

std::string Clock(uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u", ms / 60000, ms / 1000 % 60);
    return text;
}

const char* StatusName(TMP3PlayerStatus status)
{
    switch (status) {
    case TMP3PlayerStatus::mpsPlaying: return "playing";
    case TMP3PlayerStatus::mpsPaused: return "paused ";
    case TMP3PlayerStatus::mpsStopped: break;
    }
    return "stopped";
}

// Plays the files in turn through the album sequence, which also moves on at each file's end and
// passes over files that do not open; the keys act on the player and the sequence.
class Session {
public:
    Session(bool keys, std::optional<uint32_t> volume, const LoudnessOptions& loudness = {}) : keys_(keys)
    {
        player_.SetAutoPlay(false);
        // The line shows whole seconds: a notice a second is enough.
        player_.SetChangePosStep(1000);
        player_.SetReplayGainMode(loudness.mode);
        player_.SetReplayGainPreamp(loudness.preampDb);
        if (volume)
            player_.SetVolume(*volume);
        // The list ends where it ends: nothing is loaded again for a next round.
        album_.ReturnToFirst = false;
        album_.OnLoadFailed = [this](const std::exception_ptr& error) {
            Report(album_.Loading(), ErrorMessage(error));
            told_ = error;
            failed_ = true;
        };
        player_.OnChangePosition = [this](TMP3Player&) { ShowLine(); };
        album_.OnStatus = [this] {
            TellPlayerError();
            ShowStationState();
            ShowTitles();
            ShowLine();
        };
        album_.OnEndPlay = [this](TMP3EndPlayReason reason, bool acted) {
            TellPlayerError();
            if (reason == TMP3EndPlayReason::mepError)
                failed_ = true;
            // Play goes on when the sequence moved to another file (which may still be connecting).
            if (acted && player_.Status() == TMP3PlayerStatus::mpsStopped && !player_.Connecting())
                done_ = true;
        };
    }

    ~Session()
    {
        if (wakePipe_[0] >= 0) {
            player_.MessageWindow().SetNotifier(nullptr);
            close(wakePipe_[0]);
            close(wakePipe_[1]);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Plays the files until the last one ends or the user quits; `titles` holds what a playlist
    // calls each file (empty: nothing). False when any file failed.
    bool Run(std::vector<std::string> files, std::vector<std::string> titles)
    {
        // Several files play in the order given, as an album (auto mode takes its album gain); a
        // single one plays as itself.
        const bool album = files.size() > 1;
        album_.OnChange = [this, album] { player_.SetPlaysAlbum(album); };
        try {
            done_ = !album_.Confirm(std::move(files), std::move(titles));
            ShowTitles();
            if (!done_) {
                album_.PlayPressed();
                player_.Play();
            }
            while (!done_) {
                const bool key = WaitForMessageOrKey();
                player_.MessageWindow().DispatchMessages();
                if (key && !done_)
                    Poll();
            }
        } catch (const std::exception& error) {
            Report(CurrentFile(), ErrorMessage(error));
            failed_ = true;
        }
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        return !failed_;
    }

private:
    // Sleeps until the player posts something or, with single keys, a key is pressed: true for
    // a key. Nothing wakes the program in between.
    bool WaitForMessageOrKey()
    {
        TMPMessageWindow& window = player_.MessageWindow();
        if (!keys_) {
            window.WaitForMessage(kInfinite);
            return false;
        }
        if (wakePipe_[0] < 0) {
            if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
                wakePipe_[0] = wakePipe_[1] = -1;
            const int writeEnd = wakePipe_[1];
            window.SetNotifier([writeEnd] {
                const char byte = 1;
                [[maybe_unused]] const ssize_t ignored = write(writeEnd, &byte, 1);
            });
        }
        if (window.QueuedMessages() > 0)
            return false;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        poll(fds, wakePipe_[0] >= 0 ? 2 : 1, wakePipe_[0] >= 0 ? -1 : 50);
        char drained[64];
        while (wakePipe_[0] >= 0 && read(wakePipe_[0], drained, sizeof drained) > 0) {
        }
        return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 || wakePipe_[0] < 0;
    }

    std::string CurrentFile() const
    {
        const int32_t index = album_.TrackIndex();
        const std::vector<std::string>& list = album_.List();
        return index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : player_.FileName();
    }

    // Errors met while a file plays name the program and the file, as those at open do; the
    // sequence may have told this one already.
    void TellPlayerError()
    {
        const std::optional<TMP3PlayError> error = player_.LastError();
        if (!error || error->Error == told_)
            return;
        told_ = error->Error;
        Report(error->Location.empty() ? CurrentFile() : error->Location, ErrorMessage(error->Error));
        // A lost sound server is waited for: play goes on when it is back.
        if (error->Reason != kSoundServerLostReason)
            failed_ = true;
    }

    void Report(const std::string& file, const std::string& text)
    {
        // On a line of its own, also when the status line is showing.
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        std::fflush(stdout);
        std::fprintf(stderr, "pt4: %s: %s\n", ShownName(file).c_str(), text.c_str());
    }

    void Poll()
    {
        switch (ReadKey()) {
        case Key::PauseResume:
            if (player_.Status() == TMP3PlayerStatus::mpsPaused)
                player_.Resume();
            else
                player_.Pause();
            break;
        case Key::Back: {
            if (!(player_.Capabilities() & mpcSeek))
                break; // a stream that cannot seek
            const uint32_t at = player_.Position();
            player_.Seek(at > 5000 ? int32_t(at - 5000) : 0);
            break;
        }
        case Key::Forward:
            if (player_.Capabilities() & mpcSeek)
                player_.Seek(int32_t(player_.Position() + 5000));
            break;
        case Key::Next:
            // After the last file (or when none of the rest opens) play ends, as at its end.
            if (!album_.Next() || !album_.Playing())
                Quit();
            break;
        case Key::Quit: Quit(); break;
        case Key::None: break;
        }
    }

    void Quit()
    {
        player_.Stop();
        album_.StopPressed();
        // Deliver what the stop posted.
        player_.MessageWindow().DispatchMessages();
        done_ = true;
    }

    // The title and artist lines, again whenever a stream announces new ones or another file
    // plays.
    void ShowTitles()
    {
        if (!(player_.Capabilities() & mpcClose))
            return;
        if (album_.TrackIndex() != shownIndex_)
            shownTitles_.clear(); // two files of the same title both show it
        shownIndex_ = album_.TrackIndex();
        const std::string titles = VisibleText(DisplayText(album_.ShownTitle())) + "\n  " +
                                   VisibleText(DisplayText(player_.Artist()));
        if (titles == shownTitles_)
            return;
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        std::printf("%s\n", titles.c_str());
        shownTitles_ = titles;
    }

    // A line each time a station starts to reconnect or to fill its buffer.
    void ShowStationState()
    {
        const TStationState state = player_.StationState();
        if (state == stationState_)
            return;
        stationState_ = state;
        const char* text = nullptr;
        switch (state) {
        case TStationState::Reconnecting: text = "the connection was lost: reconnecting"; break;
        case TStationState::Rejoining:
            text = "the pause outlasted the buffer: reconnecting to play live";
            break;
        case TStationState::Buffering: text = "buffering"; break;
        case TStationState::Receiving: return;
        }
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        std::printf("  %s: %s\n", VisibleText(player_.FileName()).c_str(), text);
        std::fflush(stdout);
    }

    void ShowLine()
    {
        // A stream's total time is unknown.
        const uint32_t length = player_.Length();
        std::printf("\r  %s / %s  [%s]   ", Clock(player_.Position()).c_str(),
                    length > 0 ? Clock(length).c_str() : "--:--", StatusName(player_.Status()));
        lineShowing_ = true;
        std::fflush(stdout);
    }

    TMP3Player player_;
    TAlbumSequence album_{player_};
    bool keys_;
    // Written by the player's notifier, so that one poll waits for messages and keys together.
    int wakePipe_[2] = {-1, -1};
    bool lineShowing_ = false;
    bool done_ = false;
    bool failed_ = false;
    std::exception_ptr told_; // the last failure reported
    std::string shownTitles_;
    int32_t shownIndex_ = -1;
    TStationState stationState_ = TStationState::Receiving;
};

} // namespace

int RunPlay(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::optional<uint32_t> volume;
    LoudnessOptions loudness;
    for (size_t i = 0; i < args.size(); ++i) {
        if (const OptionTaken taken = TakeLoudnessOption(args, i, loudness); taken != OptionTaken::No) {
            if (taken == OptionTaken::Bad) {
                std::fprintf(stderr, "usage: pt4 play [--volume N] %s FILE...\n", kLoudnessUsage);
                return 2;
            }
        } else if (args[i] == "--volume") {
            char* end = nullptr;
            const long value = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
            if (end == nullptr || *end != '\0' || end == args[i + 1].c_str() || value < 0 || value > 100) {
                std::fputs("pt4: --volume takes a number from 0 to 100\n", stderr);
                return 2;
            }
            volume = uint32_t(value);
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: pt4 play [--volume N] %s FILE...\n", kLoudnessUsage);
        return 2;
    }
    // A playlist plays as its entries, in its order.
    int status = 0;
    std::vector<std::string> titles;
    {
        const std::vector<TPlaylistEntry> entries =
            ExpandPlaylists(files, [&status](const std::string& list, const std::exception_ptr& error) {
                std::fprintf(stderr, "pt4: %s: %s\n", ShownName(list).c_str(), ErrorMessage(error).c_str());
                status = 1;
            });
        files.clear();
        for (const TPlaylistEntry& entry : entries) {
            files.push_back(entry.location);
            titles.push_back(entry.title);
        }
    }
    if (files.empty()) {
        if (status == 0)
            std::fputs("pt4: the playlist names nothing to play\n", stderr);
        return 1;
    }
    RawTerminal terminal;
    if (terminal.Active())
        std::printf("keys: space pause/resume, left/right -5 s/+5 s, n next file, q quit\n");
    std::fflush(stdout);
    // An error that escapes a key or an event still unwinds to here, so the terminal is restored.
    try {
        Session session(terminal.Active(), volume, loudness);
        // Files of the same format follow each other without a gap.
        if (!session.Run(std::move(files), std::move(titles)))
            status = 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "\npt4: %s\n", ErrorMessage(error).c_str());
        status = 1;
    }
    return status;
}

} // namespace pt4::cli
