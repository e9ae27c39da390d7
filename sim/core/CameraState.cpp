#include "CameraState.h"

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "NumberText.h"

namespace camsim {

namespace {
struct KindText {
    Kind kind;
    const char* text;
};
const KindText kKinds[] = {{Kind::Text, "text"},   {Kind::Range, "range"}, {Kind::Toggle, "toggle"},
                           {Kind::Radio, "radio"}, {Kind::Menu, "menu"},   {Kind::Date, "date"}};

struct FaultText {
    Fault fault;
    const char* text;
};
const FaultText kFaults[] = {
    {Fault::None, "none"}, {Fault::NoValue, "novalue"}, {Fault::Typeless, "typeless"}};
}  // namespace

Widget* CameraState::Find(const std::string& name) {
    for (Widget& w : widgets) {
        if (w.name == name)
            return &w;
    }
    return nullptr;
}

const Widget* CameraState::Find(const std::string& name) const {
    return const_cast<CameraState*>(this)->Find(name);
}

void CameraState::ApplyDueValues(int64_t nowMs) {
    std::vector<PendingValue> later;
    for (PendingValue& p : pendingValues) {
        if (p.dueMs > nowMs) {
            later.push_back(std::move(p));
        } else if (Widget* w = Find(p.widget)) {
            w->value = p.value;
        }
    }
    pendingValues = std::move(later);
}

std::string CameraState::ValueToCome(const Widget& w) const {
    for (auto it = pendingValues.rbegin(); it != pendingValues.rend(); ++it) {
        if (it->widget == w.name)
            return it->value;
    }
    return w.value;
}

void CameraState::SetValueAt(Widget& w, const std::string& value, int64_t dueMs) {
    if (dueMs <= NowMs()) {
        DropPendingValues(w.name);
        w.value = value;
        return;
    }
    pendingValues.push_back({w.name, value, dueMs});
}

void CameraState::DropPendingValues(const std::string& widget) {
    std::vector<PendingValue> kept;
    for (PendingValue& p : pendingValues) {
        if (p.widget != widget)
            kept.push_back(std::move(p));
    }
    pendingValues = std::move(kept);
}

const char* KindName(Kind kind) {
    for (const KindText& k : kKinds) {
        if (k.kind == kind)
            return k.text;
    }
    return "text";
}

bool KindFromName(const std::string& text, Kind* kind) {
    for (const KindText& k : kKinds) {
        if (text == k.text) {
            *kind = k.kind;
            return true;
        }
    }
    return false;
}

const char* FaultName(Fault fault) {
    for (const FaultText& f : kFaults) {
        if (f.fault == fault)
            return f.text;
    }
    return "none";
}

bool FaultFromName(const std::string& text, Fault* fault) {
    for (const FaultText& f : kFaults) {
        if (text == f.text) {
            *fault = f.fault;
            return true;
        }
    }
    return false;
}

bool FloatFromDouble(double value, float* out) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return false;
    *out = static_cast<float>(value);
    return true;
}

bool RangeNumber(const std::string& text, float* out) {
    double value = 0;
    return numtext::WholeDouble(text, value) && FloatFromDouble(value, out);
}

int64_t NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace camsim
