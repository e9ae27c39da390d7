// The device's driver turns what a body reports (a property's raw value and the driver's text of
// it) into an event with a data block: whatever the body sends, the block is exactly as large as
// the receiver reads for its type, and a text value never makes the driver read past its end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kd-eventmap.h"

namespace {

size_t ReceiverReads(int type) {
    switch (type) {
        case KD_EVENT_RECORDING:
            return 24;
        case KD_EVENT_SHUTTER:
            return 8;
        case KD_EVENT_PROGRAM:
            return 2;
        default:
            return 4;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // vendor selector, code (2), raw value (8), photo/movie selector, then the text
    if (size < 12)
        return 0;
    static const uint32_t kVendors[] = {KD_VENDOR_SONY, KD_VENDOR_CANON, KD_VENDOR_NIKON, 0};
    kd_change change;
    std::memset(&change, 0, sizeof change);
    change.vendor = kVendors[data[0] % 4];
    std::memcpy(&change.code, data + 1, 2);
    std::memcpy(&change.raw, data + 3, 8);
    change.selector = static_cast<int>(data[11] % 3) - 1;
    std::string text(reinterpret_cast<const char*>(data + 12), size - 12);
    change.text = data[0] & 0x80 ? nullptr : text.c_str();

    int type = 0;
    void* block = nullptr;
    size_t blockSize = 0;
    if (kd_eventmap_block(&change, &type, &block, &blockSize)) {
        if (type < 10 || type > 17 || type == 14 || blockSize != ReceiverReads(type) ||
            !kd_eventmap_claims(change.vendor, change.code))
            std::abort();
        // every byte the receiver reads is there (ASan reports a short block)
        unsigned char sum = 0;
        for (size_t i = 0; i < blockSize; ++i)
            sum = static_cast<unsigned char>(sum ^ static_cast<unsigned char*>(block)[i]);
        std::free(block);
        if (type == KD_EVENT_RECORDING && sum > 1)
            std::abort();  // the state is 0 or 1, the rest zero
    }
    return 0;
}
