#include "CamSim.h"

#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>

#include "Body.h"
#include "BodyModel.h"
#include "EventCodec.h"
#include "Models.h"
#include "ProfileLoader.h"
#include "Reactions.h"
#include "StateStore.h"
#include "UsbNode.h"

namespace camsim {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Where the drivers and the profiles are for this program.
struct Layout {
    std::string profiles;
    std::string camlibs;
    std::string iolibs;
    std::string ptpIolibs;
};

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProgramDir() {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0)
        return "";
    std::string path(exe, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

// The build writes this file at the top of its tree: "key=path" lines for profiles, camlibs
// and iolibs.
bool ReadBuildTreeLayout(const std::string& file, Layout* layout) {
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::string::size_type eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "profiles")
            layout->profiles = value;
        else if (key == "camlibs")
            layout->camlibs = value;
        else if (key == "iolibs")
            layout->iolibs = value;
        else if (key == "ptp-iolibs")
            layout->ptpIolibs = value;
    }
    return true;
}

// An installed program has the drivers and profiles at fixed places relative to its own
// directory (CAMSIM_BIN_TO_*, from the install layout), whatever the prefix. A program run
// from a build tree (tools, tests, benchmarks at any depth) finds the build's file in one of
// its parent directories. Installed programs carry no path of the machine they were built on.
Layout FindLayout() {
    Layout layout;
    const std::string dir = ProgramDir();
    if (dir.empty())
        return layout;
    if (IsDirectory(dir + "/" CAMSIM_BIN_TO_PROFILES)) {
        layout.profiles = dir + "/" CAMSIM_BIN_TO_PROFILES;
        layout.camlibs = dir + "/" CAMSIM_BIN_TO_CAMLIBS;
        layout.iolibs = dir + "/" CAMSIM_BIN_TO_IOLIBS;
        layout.ptpIolibs = dir + "/" CAMSIM_BIN_TO_PTP_IOLIBS;
        return layout;
    }
    std::string d = dir;
    while (!d.empty() && !ReadBuildTreeLayout(d + "/" CAMSIM_BUILD_TREE_FILE, &layout)) {
        std::string::size_type slash = d.find_last_of('/');
        d.erase(slash == std::string::npos ? 0 : slash);
    }
    return layout;
}

const Layout& ThisProgramLayout() {
    static const Layout layout = FindLayout();
    return layout;
}

// The public enums mirror the state's own value for value, so a cast maps them.
constexpr bool Same(WidgetKind a, Kind b) {
    return static_cast<int>(a) == static_cast<int>(b);
}
static_assert(Same(WidgetKind::Text, Kind::Text) && Same(WidgetKind::Range, Kind::Range) &&
                  Same(WidgetKind::Toggle, Kind::Toggle) && Same(WidgetKind::Radio, Kind::Radio) &&
                  Same(WidgetKind::Menu, Kind::Menu) && Same(WidgetKind::Date, Kind::Date),
              "WidgetKind mirrors Kind");
static_assert(static_cast<int>(ValueFault::None) == static_cast<int>(Fault::None) &&
                  static_cast<int>(ValueFault::Typeless) == static_cast<int>(Fault::Typeless) &&
                  static_cast<int>(ValueFault::NoValue) == static_cast<int>(Fault::NoValue),
              "ValueFault mirrors Fault");

Kind ToKind(WidgetKind k) {
    return static_cast<Kind>(k);
}
WidgetKind FromKind(Kind k) {
    return static_cast<WidgetKind>(k);
}
Fault ToFault(ValueFault f) {
    return static_cast<Fault>(f);
}

}  // namespace

LatencyModel RealisticLatencyModel() {
    const camsim::Latency l = camsim::RealisticLatency();
    LatencyModel out;
    out.transactionMs = l.transactionMs;
    out.openMs = l.openMs;
    out.settleMs = l.settleMs;
    return out;
}

std::string DefaultStateDir() {
    return StateDirFromEnvironment();
}

std::string ProfileDir() {
    return EnvOr("CAMSIM_PROFILE_DIR", ThisProgramLayout().profiles);
}

