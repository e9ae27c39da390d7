// camsim: plug, unplug and steer the simulated cameras from a shell.
#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "CamSim.h"
#include "CaptureImporter.h"
#include "NumberText.h"
#include "ProfileLoader.h"
#include "StateJson.h"

namespace {

using Args = std::vector<std::string>;

const char kUsage[] =
    "Usage: camsim [--state-dir DIR] COMMAND [ARGS...]\n"
    "\n"
    "Steers the simulated cameras that libgphoto2 sees with CAMLIBS/IOLIBS pointing at the\n"
    "simulator's build (e.g. the stock gphoto2 tool). The camera lives in DIR\n"
    "(default $CAMSIM_STATE_DIR, else /tmp/camsim-<uid>). With CAMSIM_USB_DEVFS=DEV (e.g.\n"
    "/dev/bus/usb in a private mount namespace) plug, replug and unplug also make and remove\n"
    "the camera's USB device node DEV/999/001, as the kernel does for a real camera.\n"
    "\n"
    "Commands:\n"
    "  plug MODEL|PROFILE       plug a camera: exact model string, profile stem or .json path\n"
    "  unplug                   pull the cable (open cameras fail with I/O errors)\n"
    "  replug                   plug the same camera back with its state\n"
    "  show                     model, plug state, widgets, faults and pending events\n"
    "  models                   the model strings the simulator offers\n"
    "  profiles                 the profile stems in the profile directory\n"
    "  get NAME                 print a widget's current value\n"
    "  choices NAME             print a widget's choices, one a line\n"
    "  set NAME VALUE           change a value on the camera side, raising no event\n"
    "  change NAME VALUE        change a value as if turned on the camera (raises its event and\n"
    "                           moves the widgets linked to it, e.g. 500e and expprogram); on a\n"
    "                           body at the USB wire the widget's text (iso 3200, f-number f/8)\n"
    "                           becomes its property's raw value and the vendor's change event,\n"
    "                           and NAME may be a property code (0xD21E 3200)\n"
    "  received [--clear]       values the camera was sent through libgphoto2, in order; at the\n"
    "                           USB wire 0xCODE=VALUE for a property the driver set and\n"
    "                           op 0xCODE PARAMS for a vendor operation it ran\n"
    "  stubborn NAME on|off     accept sets of NAME but keep the old value\n"
    "  settle MS                a set takes effect and raises its events MS milliseconds later\n"
    "  latency [zero|realistic] [transaction=MS] [open=MS] [settle=MS]\n"
    "                           print the camera's latency model, or set it: a preset (realistic:\n"
    "                           figures measured on real USB cameras), then single figures\n"
    "  event TYPE ARGS...       queue a camera event:\n"
    "                             10 STATE          recording state (1 recording, 0 stopped)\n"
    "                             11|12|13|15 N     aperture x100, white balance, ISO, focus code\n"
    "                             16 NUM DEN        shutter speed fraction\n"
    "                             17 CODE           exposure program code (e.g. 0x8050)\n"
    "                             0 TEXT            GP_EVENT_UNKNOWN with a text\n"
    "                             2|3|5 PATH        file added, folder added, file changed\n"
    "                             raw TYPE HEX      any type with a raw data block (types 10..17\n"
    "                                               need at least the sizes above: 24, 4, 8, 2 bytes)\n"
    "                             ptp CODE [P...]   a container on the USB interrupt pipe (at most\n"
    "                                               3 parameters), e.g. ptp 0xC203 0xD21E\n"
    "  events [--clear]         number of pending events\n"
    "  scans                    how often libgphoto2 listed the simulated USB port (bus scans)\n"
    "  fail lookup NAME CODE    looking NAME up fails with CODE (0 clears)\n"
    "  fail value NAME none|novalue|typeless\n"
    "                           serve NAME without a value, or as a typeless section\n"
    "  fail set NAME CODE       setting NAME fails with CODE (0 clears)\n"
    "  fail connect CODE TIMES  the next TIMES camera opens fail with CODE\n"
    "  fail event CODE [TIMES]  the next TIMES event waits return CODE (e.g. -7, -52, -105)\n"
    "  fail busy TIMES          at the USB wire: the next TIMES operations answer Device Busy\n"
    "  fail stall TIMES         at the USB wire: the next TIMES reads fail with a halted endpoint\n"
    "  fail lose-event TIMES    at the USB wire: the next TIMES events the body raises are lost\n"
    "  fail clear               remove every fault\n"
    "  import CAPTURE [--model MODEL] [--inherits BASE] [-o PROFILE.json]\n"
    "                           make a profile from a real camera's capture: the text of\n"
    "                           gphoto2 --summary and --list-all-config (- reads standard\n"
    "                           input); BASE gives what a capture cannot hold (events,\n"
    "                           effects, reactions); standard output without -o\n"
    "\n"
    "CODE is a libgphoto2 error number (-10) or name (timeout, io, io-usb-find, busy,\n"
    "bad-parameters, not-supported, model-not-found, GP_ERROR_TIMEOUT, ...).\n";

struct CodeName {
    const char* name;
    int code;
};
const CodeName kCodes[] = {{"error", GP_ERROR},
                           {"bad-parameters", GP_ERROR_BAD_PARAMETERS},
                           {"no-memory", GP_ERROR_NO_MEMORY},
                           {"library", GP_ERROR_LIBRARY},
                           {"not-supported", GP_ERROR_NOT_SUPPORTED},
                           {"io", GP_ERROR_IO},
                           {"timeout", GP_ERROR_TIMEOUT},
                           {"io-usb-find", GP_ERROR_IO_USB_FIND},
                           {"io-usb-claim", GP_ERROR_IO_USB_CLAIM},
                           {"corrupted-data", GP_ERROR_CORRUPTED_DATA},
                           {"model-not-found", GP_ERROR_MODEL_NOT_FOUND},
                           {"busy", GP_ERROR_CAMERA_BUSY},
                           {"camera-error", GP_ERROR_CAMERA_ERROR}};

bool ParseInt(const std::string& text, long long* out) {
    return numtext::WholeInteger(text, LLONG_MIN, LLONG_MAX, *out, true);
}

bool ParseIntIn(const std::string& text, long long low, long long high, long long* out) {
    return ParseInt(text, out) && *out >= low && *out <= high;
}

bool ParseCode(std::string text, int* code) {
    long long n = 0;
    if (ParseInt(text, &n)) {
        *code = static_cast<int>(n);
        return true;
    }
    for (char& c : text)
        c = static_cast<char>(c == '_' ? '-' : std::tolower(static_cast<unsigned char>(c)));
    if (text.rfind("gp-error-", 0) == 0)
        text = text.substr(9);
    for (const CodeName& c : kCodes) {
        if (text == c.name) {
            *code = c.code;
            return true;
        }
    }
    return false;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "camsim: %s\nTry 'camsim --help'.\n", problem);
    return 2;
}

