#include "CameraFactory.h"

#include "BodyList.h"
#include "CanonEosR6Camera.h"
#include "CanonEosR6M2Camera.h"
#include "CanonEosRPCamera.h"
#include "NikonZ8Camera.h"
#include "SonyA7M3Camera.h"
#include "SonyA7M4Camera.h"
#include "SonyA7S3Camera.h"
#include "SonyFX30Camera.h"
#include "SonyFX3Camera.h"
#include "SonyZVE10Camera.h"
#include "SonyZVE10M2Camera.h"
#include "zrlog.h"

namespace {

using Creator = std::unique_ptr<AbstructCamera> (*)(_Camera*, _GPContext*, CameraType);

template <typename T>
std::unique_ptr<AbstructCamera> Make(_Camera* camera, _GPContext* context, CameraType type) {
    return std::make_unique<T>(camera, context, type);
}

struct ClassRow {
    CameraType type;
    Creator create;
};

// One row per model type that has a class; a type without a row creates nothing.
// clang-format off
const ClassRow kClasses[] = {
    {SonyA7M3, &Make<SonyA7M3Camera>},
    {SonyA7M4, &Make<SonyA7M4Camera>},
    {SonyA7S3, &Make<SonyA7S3Camera>},
    {SonyZVE10, &Make<SonyZVE10Camera>},
    {SonyFX3, &Make<SonyFX3Camera>},
    {SonyFX3A, &Make<SonyFX3Camera>},
    {SonyFX30, &Make<SonyFX30Camera>},
    {SonyZVE10M2, &Make<SonyZVE10M2Camera>},
    {CanonEosR6, &Make<CanonEosR6Camera>},
    {CanonEosR6M2, &Make<CanonEosR6M2Camera>},
    {CanonEosRP, &Make<CanonEosRPCamera>},
    {CanonEosR6M2Alt, &Make<CanonEosR6M2Camera>},
    {NikonZ8, &Make<NikonZ8Camera>},
    {NikonZ9, &Make<NikonZ8Camera>},
};
// clang-format on

Creator FindCreator(CameraType type) {
    for (const ClassRow& row : kClasses) {
        if (row.type == type) {
            return row.create;
        }
    }
    return nullptr;
}

}  // namespace

CameraFactory::CameraFactory() {
    for (const BodyListRow& row : kBodyList) {
        m_modelTable.emplace(row.model, row.type);
    }
}

CameraFactory::~CameraFactory() = default;

std::unique_ptr<AbstructCamera> CameraFactory::CreateCamera(const char* model, _Camera* camera,
                                                            _GPContext* context) {
    if (model == nullptr) {
        return nullptr;
    }
    auto found = m_modelTable.find(model);
    CameraType type = (found != m_modelTable.end()) ? found->second : Unrecognized;
    ROOT_LOG(ZR_LOG_INFO, "====== model_str : %s, mode_type : %d  =======", model, static_cast<int>(type));
    std::unique_ptr<AbstructCamera> object = CreateCameraOfType(type, camera, context);
    if (!object) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, unrecog camera, type : %d", static_cast<int>(type));
    }
    return object;
}

std::unique_ptr<AbstructCamera> CameraFactory::CreateCameraOfType(CameraType type, _Camera* camera,
                                                                  _GPContext* context) {
    Creator create = FindCreator(type);
    return create != nullptr ? create(camera, context, type) : nullptr;
}
