// The camera parameter record, published as event 9000 with length 232.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum CameraType : int32_t {
    Unrecognized = 0,
    SonyA7M3 = 1,
    SonyA7M4 = 2,
    SonyA7S3 = 3,
    SonyZVE10 = 4,
    SonyFX3 = 5,
    SonyFX3A = 6,
    SonyFX30 = 7,
    SonyZVE10M2 = 8,
    CanonEosR6 = 9,
    CanonEosR6M2 = 10,
    CanonEosRP = 11,
    CanonEosR6M2Alt = 12,  // no model string; created like CanonEosR6M2
    NikonZ8 = 13,
    NikonZ9 = 14,
};

struct CameraParams {
    CameraType cameraType = Unrecognized;
    bool recordEnable = false;
    int32_t connectState = 0;  // 0 not connected, 1 connected, 2 connection attempt failed
    std::string focusMode;
    std::vector<std::string> supportedFocusMode;
    std::string iso;
    std::vector<std::string> supportedIso;
    std::string iris;
    std::vector<std::string> supportedIris;
    std::string shutterSpeed;
    std::vector<std::string> supportedShutterSpeed;
    std::string mode;
    std::vector<std::string> supportedMode;
    std::string whiteBalance;
    std::vector<std::string> supportedWhiteBalance;
    bool dispMode = false;

    // dispMode is deliberately not compared: a display-mode change alone is
    // not worth a publication.
    bool operator==(const CameraParams& o) const {
        return cameraType == o.cameraType && recordEnable == o.recordEnable &&
               connectState == o.connectState && focusMode == o.focusMode &&
               supportedFocusMode == o.supportedFocusMode && iso == o.iso && supportedIso == o.supportedIso &&
               iris == o.iris && supportedIris == o.supportedIris && shutterSpeed == o.shutterSpeed &&
               supportedShutterSpeed == o.supportedShutterSpeed && mode == o.mode &&
               supportedMode == o.supportedMode && whiteBalance == o.whiteBalance &&
               supportedWhiteBalance == o.supportedWhiteBalance;
    }
    bool operator!=(const CameraParams& o) const { return !(*this == o); }
};

// The published length of the record.
constexpr int kCameraParamsWireSize = 232;

// Offsets of the plain fields that remote readers use.
constexpr size_t kCameraTypeOffset = 0;
constexpr size_t kRecordEnableOffset = 4;
constexpr size_t kConnectStateOffset = 8;
constexpr size_t kDispModeOffset = 228;

#if defined(__arm__)
// std::string makes the record non-standard-layout; libstdc++ still lays it out
// plainly, which is what the remote readers depend on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(CameraParams) == 232, "ARM32 layout of CameraParams");
static_assert(offsetof(CameraParams, cameraType) == kCameraTypeOffset, "ARM32 layout of CameraParams");
static_assert(offsetof(CameraParams, recordEnable) == kRecordEnableOffset, "ARM32 layout of CameraParams");
static_assert(offsetof(CameraParams, connectState) == kConnectStateOffset, "ARM32 layout of CameraParams");
static_assert(offsetof(CameraParams, dispMode) == kDispModeOffset, "ARM32 layout of CameraParams");
#pragma GCC diagnostic pop
#endif
