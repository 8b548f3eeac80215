// The test radio server (radio_server.py beside this file) run as a child process on a free
// loopback port, stopped by its process id.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace pt4::test {

class RadioServer {
public:
    // Serves `file` (an MP3 file); returns once the server listens.
    explicit RadioServer(const std::string& file);
    // The first file as above; /live may change over to the later ones (see radio_server.py).
    explicit RadioServer(const std::vector<std::string>& files);
    ~RadioServer();
    RadioServer(const RadioServer&) = delete;
    RadioServer& operator=(const RadioServer&) = delete;

    // http://127.0.0.1:PORT + path.
    std::string Url(const std::string& path) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A loopback port nobody listens on (bound, then released).
int UnusedPort();

} // namespace pt4::test
