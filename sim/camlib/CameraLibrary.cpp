// The simulated cameras as a libgphoto2 camera library. Every call reads the camera from the
// state directory ($CAMSIM_STATE_DIR): libgphoto2 unloads this library between uses and other
// processes (camsim, gphoto2, tests) change the camera while it is open.
#include <gphoto2/gphoto2-library.h>
#include <gphoto2/gphoto2-port-log.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "CameraState.h"
#include "DirWatch.h"
#include "Models.h"
#include "Reactions.h"
#include "StateStore.h"

// The session this open camera belongs to; a replug starts a new one.
struct _CameraPrivateLibrary {
    int64_t session;
};

namespace camsim {
namespace {

static_assert(sizeof(CameraEventType) == sizeof(int), "event types travel as int");

struct SectionInfo {
    const char* name;
    const char* label;
};
const SectionInfo kSections[] = {
    {"actions", "Camera Actions"},           {"settings", "Camera Settings"},
    {"status", "Camera Status Information"}, {"imgsettings", "Image Settings"},
    {"capturesettings", "Capture Settings"}, {"other", "Other PTP Device Properties"}};

const char* SectionLabel(const std::string& name) {
    for (const SectionInfo& s : kSections) {
        if (name == s.name)
            return s.label;
    }
    return nullptr;
}

int Report(GPContext* context, int rc, const std::string& error) {
    if (rc == GP_ERROR_CORRUPTED_DATA) {
        // A broken state file is a set-up mistake: say which file, wherever the caller looks.
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
    }
    if (!error.empty()) {
        gp_log(GP_LOG_ERROR, "camsim", "%s", error.c_str());
        gp_context_error(context, "camsim: %s", error.c_str());
    }
    return rc;
}

// Only the camera of the session that was opened answers; an unplugged one fails like a
// vanished USB device.
int CheckConnected(const Camera* camera, const CameraState& s) {
    if (!s.plugged || !camera->pl || camera->pl->session != s.session)
        return GP_ERROR_IO;
    return GP_OK;
}

int LoadConnected(Camera* camera, GPContext* context, CameraState* s) {
    StateStore store(StateDirFromEnvironment());
    std::string error;
    int rc = store.Load(s, &error);
    if (rc == GP_ERROR_MODEL_NOT_FOUND && !error.empty())  // no state: the camera is gone
        rc = GP_ERROR_IO;
    if (rc != GP_OK)
        return Report(context, rc, error);
    return CheckConnected(camera, *s);
}

struct WidgetOwner {
    CameraWidget* w = nullptr;
    ~WidgetOwner() {
        if (w)
            gp_widget_free(w);
    }
    CameraWidget* Release() {
        CameraWidget* out = w;
        w = nullptr;
        return out;
    }
};

int BuildWidget(const Widget& src, CameraWidget** out) {
    WidgetOwner owner;
    if (src.valueFault == Fault::Typeless) {
        int rc = gp_widget_new(GP_WIDGET_SECTION, src.label.c_str(), &owner.w);
        if (rc != GP_OK)
            return rc;
        gp_widget_set_name(owner.w, src.name.c_str());
        *out = owner.Release();
        return GP_OK;
    }
    CameraWidgetType type = GP_WIDGET_TEXT;
    switch (src.kind) {
        case Kind::Text:
            type = GP_WIDGET_TEXT;
            break;
        case Kind::Range:
            type = GP_WIDGET_RANGE;
            break;
        case Kind::Toggle:
            type = GP_WIDGET_TOGGLE;
            break;
        case Kind::Radio:
            type = GP_WIDGET_RADIO;
            break;
        case Kind::Menu:
            type = GP_WIDGET_MENU;
            break;
        case Kind::Date:
            type = GP_WIDGET_DATE;
            break;
    }
    int rc = gp_widget_new(type, src.label.c_str(), &owner.w);
    if (rc != GP_OK)
        return rc;
    gp_widget_set_name(owner.w, src.name.c_str());
    gp_widget_set_readonly(owner.w, src.readonly ? 1 : 0);
    if (src.kind == Kind::Radio || src.kind == Kind::Menu) {
        for (const std::string& c : src.choices)
            gp_widget_add_choice(owner.w, c.c_str());
    }
    if (src.kind == Kind::Range)
        gp_widget_set_range(owner.w, src.min, src.max, src.step);
    if (src.valueFault != Fault::NoValue) {
        switch (src.kind) {
            case Kind::Text:
            case Kind::Radio:
            case Kind::Menu:
                gp_widget_set_value(owner.w, src.value.c_str());
                break;
            case Kind::Range: {
                float v = std::strtof(src.value.c_str(), nullptr);
                gp_widget_set_value(owner.w, &v);
                break;
            }
            case Kind::Toggle:
            case Kind::Date: {
                int v = static_cast<int>(std::strtol(src.value.c_str(), nullptr, 10));
                gp_widget_set_value(owner.w, &v);
                break;
            }
        }
    }
    gp_widget_set_changed(owner.w, 0);
    *out = owner.Release();
    return GP_OK;
}

// The value a caller put into a widget, as the text the camera stores.
int ValueOf(CameraWidget* widget, std::string* out) {
    CameraWidgetType type;
    if (gp_widget_get_type(widget, &type) != GP_OK)
        return GP_ERROR_BAD_PARAMETERS;
    switch (type) {
        case GP_WIDGET_TEXT:
        case GP_WIDGET_RADIO:
        case GP_WIDGET_MENU: {
            char* v = nullptr;
            if (gp_widget_get_value(widget, &v) != GP_OK || !v)
                return GP_ERROR_BAD_PARAMETERS;
            *out = v;
            return GP_OK;
        }
        case GP_WIDGET_TOGGLE:
        case GP_WIDGET_DATE: {
            int v = 0;
            if (gp_widget_get_value(widget, &v) != GP_OK)
                return GP_ERROR_BAD_PARAMETERS;
            *out = std::to_string(v);
            return GP_OK;
        }
        case GP_WIDGET_RANGE: {
            float v = 0;
            if (gp_widget_get_value(widget, &v) != GP_OK)
                return GP_ERROR_BAD_PARAMETERS;
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
            *out = buf;
            return GP_OK;
        }
        default:
            return GP_ERROR_BAD_PARAMETERS;
    }
}

// Applies the given sets in one locked transaction; stops at the first refusal.
int ApplySets(Camera* camera, GPContext* context,
              const std::vector<std::pair<std::string, std::string>>& sets) {
    StateStore store(StateDirFromEnvironment());
    std::string error;
    int answerMs = 0;
    int rc = store.Update(
        [&](CameraState& s, bool& save) {
            int connected = CheckConnected(camera, s);
            if (connected != GP_OK) {
                save = false;
                return connected;
            }
            // One request per value, the refused one included.
            answerMs = s.latency.transactionMs * static_cast<int>(sets.empty() ? 1 : sets.size());
            for (const auto& set : sets) {
                int r = ApplySet(s, set.first, set.second);
                if (r != GP_OK)
                    return r;
            }
            return GP_OK;
        },
        &error);
    if (rc == GP_ERROR_MODEL_NOT_FOUND && !error.empty())  // no state: the camera is gone
        rc = GP_ERROR_IO;
    PauseMs(answerMs);  // outside the lock: other processes go on meanwhile
    return Report(context, rc, error);
}

void CollectChanged(CameraWidget* widget, std::vector<std::pair<std::string, std::string>>* sets) {
    int children = gp_widget_count_children(widget);
    for (int i = 0; i < children; ++i) {
        CameraWidget* child = nullptr;
        if (gp_widget_get_child(widget, i, &child) == GP_OK && child)
            CollectChanged(child, sets);
    }
    CameraWidgetType type;
    if (gp_widget_get_type(widget, &type) != GP_OK || type == GP_WIDGET_WINDOW || type == GP_WIDGET_SECTION)
        return;
    if (gp_widget_changed(widget) != 1)
        return;
    const char* name = nullptr;
    std::string value;
    gp_widget_get_name(widget, &name);
    if (name && ValueOf(widget, &value) == GP_OK)
        sets->emplace_back(name, value);
    gp_widget_set_changed(widget, 0);
}

int GetSingleConfig(Camera* camera, const char* name, CameraWidget** widget, GPContext* context) {
    CameraState s;
    int rc = LoadConnected(camera, context, &s);
    if (rc != GP_OK)
        return rc;
    PauseMs(s.latency.transactionMs);
    const Widget* w = name ? s.Find(name) : nullptr;
    if (!w)
        return Report(context, GP_ERROR_BAD_PARAMETERS, std::string("no widget ") + (name ? name : "(null)"));
    if (w->failLookup)
        return w->failLookup;
    return BuildWidget(*w, widget);
}

int GetConfig(Camera* camera, CameraWidget** window, GPContext* context) {
    CameraState s;
    int rc = LoadConnected(camera, context, &s);
    if (rc != GP_OK)
        return rc;
    PauseMs(s.latency.transactionMs);
    WidgetOwner root;
    rc = gp_widget_new(GP_WIDGET_WINDOW, "Camera and Driver Configuration", &root.w);
    if (rc != GP_OK)
        return rc;
    gp_widget_set_name(root.w, "main");
    std::map<std::string, CameraWidget*> sections;
    for (const Widget& w : s.widgets) {
        if (w.failLookup)
            continue;
        std::string section = w.section.empty() ? "other" : w.section;
        CameraWidget*& parent = sections[section];
        if (!parent) {
            const char* label = SectionLabel(section);
            rc = gp_widget_new(GP_WIDGET_SECTION, label ? label : section.c_str(), &parent);
            if (rc != GP_OK)
                return rc;
            gp_widget_set_name(parent, section.c_str());
            gp_widget_append(root.w, parent);
        }
        CameraWidget* child = nullptr;
        rc = BuildWidget(w, &child);
        if (rc != GP_OK)
            return rc;
        gp_widget_append(parent, child);
    }
    *window = root.Release();
    return GP_OK;
}

int SetSingleConfig(Camera* camera, const char* name, CameraWidget* widget, GPContext* context) {
    std::string value;
    if (!name || !widget || ValueOf(widget, &value) != GP_OK)
        return GP_ERROR_BAD_PARAMETERS;
    return ApplySets(camera, context, {{name, value}});
}

int SetConfig(Camera* camera, CameraWidget* window, GPContext* context) {
    std::vector<std::pair<std::string, std::string>> sets;
    if (window)
        CollectChanged(window, &sets);
    return ApplySets(camera, context, sets);
}

int WaitForEvent(Camera* camera, int timeout, CameraEventType* eventtype, void** eventdata,
                 GPContext* context) {
    if (!eventtype || !eventdata)
        return GP_ERROR_BAD_PARAMETERS;
    *eventdata = nullptr;
    StateStore store(StateDirFromEnvironment());
    const int64_t deadline = NowMs() + (timeout > 0 ? timeout : 0);
    DirWatch watch(store.Dir());  // armed before the first look, so no change slips between
    for (;;) {
        PendingEvent event;
        bool got = false;
        int64_t nextDue = -1;
        int answerMs = 0;
        std::string error;
        int rc = store.Update(
            [&](CameraState& s, bool& save) {
                int connected = CheckConnected(camera, s);
                if (connected != GP_OK) {
                    save = false;
                    return connected;
                }
                answerMs = s.latency.transactionMs;  // each look is one poll of the camera
                if (s.waitTimes > 0 && s.waitFault != 0) {
                    --s.waitTimes;
                    return s.waitFault;
                }
                got = TakeDueEvent(s, NowMs(), &event, &nextDue);
                save = got;
                return GP_OK;
            },
            &error);
        if (rc == GP_ERROR_MODEL_NOT_FOUND && !error.empty())  // no state: the camera is gone
            rc = GP_ERROR_IO;
        PauseMs(answerMs);
        if (rc != GP_OK)
            return Report(context, rc, error);
        if (got) {
            if (!event.data.empty()) {
                void* block = std::malloc(event.data.size());
                if (!block)
                    return GP_ERROR_NO_MEMORY;
                std::memcpy(block, event.data.data(), event.data.size());
                *eventdata = block;
            }
            // Types 10..17 are no CameraEventType enumerators: store the int bytes.
            std::memcpy(eventtype, &event.type, sizeof event.type);
            return GP_OK;
        }
        int64_t now = NowMs();
        if (now >= deadline)
            break;
        int64_t wait = deadline - now;
        if (nextDue >= 0)
            wait = std::min<int64_t>(wait, nextDue > now ? nextDue - now : 0);
        // Nothing renamed into the directory and no event coming due: the state is still
        // what was just read, so reading it again at the deadline would find nothing.
        if (!watch.Wait(wait) && nextDue < 0)
            break;
    }
    int type = GP_EVENT_TIMEOUT;
    std::memcpy(eventtype, &type, sizeof type);
    return GP_OK;
}

int Summary(Camera* camera, CameraText* text, GPContext* context) {
    CameraState s;
    int rc = LoadConnected(camera, context, &s);
    if (rc != GP_OK)
        return rc;
    std::snprintf(
        text->text, sizeof text->text,
        // "Model:" as a real camera's summary has it, so that camsim import finds it in a capture.
        "Manufacturer: camsim (simulated camera)\nModel: %s\nProfile: %s (%s)\nState directory: %s\n"
        "Widgets: %zu, pending events: %zu\n",
        s.model.c_str(), s.profile.c_str(), s.profilePath.c_str(), StateDirFromEnvironment().c_str(),
        s.widgets.size(), s.events.size());
    return GP_OK;
}

int About(Camera*, CameraText* text, GPContext*) {
    std::snprintf(text->text, sizeof text->text,
                  "camsim: simulated cameras for development without hardware.\n"
                  "Control them with the camsim command.\n");
    return GP_OK;
}

int Exit(Camera* camera, GPContext*) {
    std::free(camera->pl);
    camera->pl = nullptr;
    return GP_OK;
}

int Init(Camera* camera, GPContext* context) {
    StateStore store(StateDirFromEnvironment());
    std::string error;
    int64_t session = 0;
    int openMs = 0;
    int rc = store.Update(
        [&](CameraState& s, bool& save) {
            save = false;
            if (!s.plugged)
                return GP_ERROR_IO;
            openMs = s.latency.openMs;
            if (s.connectTimes > 0 && s.connectFault != 0) {
                --s.connectTimes;
                save = true;
                return s.connectFault;
            }
            session = s.session;
            return GP_OK;
        },
        &error);
    if (rc == GP_ERROR_MODEL_NOT_FOUND && !error.empty())  // no state: the camera is gone
        rc = GP_ERROR_IO;
    PauseMs(openMs);  // also for an open that fails: the camera answered it
    if (rc != GP_OK)
        return Report(context, rc, error);
    camera->pl = static_cast<CameraPrivateLibrary*>(std::calloc(1, sizeof(CameraPrivateLibrary)));
    if (!camera->pl)
        return GP_ERROR_NO_MEMORY;
    camera->pl->session = session;
    camera->functions->exit = Exit;
    camera->functions->get_config = GetConfig;
    camera->functions->set_config = SetConfig;
    camera->functions->get_single_config = GetSingleConfig;
    camera->functions->set_single_config = SetSingleConfig;
    camera->functions->wait_for_event = WaitForEvent;
    camera->functions->summary = Summary;
    camera->functions->about = About;
    return GP_OK;
}

}  // namespace
}  // namespace camsim

