#include "Models.h"

namespace camsim {

namespace {
// Factory order; product ids follow it. After the factory's models come bodies it does
// not know, for the refusal path.
const ModelInfo kModels[] = {
    {"Sony Alpha-A7 III (PC Control)", "sony-a7m3", kSimVendor, 0x0101},
    {"Sony Alpha-A7 IV (PC Control)", "sony-a7m4", kSimVendor, 0x0102},
    {"Sony DSC-A7S III (Control)", "sony-a7s3", kSimVendor, 0x0103},
    {"Sony ZV-E10 (Control)", "sony-zve10", kSimVendor, 0x0104},
    {"Sony ILME-FX3 (PC Control)", "sony-fx3", kSimVendor, 0x0105},
    {"Sony ILME-FX3A (PC Control)", "sony-fx3a", kSimVendor, 0x0106},
    {"Sony ILME-FX30 (PC Control)", "sony-fx30", kSimVendor, 0x0107},
    {"Sony ZV-E10M2 (Control)", "sony-zve10m2", kSimVendor, 0x0108},
    {"Canon EOS R6", "canon-r6", kSimVendor, 0x0109},
    {"Canon EOS R6m2", "canon-r6m2", kSimVendor, 0x010A},
    {"Canon EOS RP", "canon-rp", kSimVendor, 0x010B},
    {"Nikon Z8", "nikon-z8", kSimVendor, 0x010D},
    {"Nikon Z9", "nikon-z9", kSimVendor, 0x010E},
    {"Sony ILCE-6400 (PC Control)", "sony-a6400", kSimVendor, 0x0120},
};
}  // namespace

const ModelInfo* ModelTable(std::size_t* count) {
    *count = sizeof(kModels) / sizeof(kModels[0]);
    return kModels;
}

const ModelInfo* FindModel(const std::string& model) {
    for (const ModelInfo& m : kModels) {
        if (model == m.model)
            return &m;
    }
    return nullptr;
}

}  // namespace camsim