void UseSimulatorDrivers(const std::string& stateDir) {
    setenv("CAMLIBS", EnvOr("CAMSIM_CAMLIBS", ThisProgramLayout().camlibs).c_str(), 1);
    setenv("IOLIBS", EnvOr("CAMSIM_IOLIBS", ThisProgramLayout().iolibs).c_str(), 1);
    if (!stateDir.empty())
        setenv("CAMSIM_STATE_DIR", stateDir.c_str(), 1);
}

std::string SystemCamlibs() {
    return CAMSIM_SYSTEM_CAMLIBS;
}

void UsePtpDrivers(const std::string& camlibs, const std::string& stateDir) {
    setenv("CAMLIBS", camlibs.empty() ? SystemCamlibs().c_str() : camlibs.c_str(), 1);
    setenv("IOLIBS", EnvOr("CAMSIM_PTP_IOLIBS", ThisProgramLayout().ptpIolibs).c_str(), 1);
    if (!stateDir.empty())
        setenv("CAMSIM_STATE_DIR", stateDir.c_str(), 1);
}

std::vector<std::string> Models() {
    std::size_t count = 0;
    const ModelInfo* table = ModelTable(&count);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(table[i].model);
    return out;
}

std::vector<std::string> ProfileNames() {
    return ListProfiles(ProfileDir());
}

Simulator::Simulator(std::string stateDir) : m_stateDir(std::move(stateDir)) {}

const std::string& Simulator::StateDir() const {
    return m_stateDir;
}

std::string Simulator::LastError() const {
    return m_lastError;
}

namespace {

// Runs fn on the locked state of dir, keeping the error text for LastError().
int Mutate(const std::string& dir, std::string* lastError, const std::function<int(CameraState&)>& fn) {
    std::string error;
    std::string previous = std::move(*lastError);
    lastError->clear();  // fn may explain its own refusal here
    int rc = StateStore(dir).Update([&](CameraState& s, bool&) { return fn(s); }, &error);
    if (rc == GP_OK) {
        *lastError = std::move(previous);
    } else if (!error.empty()) {
        *lastError = error;
    } else if (lastError->empty()) {
        *lastError = "refused with libgphoto2 code " + std::to_string(rc);
    }
    return rc;
}

// A value put in on the camera side need not be one of the choices, but a range widget's
// value must stay a number that libgphoto2's float and the state file can hold.
int CheckCameraSideValue(const Widget& w, const std::string& value, std::string* lastError) {
    float number = 0;
    if (w.kind == Kind::Range && !RangeNumber(value, &number)) {
        *lastError = "\"" + value + "\" is no value for the range widget \"" + w.name +
                     "\": it must be a finite number a float can hold";
        return GP_ERROR_BAD_PARAMETERS;
    }
    return GP_OK;
}

int OnWidget(const std::string& dir, std::string* lastError, const std::string& name,
             const std::function<int(Widget&)>& fn) {
    return Mutate(dir, lastError, [&](CameraState& s) {
        Widget* w = s.Find(name);
        if (!w) {
            *lastError = "no widget \"" + name + "\" on the plugged camera";
            return GP_ERROR_BAD_PARAMETERS;
        }
        return fn(*w);
    });
}

}  // namespace

namespace {

// The profile's body at the USB wire, when its data is there: plugging the camera plugs both.
int AttachBody(CameraState* s, std::string* error) {
    std::string path = ptp::BodyDir(ProfileDir()) + "/" + s->profile + ".json";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return GP_OK;
    const ptp::Body* body = ptp::CachedBody(path, error);
    if (!body)
        return GP_ERROR_CORRUPTED_DATA;
    s->ptp = PtpState();
    s->ptp.body = path;
    s->ptp.usbVendor = body->usbVendor;
    s->ptp.usbProduct = body->usbProduct;
    // One body: where a profile's widget value names a value of the property behind it, the
    // body starts with it, so both wire levels show the same camera.
    for (const ptp::Property& p : body->properties) {
        const Widget* w = p.widget.empty() ? nullptr : s->Find(p.widget);
        ptp::Value v;
        if (w && ptp::ValueFromText(p, w->value, &v))
            s->ptp.values[p.code] = v;
    }
    return GP_OK;
}

}  // namespace