#define CAMSIM_EXPORT __attribute__((visibility("default")))

extern "C" {

CAMSIM_EXPORT int camera_id(CameraText* id) {
    std::snprintf(id->text, sizeof id->text, "camsim");
    return GP_OK;
}

CAMSIM_EXPORT int camera_abilities(CameraAbilitiesList* list) {
    std::size_t count = 0;
    const camsim::ModelInfo* models = camsim::ModelTable(&count);
    for (std::size_t i = 0; i < count; ++i) {
        CameraAbilities a;
        std::memset(&a, 0, sizeof a);
        std::snprintf(a.model, sizeof a.model, "%s", models[i].model);
        a.status = GP_DRIVER_STATUS_PRODUCTION;
        a.port = GP_PORT_USB;
        a.operations = GP_OPERATION_CONFIG;
        a.file_operations = GP_FILE_OPERATION_NONE;
        a.folder_operations = GP_FOLDER_OPERATION_NONE;
        a.usb_vendor = models[i].usbVendor;
        a.usb_product = models[i].usbProduct;
        a.device_type = GP_DEVICE_STILL_CAMERA;
        int rc = gp_abilities_list_append(list, a);
        if (rc < 0)
            return rc;
    }
    return GP_OK;
}

CAMSIM_EXPORT int camera_init(Camera* camera, GPContext* context) {
    return camsim::Init(camera, context);
}

}  // extern "C"
