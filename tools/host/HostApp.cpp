#include "HostApp.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "CamSim.h"
#include "RecordFormat.h"
#include "zrlog.h"
#include "zrlog_text.h"

namespace tools {

namespace {

std::string DefaultPluginPath(const char* name) {
    char exe[PATH_MAX] = {0};
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/'));
    // Installed, the plug-in is in the library directory of the install layout (relative to
    // the program directory, CAMCTRL_BIN_TO_LIB); in a build tree it is in build/lib.
    std::string installed = dir + "/" CAMCTRL_BIN_TO_LIB "/" + name;
    if (::access(installed.c_str(), F_OK) == 0)
        return installed;
    return dir + "/../lib/" + name;
}

// The device's camera driver (driver/README.md): installed in the plug-in's package directory
// under the library directory, or built beside this program's build tree. Empty when absent.
std::string DeviceDriverDir() {
    char exe[PATH_MAX] = {0};
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/'));
    for (const std::string& d :
         {dir + "/" CAMCTRL_BIN_TO_LIB "/plugincameractrl/camlibs", dir + "/../driver/camlibs"}) {
        if (::access((d + "/ptp2.so").c_str(), F_OK) == 0)
            return d;
    }
    return "";
}

// "[ADDR:]PORT", ADDR an IPv4 address, "localhost" or a bracketed IPv6 address.
bool ParseWebAddress(const std::string& text, std::string& address, int& port) {
    size_t colon = text.rfind(':');
    address = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
    if (address.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::atoi(digits.c_str());
    return port <= 65535;
}

// The camera's texts in a record, escaped for the console.
CameraParams EscapedRecord(CameraParams p) {
    for (std::string* s : {&p.focusMode, &p.iso, &p.iris, &p.shutterSpeed, &p.mode, &p.whiteBalance})
        *s = zrlog::EscapeControls(*s);
    for (std::vector<std::string>* list :
         {&p.supportedFocusMode, &p.supportedIso, &p.supportedIris, &p.supportedShutterSpeed,
          &p.supportedMode, &p.supportedWhiteBalance}) {
        for (std::string& s : *list)
            s = zrlog::EscapeControls(s);
    }
    return p;
}

// JSON text for the console: the dump escapes C0 controls itself; DEL, C1 controls and the
// bidirectional ones become \u escapes too, which mean the same to a JSON reader.
std::string ConsoleJson(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (char c : json)
        out += c == '\x7f' ? std::string("\\u007f") : std::string(1, c);
    return zrlog::EscapeControls(out);
}

}  // namespace

const char* HostUsage() {
    return "usage: camera-host [--simulate MODEL|PROFILE [--ptp [--camlibs DIR]]] [--state-dir DIR] "
           "[--json]\n"
           "                   [--remote NAME]...\n"
           "                   [--script FILE] [--plugin PATH] [--web [ADDR:]PORT [--web-token "
           "FILE|generate]]\n"
           "                   [--help]\n"
           "Loads libPluginCameraCtrl.so as the device's host does, prints every parameter record it\n"
           "publishes, and publishes set requests read from --script FILE and then standard input.\n"
           "  --simulate M  use the simulated camera M (model string, e.g. \"Sony Alpha-A7 III (PC "
           "Control)\",\n"
           "                or profile name, e.g. sony-a7m3), plugged before start; without it the system's\n"
           "                camera driver and real USB cameras are used: the device's driver when it is\n"
           "                installed (plugincameractrl-driver), else the system's libgphoto2 drivers\n"
           "  --ptp         with --simulate: the camera at the USB wire (PTP), driven by the system's\n"
           "                libgphoto2 camera drivers as a real body on a cable is\n"
           "  --camlibs D   with --ptp: the camera drivers of directory D instead of the system's\n"
           "  --state-dir D simulator state directory (default: $CAMSIM_STATE_DIR or the per-user default),\n"
           "                shared with the camsim command\n"
           "  --json        one JSON object per record instead of a readable block\n"
           "  --remote N    also forward every event as a datagram to the local name N (repeatable)\n"
           "  --script F    run the commands of file F first\n"
           "  --plugin P    plug-in library to load (default: libPluginCameraCtrl.so in the\n"
           "                library directory beside this program)\n"
           "  --web [A:]P   also load the web remote (libPluginCameraWeb.so beside the plug-in), listening\n"
           "                on address A (default 127.0.0.1) port P (0: any free port; the address is "
           "printed)\n"
           "  --web-token T the web remote's token: the first line of file T, or \"generate\" for a random\n"
           "                one (printed); required when A is not a loopback address\n";
}

int ParseHostOptions(int argc, char** argv, HostOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            return 1;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--simulate") {
            if (!value(options.simulate))
                return 2;
        } else if (arg == "--ptp") {
            options.ptp = true;
        } else if (arg == "--camlibs") {
            if (!value(options.camlibs))
                return 2;
        } else if (arg == "--state-dir") {
            if (!value(options.stateDir))
                return 2;
        } else if (arg == "--script") {
            if (!value(options.script))
                return 2;
        } else if (arg == "--plugin") {
            if (!value(options.plugin))
                return 2;
        } else if (arg == "--web") {
            if (!value(v))
                return 2;
            if (!ParseWebAddress(v, options.web, options.webPort)) {
                error = "--web expects [ADDR:]PORT, e.g. 8080 or 0.0.0.0:8080";
                return 2;
            }
        } else if (arg == "--web-token") {
            if (!value(options.webToken))
                return 2;
        } else if (arg == "--remote") {
            if (!value(v))
                return 2;
            if (v.size() > ZR_LOCAL_UDP_NAME_MAX) {
                error = "--remote name longer than " + std::to_string(ZR_LOCAL_UDP_NAME_MAX) + " bytes";
                return 2;
            }
            options.remotes.push_back(v);
        } else {
            error = "unknown argument '" + arg + "'";
            return 2;
        }
    }
    if (options.ptp && options.simulate.empty()) {
        error = "--ptp needs --simulate";
        return 2;
    }
    if (!options.camlibs.empty() && !options.ptp) {
        error = "--camlibs needs --ptp";
        return 2;
    }
    if (!options.webToken.empty() && options.web.empty()) {
        error = "--web-token needs --web";
        return 2;
    }
    if (options.plugin.empty()) {
        options.plugin = DefaultPluginPath("libPluginCameraCtrl.so");
    }
    std::string pluginDir = options.plugin.substr(0, options.plugin.find_last_of('/') + 1);
    options.webPlugin = pluginDir + "libPluginCameraWeb.so";
    return 0;
}

