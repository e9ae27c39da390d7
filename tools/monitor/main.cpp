// camera-monitor: a remote destination that prints every datagram it receives.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "NumberText.h"
#include "RecordFormat.h"
#include "SignalWaiter.h"
#include "zrlog.h"

namespace {

const char kUsage[] =
    "usage: camera-monitor NAME [--json] [--count N]\n"
    "Binds the local datagram name NAME (what camera-host --remote NAME sends to) and prints each\n"
    "datagram: event number, length and, for event 9000, the record's plain fields that the payload\n"
    "holds on this machine. The display mode is shown only where the record is laid out as on the\n"
    "32-bit device (232 bytes, display mode at byte 228); a field not shown is named with the reason\n"
    "(\"notShown\" in JSON).\n"
    "  --json     one JSON object per datagram\n"
    "  --count N  exit after N datagrams\n";

}  // namespace

int main(int argc, char** argv) {
    std::string name;
    bool json = false;
    long count = -1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--count" && i + 1 < argc) {
            long long n = 0;
            if (!numtext::WholeInteger(argv[++i], 1, LONG_MAX, n)) {
                std::fprintf(stderr, "camera-monitor: --count needs a positive number\n");
                return 2;
            }
            count = static_cast<long>(n);
        } else if (name.empty() && !arg.empty() && arg[0] != '-') {
            name = arg;
        } else {
            std::fprintf(stderr, "camera-monitor: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (name.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    tools::SignalWaiter signals;
    int fd = zr_local_udp_open(name.c_str());
    if (fd < 0) {
        std::perror(("camera-monitor: cannot bind '" + name + "'").c_str());
        return 1;
    }
    std::fprintf(stderr, "listening on '%s'\n", name.c_str());
    std::vector<uint8_t> buf(256 * 1024);
    for (long seen = 0; count < 0 || seen < count;) {
        if (signals.Wait(fd, -1) != 2)
            break;
        int n = zr_local_udp_recv(fd, buf.data(), buf.size(), 0);
        if (n < 0)
            break;
        size_t size = std::min(static_cast<size_t>(n), buf.size());
        tools::Datagram d = tools::ParseDatagram(buf.data(), size);
        std::string out = json ? tools::DatagramToJson(d).dump() : tools::DatagramToText(d);
        std::printf("%s\n", out.c_str());
        std::fflush(stdout);
        ++seen;
    }
    ::close(fd);
    return 0;
}