int Simulator::Plug(const std::string& profileOrModel) {
    std::string path, error;
    CameraState loaded;
    int rc = ResolveProfile(profileOrModel, ProfileDir(), &path, &error);
    if (rc == GP_OK)
        rc = LoadProfile(path, &loaded, &error);
    if (rc == GP_OK)
        rc = AttachBody(&loaded, &error);
    if (rc != GP_OK) {
        m_lastError = error;
        return rc;
    }
    StateStore store(m_stateDir);
    rc = store.Update(
        [&](CameraState& s, bool& save) {
            PlugRecord old;
            int64_t session = store.ReadPlug(&old) ? old.session : 0;
            int cleared = store.TruncateReceived(&error);  // a new camera has received nothing
            if (cleared != GP_OK) {
                save = false;
                return cleared;
            }
            s = loaded;
            s.plugged = true;
            s.session = session + 1;
            return GP_OK;
        },
        &error, StateStore::Start::Fresh);
    if (rc != GP_OK) {
        m_lastError = error;
        return rc;
    }
    return UpdateNode(true);
}

// The node follows the state, never leads it: whoever reacts to the node finds the camera
// already plugged or unplugged.
int Simulator::UpdateNode(bool plugged) {
    UsbNode node = UsbNode::FromEnvironment();
    std::string error;
    if ((plugged ? node.Create(&error) : node.Remove(&error)) != 0) {
        m_lastError = "CAMSIM_USB_DEVFS: " + error;
        return GP_ERROR_IO;
    }
    return GP_OK;
}

int Simulator::Unplug() {
    int rc = Mutate(m_stateDir, &m_lastError, [](CameraState& s) {
        s.plugged = false;
        return GP_OK;
    });
    return rc == GP_OK ? UpdateNode(false) : rc;
}

int Simulator::Replug() {
    bool arrived = false;
    int rc = Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        if (!s.plugged) {
            s.plugged = true;
            ++s.session;
            arrived = true;
        }
        return GP_OK;
    });
    return rc == GP_OK && arrived ? UpdateNode(true) : rc;
}

int64_t Simulator::BusScans() const {
    return StateStore(m_stateDir).Scans();
}

bool Simulator::Plugged() const {
    PlugRecord plug;
    return StateStore(m_stateDir).ReadPlug(&plug) && plug.plugged;
}

std::string Simulator::Model() const {
    CameraState s;
    return StateStore(m_stateDir).Load(&s, &m_lastError) == GP_OK ? s.model : std::string();
}

std::string Simulator::Profile() const {
    CameraState s;
    return StateStore(m_stateDir).Load(&s, &m_lastError) == GP_OK ? s.profile : std::string();
}

int Simulator::AddWidget(const std::string& name, WidgetKind kind, const std::string& value,
                         const std::vector<std::string>& choices) {
    if (name.empty()) {
        m_lastError = "a widget needs a name";
        return GP_ERROR_BAD_PARAMETERS;
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        Widget w;
        w.name = name;
        w.label = name;
        w.kind = ToKind(kind);
        w.value = value;
        w.choices = choices;
        if (Widget* old = s.Find(name)) {
            *old = w;
        } else {
            s.widgets.push_back(w);
        }
        return GP_OK;
    });
}

int Simulator::RemoveWidget(const std::string& name) {
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        for (auto it = s.widgets.begin(); it != s.widgets.end(); ++it) {
            if (it->name == name) {
                s.widgets.erase(it);
                return GP_OK;
            }
        }
        m_lastError = "no widget \"" + name + "\" on the plugged camera";
        return GP_ERROR_BAD_PARAMETERS;
    });
}

std::optional<std::string> Simulator::Value(const std::string& name) const {
    CameraState s;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return std::nullopt;
    const Widget* w = s.Find(name);
    if (!w)
        return std::nullopt;
    return w->value;
}

int Simulator::SetValue(const std::string& name, const std::string& value) {
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        Widget* w = s.Find(name);
        if (!w) {
            m_lastError = "no widget \"" + name + "\" on the plugged camera";
            return GP_ERROR_BAD_PARAMETERS;
        }
        int rc = CheckCameraSideValue(*w, value, &m_lastError);
        if (rc == GP_OK) {
            s.DropPendingValues(name);  // the camera-side value wins over one still settling
            w->value = value;
        }
        return rc;
    });
}

