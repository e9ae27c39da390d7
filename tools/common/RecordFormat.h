// Renders a parameter record or a remote datagram for people and for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "CameraParams.h"

namespace tools {

// Enumerator name of a model type ("SonyA7M3"), or "Unrecognized".
std::string CameraTypeName(int type);

nlohmann::json RecordToJson(const CameraParams& params);
std::string RecordToText(const CameraParams& params);

// The plain fields of a 9000 payload as remote readers see them.
struct RemoteRecord {
    int32_t cameraType = 0;
    bool recordEnable = false;
    int32_t connectState = 0;
    bool dispModeKnown = false;  // the payload reaches byte 228
    bool dispMode = false;
};

struct Datagram {
    bool valid = false;  // at least the 8 header bytes
    int32_t event = 0;
    int32_t length = 0;
    size_t received = 0;
    std::vector<uint8_t> payload;
};

Datagram ParseDatagram(const uint8_t* bytes, size_t size);
RemoteRecord ParseRemoteRecord(const std::vector<uint8_t>& payload);
nlohmann::json DatagramToJson(const Datagram& d);
std::string DatagramToText(const Datagram& d);

}  // namespace tools
