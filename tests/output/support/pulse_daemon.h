// A private sound server for the integration tests, with one null sink at 44.1 kHz, its own
// runtime, configuration and state folders in a scratch directory, stopped by process id. It
// never sees or touches a user's session: while it lives, this process's sound-server variables
// point at it. Two kinds serve the same client protocol: Debian's PulseAudio daemon, and a
// PipeWire session (pipewire, wireplumber and pipewire-pulse on a private D-Bus session bus) whose
// graph clock is held at the sink's rate, so that recordings stay bit-exact.
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

enum class ServerKind { PulseAudio, PipeWire };

// For test names: "PulseAudio", "PipeWire".
const char* ServerName(ServerKind kind);

class SoundServer {
public:
    // Starts the server and waits until it takes connections and has its sink; ends the test
    // program with the server's log when it does not come up.
    explicit SoundServer(ServerKind kind = ServerKind::PulseAudio);
    // Stops the server, restores the environment and removes the scratch directory.
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    ServerKind Kind() const { return kind_; }
    // The process that talks to the clients.
    pid_t Pid() const { return serverPid_; }
    // Ends the server at once, as a crash would.
    void Kill();
    // Starts a killed server again on the same socket (PulseAudio only), as a session's server
    // that was restarted; returns once it takes connections.
    void Restart();
    // Stops and continues the server's process (SIGSTOP, SIGCONT), as a server that hangs.
    void Freeze();
    void Thaw();
    std::string Log() const;

private:
    void StartPulseAudio(const std::filesystem::path& socket);
    void StartPipeWire();
    void WaitUntilReady(const std::filesystem::path& socket);
    void SetEnvironment(const char* name, const std::string& value);

    ServerKind kind_;
    std::filesystem::path dir_;
    // What was started (pulseaudio, or the D-Bus session that runs the PipeWire processes).
    pid_t pid_ = -1;
    pid_t serverPid_ = -1;
    bool frozen_ = false;
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