std::vector<std::string> Simulator::Choices(const std::string& name) const {
    CameraState s;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return {};
    const Widget* w = s.Find(name);
    return w ? w->choices : std::vector<std::string>();
}

int Simulator::SetChoices(const std::string& name, const std::vector<std::string>& choices) {
    return OnWidget(m_stateDir, &m_lastError, name, [&](Widget& w) {
        w.choices = choices;
        return GP_OK;
    });
}

std::vector<WidgetInfo> Simulator::Widgets() const {
    CameraState s;
    std::vector<WidgetInfo> out;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return out;
    for (const Widget& w : s.widgets)
        out.push_back({w.name, FromKind(w.kind), w.value, w.choices, w.label, w.section});
    return out;
}

int Simulator::ChangeOnCamera(const std::string& name, const std::string& value) {
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        // The body at the USB wire takes the value as its property's raw value; the widget of
        // the same setting shows its text.
        const ptp::Body* body = nullptr;
        if (s.ptp.Active() && (body = ptp::CachedBody(s.ptp.body, &m_lastError)) == nullptr)
            return GP_ERROR_CORRUPTED_DATA;
        const ptp::Property* property = body ? ptp::PropertyFor(*body, name) : nullptr;
        ptp::Value raw;
        if (property && !ptp::ChangeValue(*property, value, &raw, &m_lastError))
            return GP_ERROR_BAD_PARAMETERS;
        const Widget* w = s.Find(name);
        if (!w && !property) {
            m_lastError = "no widget \"" + name + "\" on the plugged camera";
            return GP_ERROR_BAD_PARAMETERS;
        }
        if (w) {
            int rc = CheckCameraSideValue(*w, value, &m_lastError);
            if (rc == GP_OK)
                rc = camsim::ChangeOnCamera(s, name, value);
            if (rc != GP_OK)
                return rc;
        }
        if (property) {
            ptp::BodyModel model(*body, s, NowMs());
            model.Change(property->code, raw);
        }
        return GP_OK;
    });
}

int Simulator::PtpFault(PtpFaultKind kind, int times) {
    if (times < 0 || times > 1000000) {
        m_lastError = "a fault count must be 0 to 1000000";
        return GP_ERROR_BAD_PARAMETERS;
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        if (!s.ptp.Active()) {
            m_lastError = "the plugged camera has no body at the USB wire";
            return GP_ERROR_NOT_SUPPORTED;
        }
        (kind == PtpFaultKind::Busy    ? s.ptp.busy
         : kind == PtpFaultKind::Stall ? s.ptp.stall
                                       : s.ptp.dropEvents) = times;
        return GP_OK;
    });
}

int Simulator::PtpFaultsLeft(PtpFaultKind kind) const {
    CameraState s;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return 0;
    return kind == PtpFaultKind::Busy    ? s.ptp.busy
           : kind == PtpFaultKind::Stall ? s.ptp.stall
                                         : s.ptp.dropEvents;
}

int Simulator::QueuePtpEvent(uint16_t code, const std::vector<uint32_t>& params) {
    if (params.size() > 3) {
        m_lastError = "an interrupt event carries at most 3 parameters";
        return GP_ERROR_BAD_PARAMETERS;
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        if (!s.ptp.Active()) {
            m_lastError = "the plugged camera has no body at the USB wire";
            return GP_ERROR_NOT_SUPPORTED;
        }
        s.ptp.interrupts.push_back({code, params, 0});
        return GP_OK;
    });
}

bool Simulator::HasPtpBody() const {
    CameraState s;
    return StateStore(m_stateDir).Load(&s, &m_lastError) == GP_OK && s.ptp.Active();
}

std::vector<std::string> Simulator::Received() const {
    std::vector<std::string> out;
    StateStore(m_stateDir).ReadReceived(&out, &m_lastError);
    return out;
}

void Simulator::ClearReceived() {
    Mutate(m_stateDir, &m_lastError,
           [&](CameraState&) { return StateStore(m_stateDir).TruncateReceived(&m_lastError); });
}

int Simulator::SetStubborn(const std::string& name, bool on) {
    return OnWidget(m_stateDir, &m_lastError, name, [&](Widget& w) {
        w.stubborn = on;
        return GP_OK;
    });
}