class Command {
  public:
    explicit Command(camsim::Simulator& sim) : m_sim(sim) {}

    int Run(const Args& a) {
        const std::string& c = a[0];
        size_t n = a.size() - 1;
        if (c == "plug" && n == 1)
            return Check(m_sim.Plug(a[1]));
        if (c == "unplug" && n == 0)
            return Check(m_sim.Unplug());
        if (c == "replug" && n == 0)
            return Check(m_sim.Replug());
        if (c == "show" && n == 0)
            return Show();
        if (c == "models" && n == 0)
            return PrintLines(camsim::Models());
        if (c == "profiles" && n == 0)
            return PrintLines(camsim::ProfileNames());
        if (c == "get" && n == 1)
            return Get(a[1]);
        if (c == "choices" && n == 1)
            return Choices(a[1]);
        if (c == "set" && n == 2)
            return Check(m_sim.SetValue(a[1], a[2]));
        if (c == "change" && n == 2)
            return Check(m_sim.ChangeOnCamera(a[1], a[2]));
        if (c == "received" && n <= 1)
            return Received(n == 1 ? a[1] : "");
        if (c == "stubborn" && n == 2 && (a[2] == "on" || a[2] == "off")) {
            return Check(m_sim.SetStubborn(a[1], a[2] == "on"));
        }
        if (c == "settle" && n == 1)
            return Settle(a[1]);
        if (c == "latency")
            return Latency(Args(a.begin() + 1, a.end()));
        if (c == "event" && n >= 1)
            return Event(Args(a.begin() + 1, a.end()));
        if (c == "scans" && n == 0) {
            std::printf("%lld\n", static_cast<long long>(m_sim.BusScans()));
            return 0;
        }
        if (c == "events" && n <= 1)
            return Events(n == 1 ? a[1] : "");
        if (c == "fail" && n >= 1)
            return Fail(Args(a.begin() + 1, a.end()));
        if (c == "import")
            return Import(Args(a.begin() + 1, a.end()));
        return Usage(("unknown command or wrong arguments: " + c).c_str());
    }

  private:
    int Check(int rc) {
        if (rc == GP_OK)
            return 0;
        std::fprintf(stderr, "camsim: %s (%s, %d)\n", m_sim.LastError().c_str(), gp_result_as_string(rc), rc);
        return 1;
    }

