#include "Models.h"

#include <vector>

#include "BodyList.h"

namespace camsim {

namespace {

// The plug-in's bodies in the order of its list, their product ids following the model type; then
// bodies it does not know, for the refusal path.
std::vector<ModelInfo> MakeModels() {
    std::vector<ModelInfo> models;
    for (const BodyListRow& row : kBodyList)
        models.push_back({row.model, row.profile, kSimVendor, 0x0100 + static_cast<int>(row.type)});
    models.push_back({"Sony ILCE-6400 (PC Control)", "sony-a6400", kSimVendor, 0x0120});
    return models;
}

const std::vector<ModelInfo>& Models() {
    static const std::vector<ModelInfo> models = MakeModels();
    return models;
}

}  // namespace

const ModelInfo* ModelTable(std::size_t* count) {
    *count = Models().size();
    return Models().data();
}

const ModelInfo* FindModel(const std::string& model) {
    for (const ModelInfo& m : Models()) {
        if (model == m.model)
            return &m;
    }
    return nullptr;
}

}  // namespace camsim
