#include "RecordFormat.h"

#include <cstddef>
#include <cstring>
#include <sstream>

namespace tools {

// The plain fields lie at the same offsets on every machine (a 32-bit enum, a bool, a 32-bit
// int at the start of the record), so a local reader may take them from the payload anywhere.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(CameraType) == 4 && sizeof(bool) == 1, "plain field sizes");
static_assert(offsetof(CameraParams, cameraType) == kCameraTypeOffset, "plain field offsets");
static_assert(offsetof(CameraParams, recordEnable) == kRecordEnableOffset, "plain field offsets");
static_assert(offsetof(CameraParams, connectState) == kConnectStateOffset, "plain field offsets");

RecordLayout HostRecordLayout() {
    return RecordLayout{sizeof(CameraParams), offsetof(CameraParams, dispMode)};
}
#pragma GCC diagnostic pop

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

namespace {

std::string EndsBefore(size_t size, size_t end) {
    return "the payload of " + std::to_string(size) + " bytes ends before byte " + std::to_string(end);
}

// Labels of the plain fields for people, in record order.
const std::pair<const char*, const char*> kFieldLabels[] = {{"cameraType", "camera type"},
                                                            {"recordEnable", "recording"},
                                                            {"connectState", "connect state"},
                                                            {"dispMode", "display mode"}};

const char* FieldLabel(const std::string& field) {
    for (const auto& f : kFieldLabels) {
        if (field == f.first)
            return f.second;
    }
    return field.c_str();
}

}  // namespace

RemoteRecord ParseRemoteRecord(const std::vector<uint8_t>& payload, const RecordLayout& layout) {
    RemoteRecord r;
    const size_t size = payload.size();
    if (size >= kCameraTypeOffset + 4) {
        r.cameraTypeKnown = true;
        r.cameraType = LittleEndian32(&payload[kCameraTypeOffset]);
    } else {
        r.notShown.emplace_back("cameraType", EndsBefore(size, kCameraTypeOffset + 4));
    }
    if (size >= kRecordEnableOffset + 1) {
        r.recordEnableKnown = true;
        r.recordEnable = payload[kRecordEnableOffset] != 0;
    } else {
        r.notShown.emplace_back("recordEnable", EndsBefore(size, kRecordEnableOffset + 1));
    }
    if (size >= kConnectStateOffset + 4) {
        r.connectStateKnown = true;
        r.connectState = LittleEndian32(&payload[kConnectStateOffset]);
    } else {
        r.notShown.emplace_back("connectState", EndsBefore(size, kConnectStateOffset + 4));
    }
    // Beyond the plain fields the payload is raw memory of texts and lists; the display-mode
    // byte is only where the record is laid out as on the device.
    if (layout.size != kDeviceRecordLayout.size ||
        layout.dispModeOffset != kDeviceRecordLayout.dispModeOffset) {
        r.notShown.emplace_back(
            "dispMode", "the record is laid out differently on this machine (" + std::to_string(layout.size) +
                            " bytes, display mode at byte " + std::to_string(layout.dispModeOffset) +
                            ") than on the device (" + std::to_string(kDeviceRecordLayout.size) +
                            " bytes, display mode at byte " +
                            std::to_string(kDeviceRecordLayout.dispModeOffset) + "): byte " +
                            std::to_string(kDispModeOffset) + " of the payload is not the display mode");
    } else if (size > kDispModeOffset) {
        r.dispModeKnown = true;
        r.dispMode = payload[kDispModeOffset] != 0;
    } else {
        r.notShown.emplace_back("dispMode", EndsBefore(size, kDispModeOffset + 1));
    }
    return r;
}

nlohmann::json DatagramToJson(const Datagram& d, const RecordLayout& layout) {
    nlohmann::json j{{"event", d.event}, {"length", d.length}, {"bytes", d.received}};
    if (!d.valid) {
        j["error"] = "datagram shorter than its 8-byte header";
        return j;
    }
    if (d.event == 9000) {
        RemoteRecord r = ParseRemoteRecord(d.payload, layout);
        if (r.cameraTypeKnown) {
            j["cameraType"] = r.cameraType;
            j["cameraName"] = CameraTypeName(r.cameraType);
        }
        if (r.recordEnableKnown)
            j["recordEnable"] = r.recordEnable;
        if (r.connectStateKnown)
            j["connectState"] = r.connectState;
        if (r.dispModeKnown)
            j["dispMode"] = r.dispMode;
        if (!r.notShown.empty()) {
            nlohmann::json why = nlohmann::json::object();
            for (const auto& n : r.notShown)
                why[n.first] = n.second;
            j["notShown"] = why;
        }
    }
    return j;
}

std::string DatagramToText(const Datagram& d, const RecordLayout& layout) {
    std::ostringstream out;
    if (!d.valid) {
        out << "short datagram (" << d.received << " bytes)";
        return out.str();
    }
    out << "event " << d.event << ", length " << d.length << " (" << d.received << " bytes)";
    if (d.event == 9000) {
        RemoteRecord r = ParseRemoteRecord(d.payload, layout);
        const char* sep = ": ";
        if (r.cameraTypeKnown) {
            out << sep << "camera " << CameraTypeName(r.cameraType) << " (type " << r.cameraType << ")";
            sep = ", ";
        }
        if (r.recordEnableKnown) {
            out << sep << "recording " << (r.recordEnable ? "on" : "off");
            sep = ", ";
        }
        if (r.connectStateKnown) {
            out << sep << "connect state " << r.connectState;
            sep = ", ";
        }
        if (r.dispModeKnown)
            out << sep << "display mode " << (r.dispMode ? "on" : "off");
        for (const auto& n : r.notShown)
            out << "; " << FieldLabel(n.first) << " not shown: " << n.second;
    }
    return out.str();
}

}  // namespace tools