    static int PrintLines(const std::vector<std::string>& lines) {
        for (const std::string& l : lines)
            std::printf("%s\n", l.c_str());
        return 0;
    }

    int Get(const std::string& name) {
        auto v = m_sim.Value(name);
        if (!v) {
            std::string why = m_sim.Model().empty() ? m_sim.LastError() : "no widget \"" + name + "\"";
            std::fprintf(stderr, "camsim: %s\n", why.c_str());
            return 1;
        }
        std::printf("%s\n", v->c_str());
        return 0;
    }

    int Choices(const std::string& name) {
        if (!m_sim.Value(name))
            return Get(name);
        return PrintLines(m_sim.Choices(name));
    }

    int Received(const std::string& option) {
        if (option == "--clear") {
            m_sim.ClearReceived();
            return 0;
        }
        if (!option.empty())
            return Usage("received takes only --clear");
        return PrintLines(m_sim.Received());
    }

    int Events(const std::string& option) {
        if (option == "--clear")
            return Check(m_sim.ClearEvents());
        if (!option.empty())
            return Usage("events takes only --clear");
        std::printf("%zu\n", m_sim.PendingEvents());
        return 0;
    }

    int Settle(const std::string& text) {
        long long ms = 0;
        if (!ParseInt(text, &ms) || ms < 0 || ms > 3600000)
            return Usage("settle needs milliseconds");
        return Check(m_sim.SetSettleDelay(static_cast<int>(ms)));
    }

    int Latency(const Args& a) {
        std::optional<camsim::LatencyModel> current = m_sim.Latency();
        if (!current) {
            std::fprintf(stderr, "camsim: %s\n", m_sim.LastError().c_str());
            return 1;
        }
        if (a.empty()) {
            std::printf("transaction=%d open=%d settle=%d\n", current->transactionMs, current->openMs,
                        current->settleMs);
            return 0;
        }
        camsim::LatencyModel model = *current;
        for (size_t i = 0; i < a.size(); ++i) {
            if (i == 0 && (a[i] == "zero" || a[i] == "realistic")) {
                model = a[i] == "zero" ? camsim::LatencyModel() : camsim::RealisticLatencyModel();
                continue;
            }
            std::string::size_type eq = a[i].find('=');
            std::string key = a[i].substr(0, eq);
            int* field = key == "transaction" ? &model.transactionMs
                         : key == "open"      ? &model.openMs
                         : key == "settle"    ? &model.settleMs
                                              : nullptr;
            long long ms = 0;
            if (eq == std::string::npos || !field || !ParseInt(a[i].substr(eq + 1), &ms) || ms < 0 ||
                ms > 3600000)
                return Usage(("latency: bad argument " + a[i]).c_str());
            *field = static_cast<int>(ms);
        }
        return Check(m_sim.SetLatency(model));
    }

    int Event(const Args& a) {
        long long type = 0, x = 0, y = 0;
        if (a[0] == "ptp") {
            std::vector<uint32_t> params;
            if (a.size() < 2 || a.size() > 5 || !ParseIntIn(a[1], 0, 0xFFFF, &type))
                return Usage("event ptp CODE [PARAM...] (a 16-bit code, at most 3 parameters)");
            for (size_t i = 2; i < a.size(); ++i) {
                if (!ParseIntIn(a[i], 0, UINT32_MAX, &x))
                    return Usage("event ptp: a parameter is a 32-bit number");
                params.push_back(static_cast<uint32_t>(x));
            }
            return Check(m_sim.QueuePtpEvent(static_cast<uint16_t>(type), params));
        }
        if (a[0] == "raw") {
            if (a.size() != 3 || !ParseIntIn(a[1], INT_MIN, INT_MAX, &type) || a[2].size() % 2)
                return Usage("event raw TYPE HEX");
            std::vector<uint8_t> data;
            for (size_t i = 0; i < a[2].size(); i += 2) {
                if (!ParseInt("0x" + a[2].substr(i, 2), &x))
                    return Usage("event raw: HEX must be hexadecimal");
                data.push_back(static_cast<uint8_t>(x));
            }
            return Check(m_sim.QueueEvent(static_cast<int>(type), data));
        }
        if (!ParseIntIn(a[0], INT_MIN, INT_MAX, &type))
            return Usage("event TYPE must be a number or raw");
        switch (type) {
            case 10:
                if (a.size() != 2 || !ParseIntIn(a[1], INT32_MIN, INT32_MAX, &x))
                    return Usage("event 10 STATE (a 32-bit number)");
                return Check(m_sim.QueueRecordEvent(static_cast<int32_t>(x)));
            case 11:
            case 12:
            case 13:
            case 15:
                if (a.size() != 2 || !ParseIntIn(a[1], INT32_MIN, UINT32_MAX, &x))
                    return Usage("event TYPE NUMBER (a 32-bit number)");
                // signed or unsigned (ISO): the field's bit pattern
                return Check(m_sim.QueueInt32Event(static_cast<int>(type),
                                                   static_cast<int32_t>(static_cast<uint32_t>(x))));
            case 16:
                if (a.size() != 3 || !ParseIntIn(a[1], INT32_MIN, INT32_MAX, &x) ||
                    !ParseIntIn(a[2], INT32_MIN, INT32_MAX, &y))
                    return Usage("event 16 NUM DEN (32-bit numbers)");
                return Check(m_sim.QueueShutterEvent(static_cast<int32_t>(x), static_cast<int32_t>(y)));
            case 17:
                if (a.size() != 2 || !ParseIntIn(a[1], 0, 0xFFFF, &x))
                    return Usage("event 17 CODE (0 to 0xFFFF)");
                return Check(m_sim.QueueModeEvent(static_cast<uint16_t>(x)));
            default: {
                std::string text;
                for (size_t i = 1; i < a.size(); ++i)
                    text += (i > 1 ? " " : "") + a[i];
                return Check(m_sim.QueueTextEvent(static_cast<int>(type), text));
            }
        }
    }

