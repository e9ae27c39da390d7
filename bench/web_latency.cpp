// Record-to-browser latency of the web remote: a record published on the bus (event 9000) to
// the moment each of N event-stream clients has read its SSE event, over loopback, beside the
// bus alone (publish to a plain subscriber's callback). The server is the plug-in's own code on
// an ephemeral port; the clients are plain sockets reading the stream as a browser would.
//   web_latency_bench [CLIENTS] [RECORDS] [INTERVAL_MS]     (default 1 500 10)
// Prints p50/p99/max of both, and how many events the clients missed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "CameraParams.h"
#include "PluginCameraWeb.h"

namespace {

using Clock = std::chrono::steady_clock;

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0)
        return -1;
    const char request[] = "GET /api/events HTTP/1.1\r\nHost: bench\r\n\r\n";
    send(fd, request, sizeof(request) - 1, MSG_NOSIGNAL);
    return fd;
}

// Reads events until record `records` has come; stamps each record's arrival by its ISO text.
void Client(int fd, int records, std::vector<Clock::time_point>& arrived) {
    std::string in;
    char buf[16384];
    int next = 0;
    while (next < records) {
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        Clock::time_point now = Clock::now();
        in.append(buf, static_cast<size_t>(n));
        size_t end;
        while ((end = in.find("\n\n")) != std::string::npos) {
            size_t at = in.find("\"iso\":\"b");
            if (at != std::string::npos && at < end) {
                int seq = std::atoi(in.c_str() + at + 8);
                if (seq >= 0 && seq < records) {
                    arrived[static_cast<size_t>(seq)] = now;
                    next = seq + 1;
                }
            }
            in.erase(0, end + 2);
        }
    }
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    const int clients = argc > 1 ? std::atoi(argv[1]) : 1;
    const int records = argc > 2 ? std::atoi(argv[2]) : 500;
    const int intervalMs = argc > 3 ? std::atoi(argv[3]) : 10;
    setenv("ZRLOG_LEVEL", "2", 0);

    auto bus = std::make_shared<VirtualEventBus>();
    std::vector<Clock::time_point> published(static_cast<size_t>(records)),
        onBus(static_cast<size_t>(records));
    std::atomic<int> current{0};
    bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                   {[&](void*, int) { onBus[static_cast<size_t>(current.load())] = Clock::now(); }, &onBus});
    PluginCameraWeb web("web");
    WebConfig config;
    config.port = 0;
    config.maxConnections = clients + 8;
    if (web.Start(bus, config) != 0)
        return 1;

    std::vector<std::vector<Clock::time_point>> arrived(
        static_cast<size_t>(clients), std::vector<Clock::time_point>(static_cast<size_t>(records)));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        int fd = Connect(web.Port());
        threads.emplace_back([fd, records, &arrived, c] {
            Client(fd, records, arrived[static_cast<size_t>(c)]);
            close(fd);
        });
    }
    while (web.Hub()->Streams() != clients)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    CameraParams p;
    p.cameraType = SonyA7M3;
    p.connectState = 1;
    p.supportedIso = {"AUTO", "100", "200", "400", "800", "1600", "3200", "6400", "12800", "25600"};
    // About the size of a Sony body's record (lists of that length).
    p.supportedShutterSpeed = std::vector<std::string>(52, "1/1000");
    p.supportedIris = std::vector<std::string>(23, "f/2.8");
    p.supportedWhiteBalance = std::vector<std::string>(10, "Daylight");
    p.supportedFocusMode = {"AF-S", "AF-C", "DMF", "AF-A", "MF"};
    for (int i = 0; i < records; ++i) {
        p.iso = "b" + std::to_string(i);  // the sequence number, for the clients
        current = i;
        published[static_cast<size_t>(i)] = Clock::now();
        bus->Publish(CAMERA_PARAMS_NOTIFY_EVENT, &p, kCameraParamsWireSize);
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t recordBytes = web.Hub()->Last().size();
    web.UnInit();  // ends the streams of clients still waiting
    for (std::thread& t : threads)
        t.join();

    std::vector<double> busMs, webMs;
    long lost = 0;
    for (int i = 0; i < records; ++i) {
        auto from = published[static_cast<size_t>(i)];
        busMs.push_back(
            std::chrono::duration<double, std::milli>(onBus[static_cast<size_t>(i)] - from).count());
        for (int c = 0; c < clients; ++c) {
            auto at = arrived[static_cast<size_t>(c)][static_cast<size_t>(i)];
            if (at == Clock::time_point())
                ++lost;
            else
                webMs.push_back(std::chrono::duration<double, std::milli>(at - from).count());
        }
    }
    std::printf("clients %d, records %d every %d ms, record JSON %zu bytes\n", clients, records, intervalMs,
                recordBytes);
    std::printf("bus only      p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", Percentile(busMs, .5),
                Percentile(busMs, .99), Percentile(busMs, 1));
    std::printf("to the client p50 %.3f ms  p99 %.3f ms  max %.3f ms  (%zu events, %ld lost)\n",
                Percentile(webMs, .5), Percentile(webMs, .99), Percentile(webMs, 1), webMs.size(), lost);
    return lost == 0 ? 0 : 3;
}
