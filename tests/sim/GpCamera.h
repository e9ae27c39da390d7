// Test-side libgphoto2 handles: one context and one camera, released on every path.
#pragma once

#include <gphoto2/gphoto2.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

struct GpEvent {
    int rc = 0;
    int type = -1;
    std::vector<uint8_t> data;
    bool hasData = false;

    int32_t Int32(size_t at = 0) const {
        int32_t v = 0;
        if (data.size() >= at + sizeof v)
            std::memcpy(&v, data.data() + at, sizeof v);
        return v;
    }
    uint16_t Uint16() const {
        uint16_t v = 0;
        if (data.size() >= sizeof v)
            std::memcpy(&v, data.data(), sizeof v);
        return v;
    }
    std::string Text() const {
        return hasData ? std::string(reinterpret_cast<const char*>(data.data())) : "";
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
    std::vector<std::string> Choices() const {
        std::vector<std::string> out;
        int n = gp_widget_count_choices(m_w);
        for (int i = 0; i < n; ++i) {
            const char* c = nullptr;
            if (gp_widget_get_choice(m_w, i, &c) == GP_OK && c)
                out.push_back(c);
        }
        return out;
    }
    CameraWidgetType Type() const {
        CameraWidgetType t = GP_WIDGET_WINDOW;
        gp_widget_get_type(m_w, &t);
        return t;
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
    // Reads a text/radio value; "" when it cannot be read.
    std::string Value(const std::string& name) {
        GpWidget w;
        return Get(name, &w) == GP_OK ? w.Text() : "";
    }
    int SetText(const std::string& name, const std::string& value) {
        GpWidget w;
        int rc = Get(name, &w);
        if (rc != GP_OK)
            return rc;
        rc = gp_widget_set_value(w.Get(), value.c_str());
        if (rc != GP_OK)
            return rc;
        return gp_camera_set_single_config(m_camera, name.c_str(), w.Get(), m_context);
    }
    int SetInt(const std::string& name, int value) {
        GpWidget w;
        int rc = Get(name, &w);
        if (rc != GP_OK)
            return rc;
        CameraWidget* child = nullptr;
        rc = gp_widget_get_child_by_name(w.Get(), name.c_str(), &child);
        if (rc != GP_OK)
            return rc;
        rc = gp_widget_set_value(child, &value);
        if (rc != GP_OK)
            return rc;
        return gp_camera_set_single_config(m_camera, name.c_str(), w.Get(), m_context);
    }
    GpEvent Wait(int timeoutMs) {
        GpEvent e;
        CameraEventType type;
        void* data = nullptr;
        e.rc = gp_camera_wait_for_event(m_camera, timeoutMs, &type, &data, m_context);
        if (e.rc == GP_OK)
            std::memcpy(&e.type, &type, sizeof e.type);  // 10..17 are no enumerators
        if (data) {
            e.hasData = true;
            e.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + DataSize(e.type, data));
            std::free(data);
        }
        return e;
    }

  private:
    // The block sizes the simulator uses; text events are NUL-terminated.
    static size_t DataSize(int type, void* data) {
        switch (type) {
            case 10:
                return 24;
            case 11:
            case 12:
            case 13:
            case 15:
                return 4;
            case 16:
                return 8;
            case 17:
                return 2;
            case GP_EVENT_FILE_ADDED:
            case GP_EVENT_FOLDER_ADDED:
            case GP_EVENT_FILE_CHANGED:
                return sizeof(CameraFilePath);
            default:
                return std::strlen(static_cast<char*>(data)) + 1;
        }
    }

    GPContext* m_context;
    Camera* m_camera = nullptr;
};

// Models detected by gp_camera_autodetect, as "model|port".
inline std::vector<std::string> Autodetect(int* rc = nullptr) {
    std::vector<std::string> out;
    GPContext* ctx = gp_context_new();
    CameraList* list = nullptr;
    gp_list_new(&list);
    int r = gp_camera_autodetect(list, ctx);
    if (rc)
        *rc = r;
    for (int i = 0; i < gp_list_count(list); ++i) {
        const char *name = nullptr, *value = nullptr;
        gp_list_get_name(list, i, &name);
        gp_list_get_value(list, i, &value);
        out.push_back(std::string(name) + "|" + value);
    }
    gp_list_unref(list);
    gp_context_unref(ctx);
    return out;
}
