#include "output/support/pulse_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pt4::test {

namespace {

using namespace std::chrono_literals;

[[noreturn]] void GiveUp(const std::string& why)
{
    std::fprintf(stderr, "SOUND SERVER: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

std::filesystem::path MakeScratchDir(const char* prefix)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        GiveUp("cannot create a scratch directory: " + std::string(std::strerror(errno)));
    return pattern;
}

// Starts `argv` with stdout and stderr going to `output` (or a pipe's write end when outputFd >= 0).
pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& output, int outputFd = -1)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

bool Exited(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// Waits up to five seconds for a child to end: false when it did not.
bool AwaitExit(pid_t pid)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!Exited(pid)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Sends `signal`, then waits for the end, killing it outright if it takes too long.
void StopProcess(pid_t pid, int signal)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    if (!AwaitExit(pid)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool Accepts(const std::filesystem::path& socketPath)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

} // namespace

const char* ServerName(ServerKind kind)
{
    return kind == ServerKind::PipeWire ? "PipeWire" : "PulseAudio";
}

SoundServer::SoundServer(ServerKind kind) : kind_(kind), dir_(MakeScratchDir("pt4-sound"))
{
    for (const char* sub : {"runtime", "state", "home", "config"})
        std::filesystem::create_directory(dir_ / sub);
    std::filesystem::permissions(dir_ / "runtime", std::filesystem::perms::owner_all);
    // Both servers put their socket into the runtime path named below.
    const std::filesystem::path socket = dir_ / "runtime" / "native";
    // Everything the server and its clients look at lives in the scratch directory.
    SetEnvironment("HOME", (dir_ / "home").string());
    SetEnvironment("XDG_RUNTIME_DIR", (dir_ / "runtime").string());
    SetEnvironment("XDG_CONFIG_HOME", (dir_ / "config").string());
    SetEnvironment("XDG_STATE_HOME", (dir_ / "state").string());
    SetEnvironment("PULSE_RUNTIME_PATH", (dir_ / "runtime").string());
    SetEnvironment("PULSE_STATE_PATH", (dir_ / "state").string());
    SetEnvironment("PULSE_SERVER", "unix:" + socket.string());
    if (kind == ServerKind::PipeWire)
        StartPipeWire();
    else
        StartPulseAudio(socket);
    WaitUntilReady(socket);
}

void SoundServer::StartPulseAudio(const std::filesystem::path& socket)
{
    // A per-user daemon even when the tests run as root (CI), without a default script, never
    // exiting on its own, with one null sink and the native protocol on our socket only. Where it
    // may (as root), it mixes at real-time priority, so that other tests running alongside do
    // not make it fall behind.
    pid_ = Spawn({"pulseaudio", "--daemonize=no", "--system=false", "-n", "--exit-idle-time=-1",
                  "--disallow-exit", "--use-pid-file=false", "--realtime=true", "--high-priority=true",
                  "--log-target=stderr",
                  "--load=module-null-sink sink_name=" + std::string(kSinkName) +
                      " format=s16le rate=" + std::to_string(kSinkRate) + " channels=2",
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket.string()},
                 dir_ / "daemon.log");
    if (pid_ < 0)
        GiveUp("cannot start pulseaudio (is the pulseaudio package installed?)");
    serverPid_ = pid_;
}

void SoundServer::StartPipeWire()
{
    // The graph runs at the sink's rate only, so nothing is resampled; the sink is the only
    // output (no device monitors), and the default one.
    const std::filesystem::path config = dir_ / "config";
    std::filesystem::create_directories(config / "pipewire" / "pipewire.conf.d");
    const std::string rate = std::to_string(kSinkRate);
    std::ofstream(config / "pipewire" / "pipewire.conf.d" / "pt4-test.conf") << R"(
context.properties = {
    default.clock.rate = )" + rate + R"(
    default.clock.allowed-rates = [ )" + rate + R"( ]
    # Periods of at least 23 ms: a client asking for a short latency (the recorder) must not
    # make the whole graph run in periods so short that a busy machine misses them.
    default.clock.min-quantum = 1024
}
context.objects = [
    { factory = adapter
      args = {
          factory.name = support.null-audio-sink
          node.name = )" + std::string(kSinkName) + R"(
          media.class = Audio/Sink
          audio.rate = )" + rate + R"(
          audio.channels = 2
          audio.position = [ FL FR ]
          priority.session = 2000
      }
    }
]
)";
    std::filesystem::create_directories(config / "wireplumber" / "main.lua.d");
    std::filesystem::create_directories(config / "wireplumber" / "bluetooth.lua.d");
    std::ofstream(config / "wireplumber" / "main.lua.d" / "51-pt4-test.lua")
        << "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\nlibcamera_monitor.enabled = false\n";
    std::ofstream(config / "wireplumber" / "bluetooth.lua.d" / "51-pt4-test.lua")
        << "bluez_monitor.enabled = false\n";

    // The three processes run under a private session bus; the shell that starts them writes
    // their ids and ends them when it is told to end.
    const std::string script = R"(
d="$1"
echo $$ > "$d/shell.pid"
pipewire > "$d/pipewire.log" 2>&1 & a=$!
n=0
while [ ! -S "$XDG_RUNTIME_DIR/pipewire-0" ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done
wireplumber > "$d/wireplumber.log" 2>&1 & b=$!
pipewire-pulse > "$d/pipewire-pulse.log" 2>&1 & c=$!
echo $c > "$d/server.pid.new" && mv "$d/server.pid.new" "$d/server.pid"
trap 'kill -CONT $a $b $c 2>/dev/null; kill $a $b $c 2>/dev/null; wait; exit 0' TERM INT
wait
)";
    pid_ = Spawn({"dbus-run-session", "--", "sh", "-c", script, "sh", dir_.string()}, dir_ / "daemon.log");
    if (pid_ < 0)
        GiveUp("cannot start dbus-run-session (is the dbus package installed?)");
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (serverPid_ <= 0) {
        std::ifstream in(dir_ / "server.pid");
        if (!(in >> serverPid_))
            serverPid_ = -1;
        if (Exited(pid_)) {
            pid_ = -1;
            GiveUp("the PipeWire session ended at once; its log:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline)
            GiveUp("the PipeWire session did not start within 15 s; its log:\n" + Log());
        std::this_thread::sleep_for(20ms);
    }
}

void SoundServer::WaitUntilReady(const std::filesystem::path& socket)
{
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    auto ready = [&] {
        if (!Accepts(socket))
            return false;
        if (kind_ == ServerKind::PulseAudio)
            return true;
        // The session manager's policy runs: it has written the null sink into the graph's
        // metadata as the default output. Before that a new stream may find nothing to link to.
        const std::optional<std::string> metadata =
            RunProgram({"pw-metadata", "-n", "default", "0", "default.audio.sink"});
        const std::optional<std::string> info = RunProgram({"pactl", "info"});
        return metadata && info &&
               metadata->find(std::string("\"") + kSinkName + "\"") != std::string::npos &&
               info->find("Default Sink: " + std::string(kSinkName)) != std::string::npos;
    };
    while (!ready()) {
        if (Exited(pid_)) {
            pid_ = -1;
            GiveUp(std::string(ServerName(kind_)) + " ended before it took connections; its log:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline)
            GiveUp(std::string(ServerName(kind_)) + " was not ready within 15 s; its log:\n" + Log());
        std::this_thread::sleep_for(20ms);
    }
}

SoundServer::~SoundServer()
{
    Thaw();
    if (kind_ == ServerKind::PipeWire && pid_ > 0) {
        pid_t shell = -1;
        std::ifstream in(dir_ / "shell.pid");
        // The shell ends the three processes; the bus goes when the shell has ended.
        if (in >> shell && shell > 0 && kill(shell, SIGTERM) == 0 && AwaitExit(pid_))
            pid_ = -1;
    }
    StopProcess(pid_, SIGTERM);
    for (const auto& [name, value] : savedEnvironment_) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void SoundServer::Kill()
{
    Thaw();
    if (kind_ == ServerKind::PipeWire) {
        // Only the process the clients talk to; the rest of the session goes with the object.
        kill(serverPid_, SIGKILL);
        return;
    }
    StopProcess(pid_, SIGKILL);
    pid_ = -1;
    serverPid_ = -1;
}

void SoundServer::Restart()
{
    if (kind_ != ServerKind::PulseAudio)
        GiveUp("only PulseAudio is started again");
    const std::filesystem::path socket = dir_ / "runtime" / "native";
    StartPulseAudio(socket);
    WaitUntilReady(socket);
}

void SoundServer::Freeze()
{
    if (serverPid_ > 0 && kill(serverPid_, SIGSTOP) == 0)
        frozen_ = true;
}

void SoundServer::Thaw()
{
    if (frozen_)
        kill(serverPid_, SIGCONT);
    frozen_ = false;
}

std::string SoundServer::Log() const
{
    std::string text;
    for (const char* name : {"daemon.log", "pipewire.log", "wireplumber.log", "pipewire-pulse.log"}) {
        std::ifstream in(dir_ / name);
        if (!in)
            continue;
        std::stringstream part;
        part << in.rdbuf();
        text += std::string("--- ") + name + "\n" + part.str();
    }
    return text;
}

void SoundServer::SetEnvironment(const char* name, const std::string& value)
{
    if (!savedEnvironment_.contains(name)) {
        const char* old = std::getenv(name);
        savedEnvironment_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    setenv(name, value.c_str(), 1);
}

std::optional<std::string> RunProgram(const std::vector<std::string>& argv)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t pid = Spawn(argv, {}, fds[1]);
    close(fds[1]);
    std::string output;
    std::array<char, 4096> chunk;
    ssize_t n = 0;
    while (pid > 0 && (n = read(fds[0], chunk.data(), chunk.size())) > 0)
        output.append(chunk.data(), size_t(n));
    close(fds[0]);
    if (pid < 0)
        return std::nullopt;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

MonitorRecorder::MonitorRecorder() : file_(MakeScratchDir("pt4-record") / "monitor.raw")
{
    pid_ = Spawn({"parec", "--raw", "--device=" + std::string(kSinkName) + ".monitor", "--format=s16le",
                  "--rate=" + std::to_string(kSinkRate), "--channels=2", "--latency-msec=20"},
                 file_);
    if (pid_ < 0)
        GiveUp("cannot start parec (is the pulseaudio-utils package installed?)");
    // The monitor delivers silence while nothing plays: the first bytes mean it is recording.
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    std::error_code error;
    while (std::filesystem::file_size(file_, error) < 4 * kSinkRate / 50 || error) {
        if (Exited(pid_)) {
            pid_ = -1;
            GiveUp("parec ended before it recorded anything");
        }
        if (std::chrono::steady_clock::now() > deadline)
            GiveUp("parec recorded nothing within 15 s");
        std::this_thread::sleep_for(5ms);
    }
}

MonitorRecorder::~MonitorRecorder()
{
    StopProcess(pid_, SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(file_.parent_path(), ignored);
}

std::vector<int16_t> MonitorRecorder::Stop()
{
    StopProcess(pid_, SIGINT);
    pid_ = -1;
    std::ifstream in(file_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 4 * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint16_t(uint8_t(bytes[2 * i])) | uint16_t(uint8_t(bytes[2 * i + 1])) << 8);
    return samples;
}

} // namespace pt4::test
