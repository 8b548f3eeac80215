// pt4 play: plays files in turn through the player component and the sound server, with a
// one-line display and single-key controls.
#include "cli/commands.h"

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/exception_display.h"
#include "mp3plyr/output/message_window.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace pt4::cli {
namespace {

// Puts the terminal into single-key mode for the life of the object, if stdin is a terminal.
class RawTerminal {
public:
    RawTerminal()
    {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0)
            return;
        termios raw = saved_;
        raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawTerminal()
    {
        if (active_)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    bool Active() const { return active_; }

private:
    termios saved_{};
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

enum class Outcome { Played, Failed, Skipped, Quit };

class Session {
public:
    Session(bool keys, std::optional<uint32_t> volume) : keys_(keys)
    {
        player_.SetAutoPlay(false);
        if (volume)
            player_.SetVolume(*volume);
        // Errors met while a file plays name the program and the file, as those at open do.
        SetExceptionDisplay([this](const std::exception_ptr& error) { Report(ExceptionText(error)); });
        player_.OnChangePosition = [this](TMP3Player&) { ShowLine(); };
        player_.OnChangeStatus = [this](TMP3Player&) { ShowLine(); };
        player_.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) {
            if (reason == TMP3EndPlayReason::mepEndOfStream)
                ended_ = Outcome::Played;
            else if (reason == TMP3EndPlayReason::mepError)
                ended_ = Outcome::Failed;
        };
    }

    ~Session() { SetExceptionDisplay(nullptr); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Outcome Play(const std::string& file)
    {
        ended_.reset();
        file_ = file;
        try {
            player_.SetFileName(file);
            std::printf("%s\n  %s\n", DisplayText(player_.Title()).c_str(),
                        DisplayText(player_.Artist()).c_str());
            player_.Play();
        } catch (const std::exception& error) {
            Report(error.what());
            return Outcome::Failed;
        }
        try {
            while (!ended_) {
                if (player_.MessageWindow().WaitForMessage(keys_ ? 50 : 500))
                    player_.MessageWindow().DispatchMessages();
                if (keys_ && Poll() == Outcome::Quit)
                    return Finish(Outcome::Quit);
                if (skip_) {
                    skip_ = false;
                    return Finish(Outcome::Skipped);
                }
            }
        } catch (const std::exception& error) {
            Report(error.what());
            ended_ = Outcome::Failed;
        }
        return Finish(*ended_);
    }

private:
    void Report(const std::string& text)
    {
        // On a line of its own, also when the status line is showing.
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        std::fflush(stdout);
        std::fprintf(stderr, "pt4: %s: %s\n", file_.c_str(), text.c_str());
    }

    Outcome Poll()
    {
        switch (ReadKey()) {
        case Key::PauseResume:
            if (player_.Status() == TMP3PlayerStatus::mpsPaused)
                player_.Resume();
            else
                player_.Pause();
            break;
        case Key::Back: {
            const uint32_t at = player_.Position();
            player_.Seek(at > 5000 ? int32_t(at - 5000) : 0);
            break;
        }
        case Key::Forward: player_.Seek(int32_t(player_.Position() + 5000)); break;
        case Key::Next: skip_ = true; break;
        case Key::Quit: return Outcome::Quit;
        case Key::None: break;
        }
        return Outcome::Played;
    }

    Outcome Finish(Outcome outcome)
    {
        player_.Stop();
        // Deliver what the stop posted before the next file starts.
        player_.MessageWindow().DispatchMessages();
        if (lineShowing_)
            std::printf("\n");
        lineShowing_ = false;
        return outcome;
    }

    void ShowLine()
    {
        std::printf("\r  %s / %s  [%s]   ", Clock(player_.Position()).c_str(),
                    Clock(player_.Length()).c_str(), StatusName(player_.Status()));
        lineShowing_ = true;
        std::fflush(stdout);
    }

    TMP3Player player_;
    std::string file_;
    bool lineShowing_ = false;
    bool keys_;
    bool skip_ = false;
    std::optional<Outcome> ended_;
};

} // namespace

int RunPlay(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::optional<uint32_t> volume;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--volume") {
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
        std::fputs("usage: pt4 play [--volume N] FILE...\n", stderr);
        return 2;
    }
    RawTerminal terminal;
    if (terminal.Active())
        std::printf("keys: space pause/resume, left/right -5 s/+5 s, n next file, q quit\n");
    Session session(terminal.Active(), volume);
    int status = 0;
    for (const auto& file : files) {
        const Outcome outcome = session.Play(file);
        if (outcome == Outcome::Failed)
            status = 1;
        if (outcome == Outcome::Quit)
            break;
    }
    return status;
}

} // namespace pt4::cli
