// Test-side libgphoto2 handles, released on every path, and the events they hand out as text.
#pragma once

#include <gphoto2/gphoto2.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

// One event of gp_camera_wait_for_event with its data block.
struct GpEvent {
    int rc = 0;
    int type = -1;
    std::vector<uint8_t> data;

    // The 32-bit number at byte at (of a shorter block, the bytes there are).
    int32_t Int32(size_t at = 0) const {
        int32_t v = 0;
        if (data.size() > at)
            std::memcpy(&v, data.data() + at, std::min(sizeof v, data.size() - at));
        return v;
    }
    // "timeout", "error -7", "unknown <text>", "file <folder>/<name>", or a driver event's type and
    // what the receiver reads: "10 <recording state>", "16 <numerator>/<denominator>", "13 <int32>".
    std::string Text() const {
        const std::string t = std::to_string(type) + " ";
        if (rc != GP_OK || type == GP_EVENT_TIMEOUT)
            return rc != GP_OK ? "error " + std::to_string(rc) : "timeout";
        if (type == GP_EVENT_FILE_ADDED) {
            const auto* p = reinterpret_cast<const CameraFilePath*>(data.data());
            return "file " + std::string(p->folder) + "/" + p->name;
        }
        if (type == 10 || type == 16)
            return t + (type == 10 ? std::to_string(Int32(20))
                                   : std::to_string(Int32()) + "/" + std::to_string(Int32(4)));
        if (type >= 11 && type <= 17 && type != 14)
            return t + std::to_string(type == 17 ? Int32() & 0xFFFF : Int32());
        return (type == GP_EVENT_UNKNOWN ? "unknown " : t) + std::string(data.begin(), data.end()).c_str();
    }
};

class GpWidget {
  public:
    GpWidget() = default;
    ~GpWidget() {
        if (m_w)
            gp_widget_unref(m_w);
    }
    GpWidget(const GpWidget&) = delete;
    GpWidget& operator=(const GpWidget&) = delete;
    CameraWidget** Out() { return &m_w; }
    CameraWidget* Get() const { return m_w; }
    std::string Text() const {
        char* v = nullptr;
        return m_w && gp_widget_get_value(m_w, &v) == GP_OK && v ? v : "";
    }

  private:
    CameraWidget* m_w = nullptr;
};

class GpCamera {
  public:
    GpCamera() : m_context(gp_context_new()) { gp_camera_new(&m_camera); }
    ~GpCamera() {
        gp_camera_exit(m_camera, m_context);
        gp_camera_free(m_camera);
        gp_context_unref(m_context);
    }
    GpCamera(const GpCamera&) = delete;
    GpCamera& operator=(const GpCamera&) = delete;

    Camera* Get() const { return m_camera; }
    GPContext* Context() const { return m_context; }
    int Get(const std::string& name, GpWidget* w) {
        return gp_camera_get_single_config(m_camera, name.c_str(), w->Out(), m_context);
    }
    // A text or radio value; "" when it cannot be read.
    std::string Value(const std::string& name) {
        GpWidget w;
        return Get(name, &w) == GP_OK ? w.Text() : "";
    }
    // Sets a value: a number for toggles, dates (int) and ranges (float), else a text.
    template <typename T>
    int Set(const std::string& name, const T& value) {
        GpWidget w;
        int rc = Get(name, &w);
        if constexpr (std::is_arithmetic_v<T>) {
            rc = rc == GP_OK ? gp_widget_set_value(w.Get(), &value) : rc;
        } else {
            rc = rc == GP_OK ? gp_widget_set_value(w.Get(), std::string(value).c_str()) : rc;
        }
        return rc == GP_OK ? gp_camera_set_single_config(m_camera, name.c_str(), w.Get(), m_context) : rc;
    }
    GpEvent Wait(int timeoutMs) {
        GpEvent e;
        CameraEventType type;
        void* data = nullptr;
        e.rc = gp_camera_wait_for_event(m_camera, timeoutMs, &type, &data, m_context);
        if (e.rc == GP_OK)
            std::memcpy(&e.type, &type, sizeof e.type);  // 10..17 are no enumerators
        // The block sizes of the driver events; the standard ones hold a path or a text.
        const size_t sizes[] = {24, 4, 4, 4, 0, 4, 8, 2};
        const size_t size = !data                                          ? 0
                            : e.type >= 10 && e.type <= 17 && e.type != 14 ? sizes[e.type - 10]
                            : e.type == GP_EVENT_FILE_ADDED                ? sizeof(CameraFilePath)
                                                            : std::strlen(static_cast<char*>(data)) + 1;
        e.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        std::free(data);
        return e;
    }
    // The events due within the first wait, then within each next one, up to the first time-out or
    // error, as their texts joined by ", ".
    std::string Events(int firstWaitMs = 1000, int nextWaitMs = 0) {
        std::string out;
        for (GpEvent e = Wait(firstWaitMs);; e = Wait(nextWaitMs)) {
            out += (out.empty() ? "" : ", ") + e.Text();
            if (e.rc != GP_OK || e.type == GP_EVENT_TIMEOUT)
                return out;
        }
    }

  private:
    GPContext* m_context;
    Camera* m_camera = nullptr;
};

// The models gp_camera_autodetect finds, each as "model|port ".
inline std::string Autodetect() {
    std::string out;
    GPContext* ctx = gp_context_new();
    CameraList* list = nullptr;
    gp_list_new(&list);
    const int rc = gp_camera_autodetect(list, ctx);
    const char *name = nullptr, *value = nullptr;
    for (int i = 0; i < gp_list_count(list); ++i)
        out += std::string(gp_list_get_name(list, i, &name) == GP_OK ? name : "?") + "|" +
               (gp_list_get_value(list, i, &value) == GP_OK ? value : "?") + " ";
    gp_list_unref(list);
    gp_context_unref(ctx);
    return rc < GP_OK ? "error " + std::to_string(rc) : out;
}