HostApp::HostApp(HostOptions options) : m_options(std::move(options)) {}

HostApp::~HostApp() {
    Stop();
}

void HostApp::Say(const std::string& text) {
    if (m_options.json)
        return;  // standard output carries only records then
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void HostApp::Complain(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_outputMutex);
    std::fprintf(stderr, "camera-host: %s\n", zrlog::EscapeControls(text).c_str());
    std::fflush(stderr);
}

void HostApp::OnRecord(const CameraParams& params) {
    std::string out = m_options.json ? ConsoleJson(RecordToJson(params).dump(
                                           -1, ' ', false, nlohmann::json::error_handler_t::replace)) +
                                           "\n"
                                     : RecordToText(EscapedRecord(params));
    std::lock_guard<std::mutex> lock(m_outputMutex);
    FILE* to = m_records != nullptr ? m_records : stdout;
    std::fputs(out.c_str(), to);
    std::fflush(to);
}

bool HostApp::SeparateRecords() {
    // The plug-in prints trace lines to standard output; with --json that stream
    // must carry records only, so the records keep the original descriptor and
    // everything else written to descriptor 1 goes to standard error.
    std::fflush(stdout);
    int fd = ::dup(STDOUT_FILENO);
    if (fd < 0)
        return false;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_records = ::fdopen(fd, "w");
    if (m_records == nullptr) {
        ::close(fd);
        return false;
    }
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return false;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return true;
}

bool HostApp::Start() {
    if (!m_signals.Ok()) {
        Complain("cannot watch for signals");
        return false;
    }
    if (m_options.json && !SeparateRecords()) {
        Complain("cannot keep standard output for records");
        return false;
    }
    if (!m_options.simulate.empty()) {
        std::string dir = m_options.stateDir;
        if (dir.empty())
            dir = camsim::DefaultStateDir();
        if (m_options.ptp)
            camsim::UsePtpDrivers(m_options.camlibs, dir);
        else
            camsim::UseSimulatorDrivers(dir);
        m_sim.reset(new camsim::Simulator(dir));
        if (m_sim->Plug(m_options.simulate) != 0) {
            Complain("cannot simulate '" + m_options.simulate + "': " + m_sim->LastError());
            return false;
        }
        if (m_options.ptp && !m_sim->HasPtpBody()) {
            Complain("'" + m_options.simulate + "' has no body data for the USB wire (sim/ptp/bodies)");
            return false;
        }
        Say("simulated camera: " +
            zrlog::EscapeControls(m_sim->Model() + (m_options.ptp ? " at the USB wire" : "") + " (state in " +
                                  dir + ")") +
            "\n");
    } else if (std::getenv("CAMLIBS") == nullptr) {
        // A real camera: the device's own driver when it is there (CAMLIBS set by the caller wins).
        const std::string driver = DeviceDriverDir();
        if (!driver.empty()) {
            ::setenv("CAMLIBS", driver.c_str(), 1);
            Say("camera driver: " + zrlog::EscapeControls(driver) + "/ptp2.so (the device's)\n");
        }
    }
    m_bus = std::make_shared<VirtualEventBus>();
    m_bus->m_udpSocket = zr_local_udp_open(nullptr);
    for (const std::string& name : m_options.remotes) {
        m_bus->m_remoteNames.insert(name);
    }
    m_bus->Subscribe(CAMERA_PARAMS_NOTIFY_EVENT,
                     {[this](void* data, int length) {
                          if (data != nullptr && length == kCameraParamsWireSize) {
                              OnRecord(*static_cast<const CameraParams*>(data));
                          }
                      },
                      this});
    m_manager.reset(new PluginManager());
    m_plugin = m_manager->LoadPlugin(m_options.plugin.c_str());
    if (m_plugin == nullptr) {
        Complain("cannot load the plug-in " + m_options.plugin);
        return false;
    }
    // Loaded after the camera plug-in, so unloaded after it: the camera's thread has stopped
    // publishing before the web remote goes. Started first, so it sees the first record.
    if (!m_options.web.empty() && !StartWeb())
        return false;
    if (m_plugin->Init(m_bus, nullptr) != 0) {
        Complain("the plug-in did not start");
        return false;
    }
    return true;
}