    int Fail(const Args& a) {
        int code = 0;
        const std::string& what = a[0];
        if (what == "clear" && a.size() == 1) {
            m_sim.ClearFaults();
            return 0;
        }
        if (what == "lookup" && a.size() == 3 && ParseCode(a[2], &code))
            return Check(m_sim.FailLookup(a[1], code));
        if (what == "set" && a.size() == 3 && ParseCode(a[2], &code))
            return Check(m_sim.FailSet(a[1], code));
        if (what == "value" && a.size() == 3) {
            if (a[2] == "none")
                return Check(m_sim.SetValueFault(a[1], camsim::ValueFault::None));
            if (a[2] == "novalue")
                return Check(m_sim.SetValueFault(a[1], camsim::ValueFault::NoValue));
            if (a[2] == "typeless")
                return Check(m_sim.SetValueFault(a[1], camsim::ValueFault::Typeless));
        }
        long long times = 1;
        using Kind = camsim::Simulator::PtpFaultKind;
        const std::pair<const char*, Kind> ptpFaults[] = {
            {"busy", Kind::Busy}, {"stall", Kind::Stall}, {"lose-event", Kind::LoseEvent}};
        for (const auto& [name, kind] : ptpFaults) {
            if (what == name && a.size() == 2 && ParseIntIn(a[1], 0, 1000000, &times))
                return Check(m_sim.PtpFault(kind, static_cast<int>(times)));
        }
        if (what == "connect" && a.size() == 3 && ParseCode(a[1], &code) && ParseInt(a[2], &times)) {
            return Check(m_sim.FailConnect(code, static_cast<int>(times)));
        }
        if (what == "event" && (a.size() == 2 || a.size() == 3) && ParseCode(a[1], &code) &&
            (a.size() == 2 || ParseInt(a[2], &times))) {
            return Check(m_sim.FailEventWait(code, static_cast<int>(times)));
        }
        return Usage(("bad fail arguments: " + what).c_str());
    }

