#include "Reactions.h"

#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>

#include <algorithm>
#include <cstdlib>

#include "EventCodec.h"
#include "NumberText.h"

namespace camsim {

namespace {

bool ParseNumber(const std::string& text, double* out) {
    return numtext::WholeDouble(text, *out);
}

void QueueChange(CameraState& state, const Widget& w, const std::string& value, int64_t dueMs) {
    PendingEvent e;
    if (!EventForChange(w, value, &e.type, &e.data))
        return;
    e.dueMs = dueMs;
    state.events.push_back(std::move(e));
}

// Moves the widgets linked to `source` now holding `value`. A linked widget that shows
// the same camera property (expprogram and 500e) adds no event: the camera reports a
// property change once.
void ApplyEffects(CameraState& state, const Widget& source, const std::string& value, int64_t dueMs) {
    auto effects = source.effects.find(value);
    if (effects == source.effects.end())
        return;
    const std::map<std::string, std::string> targets = effects->second;
    const std::string property = source.property;
    for (const auto& t : targets) {
        Widget* other = state.Find(t.first);
        if (!other || state.ValueToCome(*other) == t.second)
            continue;
        state.SetValueAt(*other, t.second, dueMs);
        if (property.empty() || other->property != property)
            QueueChange(state, *other, t.second, dueMs);
    }
}

}  // namespace

int CheckValue(const Widget& w, const std::string& value) {
    double n = 0;
    switch (w.kind) {
        case Kind::Radio:
        case Kind::Menu:
            // A radio served without choices (a real Sony body's ISO) has nothing to check
            // against: the driver passes the text on and the camera takes it.
            if (w.choices.empty())
                return GP_OK;
            return std::find(w.choices.begin(), w.choices.end(), value) != w.choices.end()
                       ? GP_OK
                       : GP_ERROR_BAD_PARAMETERS;
        case Kind::Toggle:
            return ParseNumber(value, &n) && (n == 0 || n == 1) ? GP_OK : GP_ERROR_BAD_PARAMETERS;
        case Kind::Range: {
            float f = 0;
            if (!RangeNumber(value, &f))
                return GP_ERROR_BAD_PARAMETERS;
            return w.max > w.min && (f < w.min || f > w.max) ? GP_ERROR_BAD_PARAMETERS : GP_OK;
        }
        case Kind::Date:
            return ParseNumber(value, &n) ? GP_OK : GP_ERROR_BAD_PARAMETERS;
        case Kind::Text:
            return GP_OK;
    }
    return GP_OK;
}

int ApplySet(CameraState& state, const std::string& name, const std::string& value) {
    state.received.push_back(name + "=" + value);
    Widget* w = state.Find(name);
    if (!w)
        return GP_ERROR_BAD_PARAMETERS;
    if (w->failSet)
        return w->failSet;
    if (w->readonly)
        return GP_ERROR_NOT_SUPPORTED;
    int rc = CheckValue(*w, value);
    if (rc != GP_OK)
        return rc;
    // A camera not in the state a value needs answers busy (PTP DeviceBusy); "*" holds
    // for every value of the widget.
    for (const std::string& key : {value, std::string("*")}) {
        auto needs = w->preconditions.find(key);
        if (needs == w->preconditions.end())
            continue;
        for (const auto& n : needs->second) {
            const Widget* other = state.Find(n.first);
            if (!other || other->value != n.second)
                return GP_ERROR_CAMERA_BUSY;
        }
    }
    if (w->stubborn)
        return GP_OK;
    // A camera reports a property only when it really changed.
    if (state.ValueToCome(*w) == value)
        return GP_OK;
    // The value takes effect, and is reported, once the camera has settled.
    int64_t due = NowMs() + state.latency.settleMs;
    state.SetValueAt(*w, value, due);
    QueueChange(state, *w, value, due);
    ApplyEffects(state, *w, value, due);
    return GP_OK;
}

int ChangeOnCamera(CameraState& state, const std::string& name, const std::string& value) {
    Widget* w = state.Find(name);
    if (!w)
        return GP_ERROR_BAD_PARAMETERS;
    // The dial wins over a written value that has not taken effect yet.
    state.DropPendingValues(name);
    w->value = value;
    int64_t now = NowMs();
    QueueChange(state, *w, value, now);
    ApplyEffects(state, *w, value, now);
    return GP_OK;
}

bool TakeDueEvent(CameraState& state, int64_t nowMs, PendingEvent* out, int64_t* nextDueMs) {
    auto best = state.events.end();
    for (auto it = state.events.begin(); it != state.events.end(); ++it) {
        if (best == state.events.end() || it->dueMs < best->dueMs)
            best = it;
    }
    if (best == state.events.end()) {
        *nextDueMs = -1;
        return false;
    }
    if (best->dueMs > nowMs) {
        *nextDueMs = best->dueMs;
        return false;
    }
    *out = std::move(*best);
    state.events.erase(best);
    return true;
}

}  // namespace camsim
