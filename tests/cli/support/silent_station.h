// A station on a free loopback port that accepts and never sends a byte.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace pt4::test {

class SilentStation {
public:
    SilentStation() : listener_(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/radio";
    }
    ~SilentStation() { close(listener_); }
    std::string Url() const { return url_; }

    // Waits up to 5 s for a player to connect.
    bool Accept()
    {
        pollfd waiting{listener_, POLLIN, 0};
        return poll(&waiting, 1, 5000) == 1 && (connection_ = accept(listener_, nullptr, nullptr)) >= 0;
    }
    // Waits up to 5 s for it to hang up; when it did.
    std::chrono::steady_clock::time_point HangUp()
    {
        char bytes[4096];
        pollfd reading{connection_, POLLIN, 0};
        while (poll(&reading, 1, 5000) == 1 && recv(connection_, bytes, sizeof bytes, 0) > 0) {
        }
        close(connection_);
        return std::chrono::steady_clock::now();
    }

private:
    int listener_;
    int connection_ = -1;
    std::string url_;
};

} // namespace pt4::test
