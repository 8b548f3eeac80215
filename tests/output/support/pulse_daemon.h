// A private sound server for the integration tests: Debian's daemon with one null sink, its own
// runtime and state folders in a scratch directory, stopped by its process id. It never sees or
// touches a user's session: while it lives, this process's sound-server variables point at it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pt4::test {

// Sample format of the null sink and of the recordings: 16-bit stereo.
inline constexpr uint32_t kSinkRate = 44100;
inline constexpr const char* kSinkName = "pt4null";

class PulseDaemon {
public:
    // Starts the daemon and waits until it takes connections; ends the test program with the
    // daemon's log when it does not come up.
    PulseDaemon();
    // Stops the daemon, restores the environment and removes the scratch directory.
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    pid_t Pid() const { return pid_; }
    // Ends the daemon at once, as a crash would.
    void Kill();
    std::string Log() const;

private:
    void SetEnvironment(const char* name, const std::string& value);

    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::map<std::string, std::optional<std::string>> savedEnvironment_;
};

// Runs a program with this process's environment; returns its standard output, or nullopt when
// it fails.
std::optional<std::string> RunProgram(const std::vector<std::string>& argv);

// Records the null sink's monitor with the server's own recording tool into a file.
class MonitorRecorder {
public:
    // Returns once the recording is running (the monitor delivers silence while nothing plays).
    MonitorRecorder();
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    // Stops the recording and returns its interleaved samples.
    std::vector<int16_t> Stop();

private:
    std::filesystem::path file_;
    pid_t pid_ = -1;
};

} // namespace pt4::test