bool HostApp::StartWeb() {
    PluginInterface* web = m_manager->LoadPlugin(m_options.webPlugin.c_str());
    if (web == nullptr) {
        Complain("cannot load the web remote " + m_options.webPlugin);
        return false;
    }
    // The web remote reads its settings from a file, as on the device; this one lives only
    // until it has read it.
    char path[] = "/tmp/camera-web-XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0) {
        Complain(std::string("cannot write the web remote's configuration: ") + std::strerror(errno));
        return false;
    }
    std::string text = "address = " + m_options.web + "\nport = " + std::to_string(m_options.webPort) + "\n";
    if (m_options.webToken == "generate")
        text += "generate_token = yes\n";
    else if (!m_options.webToken.empty())
        text += "token_file = " + m_options.webToken + "\n";
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    // No other thread runs yet that could read the environment meanwhile.
    ::setenv("CAMERA_WEB_CONF", path, 1);
    int r = written ? web->Init(m_bus, nullptr) : -1;
    ::unsetenv("CAMERA_WEB_CONF");
    ::unlink(path);
    if (r != 0) {
        Complain("the web remote did not start (see its log line above)");
        return false;
    }
    return true;
}

void HostApp::Stop() {
    if (m_manager) {
        m_manager.reset();  // UnInit, delete and unload every plug-in
        m_plugin = nullptr;
    }
    if (m_bus) {
        m_bus->UnSubscribe(CAMERA_PARAMS_NOTIFY_EVENT, this);
        if (m_bus->m_udpSocket >= 0)
            ::close(m_bus->m_udpSocket);
        m_bus.reset();
    }
    if (m_records != nullptr) {
        std::fclose(m_records);
        m_records = nullptr;
    }
}

bool HostApp::Execute(const std::string& line) {
    Command c = ParseCommand(line);
    switch (c.kind) {
        case Command::Kind::Empty:
            return true;
        case Command::Kind::Error:
            Complain(c.text);
            return true;
        case Command::Kind::Help:
            Say(CommandHelp());
            return true;
        case Command::Kind::Quit:
            return false;
        case Command::Kind::Wait:
            return m_signals.Wait(-1, c.waitMs) != 1;
        case Command::Kind::Unplug:
        case Command::Kind::Replug: {
            if (!m_sim) {
                Complain("unplug/replug need --simulate");
                return true;
            }
            int r = c.kind == Command::Kind::Unplug ? m_sim->Unplug() : m_sim->Replug();
            if (r != 0)
                Complain("simulator: " + m_sim->LastError());
            Say(std::string(c.kind == Command::Kind::Unplug ? "> unplugged\n" : "> replugged\n"));
            return true;
        }
        case Command::Kind::Publish: {
            RequestPayload payload = MakePayload(c.text);
            Say("> event " + std::to_string(static_cast<int>(c.event)) + " \"" +
                zrlog::EscapeControls(c.text) + "\"\n");
            m_bus->Publish(c.event, payload.data(), static_cast<int>(payload.size()));
            return true;
        }
    }
    return true;
}

bool HostApp::RunScript() {
    if (m_options.script.empty())
        return true;
    std::ifstream in(m_options.script);
    if (!in) {
        Complain("cannot read script " + m_options.script);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (m_signals.Wait(-1, 0) == 1 || !Execute(line))
            return false;
    }
    return true;
}

void HostApp::RunInput() {
    std::string pending;
    char buf[4096];
    while (true) {
        if (m_signals.Wait(STDIN_FILENO, -1) == 1)
            return;
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof(buf));
        if (n <= 0) {
            if (!pending.empty())
                Execute(pending);
            return;
        }
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!Execute(line))
                return;
        }
        if (pending.size() > 64 * 1024) {
            Complain("input line too long; dropped");
            pending.clear();
        }
    }
}

int HostApp::Run() {
    if (!Start()) {
        Stop();
        return 2;
    }
    if (RunScript()) {
        RunInput();
    }
    Stop();
    return 0;
}

}  // namespace tools
