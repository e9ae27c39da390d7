// Renders a parameter record or a remote datagram for people and for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CameraParams.h"

namespace tools {

// Enumerator name of a model type ("SonyA7M3"), or "Unrecognized".
std::string CameraTypeName(int type);

nlohmann::json RecordToJson(const CameraParams& params);
std::string RecordToText(const CameraParams& params);

// How the publishing process lays the record out in memory. The 9000 payload is the first
// kCameraParamsWireSize bytes of that memory, so a field can be read from it only where the
// layout puts it inside those bytes at the offset remote readers use.
struct RecordLayout {
    size_t size = 0;            // sizeof(CameraParams)
    size_t dispModeOffset = 0;  // offsetof(CameraParams, dispMode)
};
// This machine's layout (the sender of a local datagram runs here too).
RecordLayout HostRecordLayout();
// The device's 32-bit ARM layout: 232 bytes, display mode at byte 228.
constexpr RecordLayout kDeviceRecordLayout{kCameraParamsWireSize, kDispModeOffset};

// The plain fields of a 9000 payload as remote readers see them. A field the payload does not
// hold on this machine is not shown, and notShown says why (field name -> reason).
struct RemoteRecord {
    bool cameraTypeKnown = false;
    int32_t cameraType = 0;
    bool recordEnableKnown = false;
    bool recordEnable = false;
    bool connectStateKnown = false;
    int32_t connectState = 0;
    bool dispModeKnown = false;
    bool dispMode = false;
    std::vector<std::pair<std::string, std::string>> notShown;
};

struct Datagram {
    bool valid = false;  // at least the 8 header bytes
    int32_t event = 0;
    int32_t length = 0;
    size_t received = 0;
    std::vector<uint8_t> payload;
};

Datagram ParseDatagram(const uint8_t* bytes, size_t size);
RemoteRecord ParseRemoteRecord(const std::vector<uint8_t>& payload,
                               const RecordLayout& layout = HostRecordLayout());
nlohmann::json DatagramToJson(const Datagram& d, const RecordLayout& layout = HostRecordLayout());
std::string DatagramToText(const Datagram& d, const RecordLayout& layout = HostRecordLayout());

}  // namespace tools
