#include "cli/support/radio_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace pt4::test {

RadioServer::RadioServer(const std::string& file) : RadioServer(std::vector<std::string>{file}) {}

RadioServer::RadioServer(const std::vector<std::string>& files)
{
    const std::string script = std::string(PT4_SOURCE_DIR) + "/tests/cli/support/radio_server.py";
    std::vector<const char*> argv{"python3", script.c_str()};
    for (const std::string& file : files)
        argv.push_back(file.c_str());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execvp("python3", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(out[1]);
    char line[32] = {};
    FILE* from = fdopen(out[0], "r");
    if (!from || !std::fgets(line, sizeof line, from)) {
        if (from)
            std::fclose(from);
        throw std::runtime_error("the radio server did not start");
    }
    std::fclose(from);
    port_ = std::atoi(line);
}

RadioServer::~RadioServer()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string RadioServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int UnusedPort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

} // namespace pt4::test
