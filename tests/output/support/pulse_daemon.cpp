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

// Sends `signal`, then waits for the end, killing it outright if it takes too long.
void StopProcess(pid_t pid, int signal)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!Exited(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(10ms);
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

PulseDaemon::PulseDaemon() : dir_(MakeScratchDir("pt4-sound"))
{
    for (const char* sub : {"runtime", "state", "home", "config"})
        std::filesystem::create_directory(dir_ / sub);
    const std::filesystem::path socket = dir_ / "runtime" / "native";
    // Everything the server and its clients look at lives in the scratch directory.
    SetEnvironment("HOME", (dir_ / "home").string());
    SetEnvironment("XDG_RUNTIME_DIR", (dir_ / "runtime").string());
    SetEnvironment("XDG_CONFIG_HOME", (dir_ / "config").string());
    SetEnvironment("PULSE_RUNTIME_PATH", (dir_ / "runtime").string());
    SetEnvironment("PULSE_STATE_PATH", (dir_ / "state").string());
    SetEnvironment("PULSE_SERVER", "unix:" + socket.string());

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
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!Accepts(socket)) {
        if (Exited(pid_)) {
            pid_ = -1;
            GiveUp("pulseaudio ended before it took connections; its log:\n" + Log());
        }
        if (std::chrono::steady_clock::now() > deadline)
            GiveUp("pulseaudio took no connections within 15 s; its log:\n" + Log());
        std::this_thread::sleep_for(20ms);
    }
}

PulseDaemon::~PulseDaemon()
{
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

void PulseDaemon::Kill()
{
    StopProcess(pid_, SIGKILL);
    pid_ = -1;
}

std::string PulseDaemon::Log() const
{
    std::ifstream in(dir_ / "daemon.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void PulseDaemon::SetEnvironment(const char* name, const std::string& value)
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