    // Reads a whole file ("-": standard input), refusing more than limit bytes.
    static bool ReadAll(const std::string& path, size_t limit, std::string* out, std::string* error) {
        FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
        if (!f) {
            *error = std::strerror(errno);
            return false;
        }
        char buf[65536];
        size_t n = 0;
        while (out->size() <= limit && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out->append(buf, n);
        bool failed = std::ferror(f);
        if (failed)
            *error = std::strerror(errno);
        if (f != stdin)
            std::fclose(f);
        if (!failed && out->size() > limit) {
            *error = "larger than " + std::to_string(limit >> 20) + " MiB: not a capture";
            failed = true;
        }
        return !failed;
    }

    int Import(const Args& a) {
        std::string capture, model, base, output;
        for (size_t i = 0; i < a.size(); ++i) {
            const std::string& arg = a[i];
            std::string* option = arg == "--model"                   ? &model
                                  : arg == "--inherits"              ? &base
                                  : arg == "-o" || arg == "--output" ? &output
                                                                     : nullptr;
            if (option) {
                if (i + 1 == a.size())
                    return Usage(("import: " + arg + " needs a value").c_str());
                *option = a[++i];
            } else if (arg.size() > 1 && arg[0] == '-') {
                return Usage(("import: unknown option " + arg).c_str());
            } else if (!capture.empty()) {
                return Usage("import takes one capture");
            } else {
                capture = arg;
            }
        }
        if (capture.empty())
            return Usage("import needs a capture file (- for standard input)");
        std::string text, error, basePath;
        if (!ReadAll(capture, camsim::CaptureImporter::kMaxCaptureBytes, &text, &error)) {
            std::fprintf(stderr, "camsim: cannot read the capture %s: %s\n", capture.c_str(), error.c_str());
            return 1;
        }
        if (!base.empty() && camsim::ResolveProfile(base, camsim::ProfileDir(), &basePath, &error) != GP_OK) {
            std::fprintf(stderr, "camsim: --inherits: %s\n", error.c_str());
            return 1;
        }
        camsim::CaptureImporter importer(capture == "-" ? "<stdin>" : capture);
        nlohmann::ordered_json profile;
        int rc = importer.Parse(text);
        if (rc == GP_OK)
            rc = importer.Build(model, basePath, &profile);
        for (const std::string& m : importer.Messages())
            std::fprintf(stderr, "%s\n", m.c_str());
        if (rc != GP_OK) {
            std::fprintf(stderr, "%s\n", importer.Error().c_str());
            return 1;
        }
        std::string json = camsim::DumpJson(profile, 2) + "\n";
        if (output.empty()) {
            std::fwrite(json.data(), 1, json.size(), stdout);
        } else {
            FILE* f = std::fopen(output.c_str(), "wb");
            bool ok = f && std::fwrite(json.data(), 1, json.size(), f) == json.size();
            if (f && std::fclose(f) != 0)
                ok = false;
            if (!ok) {
                std::fprintf(stderr, "camsim: cannot write %s: %s\n", output.c_str(), std::strerror(errno));
                return 1;
            }
        }
        std::fprintf(stderr, "camsim import: %s: \"%s\", %zu widgets (%zu from the capture)\n",
                     output.empty() ? "standard output" : output.c_str(),
                     profile["model"].get<std::string>().c_str(), profile["widgets"].size(),
                     importer.Widgets().size());
        return 0;
    }

    int Show() {
        std::string model = m_sim.Model();
        if (model.empty()) {
            std::printf("State directory: %s\nNo camera (%s)\n", m_sim.StateDir().c_str(),
                        m_sim.LastError().c_str());
            return 0;
        }
        std::printf("State directory: %s\nModel: %s\nProfile: %s\nPlugged: %s\nPending events: %zu\n",
                    m_sim.StateDir().c_str(), model.c_str(), m_sim.Profile().c_str(),
                    m_sim.Plugged() ? "yes" : "no", m_sim.PendingEvents());
        std::printf("At the USB wire: %s\n",
                    m_sim.HasPtpBody() ? "yes (camera-host --ptp, IOLIBS=<build>/sim/ptp-iolibs)" : "no");
        if (std::optional<camsim::LatencyModel> l = m_sim.Latency()) {
            std::printf("Latency: transaction %d ms, open %d ms, settle %d ms\n", l->transactionMs, l->openMs,
                        l->settleMs);
        }
        static const char* const kKinds[] = {"text", "range", "toggle", "radio", "menu", "date"};
        std::printf("Widgets:\n");
        for (const camsim::WidgetInfo& w : m_sim.Widgets()) {
            std::printf("  %-26s %-6s %s", w.name.c_str(), kKinds[static_cast<int>(w.kind)], w.value.c_str());
            if (!w.choices.empty())
                std::printf("  (%zu choices)", w.choices.size());
            std::printf("\n");
        }
        return 0;
    }

    camsim::Simulator& m_sim;
};

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    std::string dir = camsim::DefaultStateDir();
    while (!args.empty() && args[0].rfind("--", 0) == 0) {
        if (args[0] == "--help" || args[0] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[0] == "--state-dir" && args.size() >= 2) {
            dir = args[1];
            args.erase(args.begin(), args.begin() + 2);
            continue;
        }
        if (args[0].rfind("--state-dir=", 0) == 0) {
            dir = args[0].substr(12);
            args.erase(args.begin());
            continue;
        }
        return Usage(("unknown option " + args[0]).c_str());
    }
    if (args.empty())
        return Usage("missing command");
    if (args[0] == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    camsim::Simulator sim(dir);
    return Command(sim).Run(args);
}
