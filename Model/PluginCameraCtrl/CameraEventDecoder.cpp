#include "CameraEventDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "zrlog.h"

namespace {

// Camera event types: 0 is libgphoto2's GP_EVENT_UNKNOWN, 10..17 the driver's additions.
enum CameraEventCode {
    kEventUnknown = 0,
    kEventRecordState = 10,
    kEventIris = 11,
    kEventWhiteBalance = 12,
    kEventIso = 13,
    kEventFocusMode = 15,
    kEventShutterSpeed = 16,
    kEventMode = 17,
};

template <typename T>
T ReadAt(const void* data, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(data) + offset, sizeof(T));
    return value;
}

}  // namespace

CameraEventDecoder::Outcome CameraEventDecoder::Decode(int type, const void* data, AbstructCamera* camera,
                                                       CameraParams& params) {
    switch (type) {
        case kEventUnknown:
            return Outcome::ReadAll;
        case kEventRecordState: {
            int32_t state = ReadAt<int32_t>(data, 20);
            if (state != 1 && state != 0)
                return Outcome::Nothing;
            params.recordEnable = state == 1;
            return Outcome::RecordState;
        }
        case kEventIris: {
            int32_t value = ReadAt<int32_t>(data, 0);
            char text[20] = {0};
            if (value % 100 == 0) {
                std::snprintf(text, sizeof(text), "f/%d", value / 100);
                ROOT_LOG(ZR_LOG_INFO, "==== 当前 IRIS : %d ====", value / 100);
            } else {
                std::snprintf(text, sizeof(text), "f/%.1f", value / 100.0);
                ROOT_LOG(ZR_LOG_INFO, "==== 当前 IRIS : %.1f ====", value / 100.0);
            }
            params.iris = text;
            return Outcome::Changed;
        }
        case kEventWhiteBalance:
            if (camera == nullptr)
                return Outcome::Nothing;
            camera->GetWhiteBalanceParamByValue(ReadAt<int32_t>(data, 0), params.whiteBalance);
            return Outcome::Changed;
        case kEventIso:
            params.iso = std::to_string(ReadAt<uint32_t>(data, 0));
            return Outcome::Changed;
        case kEventFocusMode: {
            if (camera == nullptr)
                return Outcome::Nothing;
            int32_t code = ReadAt<int32_t>(data, 0);
            std::printf("[%s:%s:%d]===== 当前FocusMode(对焦模式) %u =======\n", ZR_LOG_FILE, "DoTasksThread",
                        __LINE__, static_cast<unsigned>(code));
            std::string text = camera->GetFocusModeParamByValue(code);
            if (text.empty())
                return Outcome::Nothing;
            params.focusMode = text;
            return Outcome::Changed;
        }
        case kEventShutterSpeed: {
            if (camera == nullptr)
                return Outcome::Nothing;
            int32_t numerator = ReadAt<int32_t>(data, 0);
            int32_t denominator = ReadAt<int32_t>(data, 4);
            std::printf("[%s:%s:%d]===== 当前ShutterSpeed(快门) %u/%d =======\n", ZR_LOG_FILE,
                        "DoTasksThread", __LINE__, static_cast<unsigned>(numerator), denominator);
            std::string text;
            camera->GetShutterSpeedParamByValue(numerator, denominator, text);
            if (text.empty())
                return Outcome::Nothing;
            params.shutterSpeed = text;
            return Outcome::Changed;
        }
        case kEventMode: {
            if (camera == nullptr)
                return Outcome::Nothing;
            uint16_t code = ReadAt<uint16_t>(data, 0);
            std::printf("[%s:%s:%d]===== 当前mode(档位) %u =======\n", ZR_LOG_FILE, "DoTasksThread", __LINE__,
                        static_cast<unsigned>(code));
            std::string text;
            camera->GetCurrentModeByValue(code, text);
            if (text.empty())
                return Outcome::Nothing;
            params.mode = text;
            return Outcome::ModeChanged;
        }
        default:
            return Outcome::Nothing;
    }
}
