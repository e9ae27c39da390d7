#include "RecordFormat.h"

#include <cstring>
#include <sstream>

namespace tools {

namespace {

const char* const kTypeNames[] = {"Unrecognized", "SonyA7M3",   "SonyA7M4",     "SonyA7S3",    "SonyZVE10",
                                  "SonyFX3",      "SonyFX3A",   "SonyFX30",     "SonyZVE10M2", "CanonEosR6",
                                  "CanonEosR6M2", "CanonEosRP", "CanonEosR6M2", "NikonZ8",     "NikonZ9"};

int32_t LittleEndian32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

std::string Join(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& s : list) {
        if (!out.empty())
            out += ", ";
        out += s;
    }
    return out;
}

}  // namespace

std::string CameraTypeName(int type) {
    if (type < 0 || type >= static_cast<int>(sizeof(kTypeNames) / sizeof(kTypeNames[0]))) {
        return "Unrecognized";
    }
    return kTypeNames[type];
}

nlohmann::json RecordToJson(const CameraParams& p) {
    return nlohmann::json{
        {"event", 9000},
        {"cameraType", static_cast<int>(p.cameraType)},
        {"cameraName", CameraTypeName(p.cameraType)},
        {"connectState", p.connectState},
        {"recordEnable", p.recordEnable},
        {"dispMode", p.dispMode},
        {"mode", p.mode},
        {"supportedMode", p.supportedMode},
        {"focusMode", p.focusMode},
        {"supportedFocusMode", p.supportedFocusMode},
        {"iso", p.iso},
        {"supportedIso", p.supportedIso},
        {"iris", p.iris},
        {"supportedIris", p.supportedIris},
        {"shutterSpeed", p.shutterSpeed},
        {"supportedShutterSpeed", p.supportedShutterSpeed},
        {"whiteBalance", p.whiteBalance},
        {"supportedWhiteBalance", p.supportedWhiteBalance},
    };
}

std::string RecordToText(const CameraParams& p) {
    static const char* const kStates[] = {"not connected", "connected", "connection failed"};
    std::ostringstream out;
    const char* state = (p.connectState >= 0 && p.connectState <= 2) ? kStates[p.connectState] : "unknown";
    out << "== camera " << CameraTypeName(p.cameraType) << " (type " << static_cast<int>(p.cameraType)
        << "), " << state << " (" << p.connectState << "), recording " << (p.recordEnable ? "on" : "off")
        << ", display mode " << (p.dispMode ? "on" : "off") << "\n";
    auto line = [&](const char* label, const std::string& value, const std::vector<std::string>& list) {
        out << "   " << label << value << "  [" << Join(list) << "]\n";
    };
    line("mode          ", p.mode, p.supportedMode);
    line("focus mode    ", p.focusMode, p.supportedFocusMode);
    line("ISO           ", p.iso, p.supportedIso);
    line("iris          ", p.iris, p.supportedIris);
    line("shutter speed ", p.shutterSpeed, p.supportedShutterSpeed);
    line("white balance ", p.whiteBalance, p.supportedWhiteBalance);
    return out.str();
}

Datagram ParseDatagram(const uint8_t* bytes, size_t size) {
    Datagram d;
    d.received = size;
    if (bytes == nullptr || size < 8) {
        return d;
    }
    d.valid = true;
    d.event = LittleEndian32(bytes);
    d.length = LittleEndian32(bytes + 4);
    d.payload.assign(bytes + 8, bytes + size);
    return d;
}

RemoteRecord ParseRemoteRecord(const std::vector<uint8_t>& payload) {
    RemoteRecord r;
    if (payload.size() >= kConnectStateOffset + 4) {
        r.cameraType = LittleEndian32(&payload[kCameraTypeOffset]);
        r.recordEnable = payload[kRecordEnableOffset] != 0;
        r.connectState = LittleEndian32(&payload[kConnectStateOffset]);
    }
    if (payload.size() > kDispModeOffset) {
        r.dispModeKnown = true;
        r.dispMode = payload[kDispModeOffset] != 0;
    }
    return r;
}

nlohmann::json DatagramToJson(const Datagram& d) {
    nlohmann::json j{{"event", d.event}, {"length", d.length}, {"bytes", d.received}};
    if (!d.valid) {
        j["error"] = "datagram shorter than its 8-byte header";
        return j;
    }
    if (d.event == 9000) {
        RemoteRecord r = ParseRemoteRecord(d.payload);
        j["cameraType"] = r.cameraType;
        j["cameraName"] = CameraTypeName(r.cameraType);
        j["recordEnable"] = r.recordEnable;
        j["connectState"] = r.connectState;
        if (r.dispModeKnown)
            j["dispMode"] = r.dispMode;
    }
    return j;
}

std::string DatagramToText(const Datagram& d) {
    std::ostringstream out;
    if (!d.valid) {
        out << "short datagram (" << d.received << " bytes)";
        return out.str();
    }
    out << "event " << d.event << ", length " << d.length << " (" << d.received << " bytes)";
    if (d.event == 9000) {
        RemoteRecord r = ParseRemoteRecord(d.payload);
        out << ": camera " << CameraTypeName(r.cameraType) << " (type " << r.cameraType << "), recording "
            << (r.recordEnable ? "on" : "off") << ", connect state " << r.connectState;
        if (r.dispModeKnown)
            out << ", display mode " << (r.dispMode ? "on" : "off");
    }
    return out.str();
}

}  // namespace tools