int Simulator::SetSettleDelay(int ms) {
    if (ms < 0) {
        m_lastError = "the settle delay cannot be negative";
        return GP_ERROR_BAD_PARAMETERS;
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        s.latency.settleMs = ms;
        return GP_OK;
    });
}

int Simulator::SetLatency(const LatencyModel& latency) {
    for (int ms : {latency.transactionMs, latency.openMs, latency.settleMs}) {
        if (ms < 0 || ms > kMaxLatencyMs) {
            m_lastError = "a latency must be 0 to " + std::to_string(kMaxLatencyMs) + " ms";
            return GP_ERROR_BAD_PARAMETERS;
        }
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        s.latency.transactionMs = latency.transactionMs;
        s.latency.openMs = latency.openMs;
        s.latency.settleMs = latency.settleMs;
        return GP_OK;
    });
}

std::optional<LatencyModel> Simulator::Latency() const {
    CameraState s;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return std::nullopt;
    LatencyModel out;
    out.transactionMs = s.latency.transactionMs;
    out.openMs = s.latency.openMs;
    out.settleMs = s.latency.settleMs;
    return out;
}

int Simulator::QueueEvent(int type, const std::vector<uint8_t>& data) {
    std::string shortBlock = CheckDriverBlock(type, data);
    if (!shortBlock.empty()) {
        m_lastError = shortBlock;
        return GP_ERROR_BAD_PARAMETERS;
    }
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        PendingEvent e;
        e.type = type;
        e.data = data;
        e.dueMs = NowMs();
        s.events.push_back(std::move(e));
        return GP_OK;
    });
}

int Simulator::QueueInt32Event(int type, int32_t value) {
    return QueueEvent(type, Int32Block(value));
}

int Simulator::QueueShutterEvent(int32_t numerator, int32_t denominator) {
    return QueueEvent(16, ShutterBlock(numerator, denominator));
}

int Simulator::QueueModeEvent(uint16_t code) {
    return QueueEvent(17, ModeBlock(code));
}

int Simulator::QueueRecordEvent(int32_t state) {
    return QueueEvent(10, RecordBlock(state));
}

int Simulator::QueueTextEvent(int gpEventType, const std::string& text) {
    return QueueEvent(gpEventType, StandardBlock(gpEventType, text));
}

size_t Simulator::PendingEvents() const {
    CameraState s;
    if (StateStore(m_stateDir).Load(&s, &m_lastError) != GP_OK)
        return 0;
    return s.events.size();
}

int Simulator::ClearEvents() {
    return Mutate(m_stateDir, &m_lastError, [](CameraState& s) {
        s.events.clear();
        return GP_OK;
    });
}

int Simulator::FailLookup(const std::string& name, int code) {
    return OnWidget(m_stateDir, &m_lastError, name, [&](Widget& w) {
        w.failLookup = code;
        return GP_OK;
    });
}

int Simulator::SetValueFault(const std::string& name, ValueFault fault) {
    return OnWidget(m_stateDir, &m_lastError, name, [&](Widget& w) {
        w.valueFault = ToFault(fault);
        return GP_OK;
    });
}

int Simulator::FailSet(const std::string& name, int code) {
    return OnWidget(m_stateDir, &m_lastError, name, [&](Widget& w) {
        w.failSet = code;
        return GP_OK;
    });
}

int Simulator::FailConnect(int code, int times) {
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        s.connectFault = code;
        s.connectTimes = code != 0 && times > 0 ? times : 0;
        return GP_OK;
    });
}

int Simulator::FailEventWait(int code, int times) {
    return Mutate(m_stateDir, &m_lastError, [&](CameraState& s) {
        s.waitFault = code;
        s.waitTimes = code != 0 && times > 0 ? times : 0;
        return GP_OK;
    });
}

void Simulator::ClearFaults() {
    Mutate(m_stateDir, &m_lastError, [](CameraState& s) {
        for (Widget& w : s.widgets) {
            w.failLookup = 0;
            w.failSet = 0;
            w.valueFault = Fault::None;
        }
        s.connectFault = s.connectTimes = 0;
        s.waitFault = s.waitTimes = 0;
        s.ptp.busy = s.ptp.stall = s.ptp.dropEvents = 0;
        return GP_OK;
    });
}

}  // namespace camsim
