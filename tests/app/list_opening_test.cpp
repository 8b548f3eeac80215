// The window's lists read as the player opens a station: cancellably, the newest open winning.
// A list whose server stalls, or a station whose list stalls, gives way at once to whatever is
// opened after it: its connection ends then, not at the server's stall limit, and what it would
// have read never replaces the newer open.
#include "support/album_driver.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace pt4;
using namespace pt4::testing;

namespace {

// A loopback server whose list never comes whole: each request gets its headers and the start
// of a long .m3u, then nothing, the connection held until the client lets go of it.
class TStalledListServer {
public:
    TStalledListServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("no loopback server");
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~TStalledListServer()
    {
        shutdown(listener_, SHUT_RDWR); // ends the wait in accept
        acceptor_.join();
        {
            std::lock_guard held(mutex_);
            for (const int client : clients_)
                shutdown(client, SHUT_RDWR);
        }
        for (std::thread& answer : answers_)
            answer.join();
        for (const int client : clients_)
            close(client);
        close(listener_);
    }
    TStalledListServer(const TStalledListServer&) = delete;
    TStalledListServer& operator=(const TStalledListServer&) = delete;

    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/stalled.m3u").arg(port_); }
    // Requests answered as far as they ever will be, and their connections the client closed.
    int Stalled() const { return stalled_; }
    int Closed() const { return closed_; }

private:
    void Accept()
    {
        for (;;) {
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            std::lock_guard held(mutex_);
            clients_.push_back(client);
            answers_.emplace_back([this, client] { Answer(client); });
        }
    }

    void Answer(int client)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, size_t(n));
        }
        std::string start = "#EXTM3U\n";
        for (int i = 0; i < 100; ++i)
            start += "http://127.0.0.1:9/never-" + std::to_string(i) + ".mp3\n";
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n"
                                   "Content-Length: 1000000\r\n\r\n" +
                                   start;
        if (send(client, answer.data(), answer.size(), MSG_NOSIGNAL) != ssize_t(answer.size()))
            return;
        ++stalled_;
        while (recv(client, buffer, sizeof buffer, 0) > 0) {
        }
        ++closed_;
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> stalled_{0};
    std::atomic<int> closed_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> clients_;         // under mutex_
    std::vector<std::thread> answers_; // under mutex_ while the acceptor runs
};

} // namespace

class ListOpeningTest : public QObject {
    Q_OBJECT
private slots:
    void newestOpenWinsOverAStalledList();
};

void ListOpeningTest::newestOpenWinsOverAStalledList()
{
    // Far longer than any wait below: a connection that ends did so because the open was cancelled.
    qputenv("PT4_STREAM_TIMEOUT", "300");
    TStalledListServer server;
    TWindowsUnderTest app;
    TForm1& f = app.Form1();
    f.MP3Player1.SetWaveFileName(app.TempFile("out.wav").toStdString());
    const QString dir = MakeAlbum(app.TempFile("newer"), {{"1.mp3", 3}, {"2.mp3", 3}});
    QFile list(dir + "/list.m3u");
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("2.mp3\n1.mp3\n");
    list.close();

    const struct {
        const char* what;
        bool stationFirst; // the stalled list opened by the player as a station, not as an album
        std::function<void()> newer;
        QString loaded; // the newer open's first file, where an album of it also ends
    } rows[] = {
        {"a list after a list", false, [&] { f.OpenPlaylist({list.fileName()}, false); }, "2.mp3"},
        {"a file after a list", false, [&] { f.OpenChosenFile(dir + "/1.mp3"); }, "1.mp3"},
        {"files played after a list", false,
         [&] {
             f.PlayFiles({dir + "/1.mp3", dir + "/2.mp3"});
         },
         "1.mp3"},
        {"a list after a station", true, [&] { f.OpenPlaylist({list.fileName()}, true); }, "2.mp3"},
    };
    for (const auto& row : rows) {
        qInfo("%s", row.what);
        f.MP3Player1.Close();
        const int stalled = server.Stalled();
        if (row.stationFirst)
            f.OpenChosenFile(server.Url());
        else
            f.OpenPlaylist({server.Url()}, true);
        QVERIFY(WaitUntil([&] { return server.Stalled() > stalled; }));
        row.newer();
        QVERIFY(WaitUntil([&] { return server.Closed() == server.Stalled(); }, 10000));
        QVERIFY(WaitUntil([&] { return TEndPlayLog::Name(f.MP3Player1.FileName()) == row.loaded; }));
        QVERIFY(!f.MP3Player1.Connecting());
    }
}

QTEST_MAIN(ListOpeningTest)
#include "list_opening_test.moc"
