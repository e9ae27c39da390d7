#include "CameraFactory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CanonEosR6Camera.h"
#include "CanonEosR6M2Camera.h"
#include "CanonEosRPCamera.h"
#include "LogCapture.h"
#include "NikonZ8Camera.h"

namespace {

const std::string kFactoryFile = "Model/PluginCameraCtrl/CameraFactory";

std::vector<std::string> FactoryLines(const LogCapture& capture) {
    std::vector<std::string> out;
    for (const LogLine& l : capture.Lines()) {
        if (l.file == kFactoryFile)
            out.push_back(std::to_string(l.level) + " " + l.message);
    }
    return out;
}

std::string TypeLine(const std::string& model, int type) {
    return "5 ====== model_str : " + model + ", mode_type : " + std::to_string(type) + "  =======";
}

TEST(CameraFactoryModels, EveryModelStringMapsToItsType) {
    const std::vector<std::pair<std::string, int>> models = {
        {"Sony Alpha-A7 III (PC Control)", 1},
        {"Sony Alpha-A7 IV (PC Control)", 2},
        {"Sony DSC-A7S III (Control)", 3},
        {"Sony ZV-E10 (Control)", 4},
        {"Sony ILME-FX3 (PC Control)", 5},
        {"Sony ILME-FX3A (PC Control)", 6},
        {"Sony ILME-FX30 (PC Control)", 7},
        {"Sony ZV-E10M2 (Control)", 8},
        {"Canon EOS R6", 9},
        {"Canon EOS R6m2", 10},
        {"Canon EOS RP", 11},
        {"Nikon Z8", 13},
        {"Nikon Z9", 14},
    };
    CameraFactory factory;
    for (const auto& m : models) {
        LogCapture capture;
        std::unique_ptr<AbstructCamera> camera = factory.CreateCamera(m.first.c_str(), nullptr, nullptr);
        std::vector<std::string> lines = FactoryLines(capture);
        ASSERT_FALSE(lines.empty()) << m.first;
        EXPECT_EQ(lines[0], TypeLine(m.first, m.second));
        if (camera) {
            EXPECT_EQ(camera->GetCameraType(), m.second);
            EXPECT_EQ(lines.size(), 1u);
        } else {
            // A model whose class is not built in yet is refused like an unknown one.
            EXPECT_EQ(lines, (std::vector<std::string>{
                                 TypeLine(m.first, m.second),
                                 "2 Failed, unrecog camera, type : " + std::to_string(m.second)}));
        }
    }
}

TEST(CameraFactoryModels, SonyA7IIICreatesItsClassWithType1) {
    CameraFactory factory;
    std::unique_ptr<AbstructCamera> camera =
        factory.CreateCamera("Sony Alpha-A7 III (PC Control)", nullptr, nullptr);
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->GetCameraType(), SonyA7M3);
}

TEST(CameraFactoryModels, CanonTypesCreateTheirClassesAndType12AnR6II) {
    CameraFactory factory;
    for (const char* model : {"Canon EOS R6", "Canon EOS R6m2", "Canon EOS RP"}) {
        EXPECT_NE(factory.CreateCamera(model, nullptr, nullptr), nullptr) << model;
    }
    auto make = [](CameraType type) { return CameraFactory::CreateCameraOfType(type, nullptr, nullptr); };
    EXPECT_NE(dynamic_cast<CanonEosR6Camera*>(make(CanonEosR6).get()), nullptr);
    EXPECT_NE(dynamic_cast<CanonEosR6M2Camera*>(make(CanonEosR6M2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CanonEosRPCamera*>(make(CanonEosRP).get()), nullptr);
    // No model string names 12; made by type, it is an R6 II that keeps 12.
    std::unique_ptr<AbstructCamera> alt = make(static_cast<CameraType>(12));
    EXPECT_NE(dynamic_cast<CanonEosR6M2Camera*>(alt.get()), nullptr);
    ASSERT_NE(alt, nullptr);
    EXPECT_EQ(alt->GetCameraType(), 12);
    for (int type : {0, 15, -1}) {
        EXPECT_EQ(make(static_cast<CameraType>(type)), nullptr) << type;
    }
}

TEST(CameraFactoryModels, NikonZ8AndZ9ShareOneClassAndKeepTheirTypes) {
    CameraFactory factory;
    for (const auto& m : {std::make_pair("Nikon Z8", NikonZ8), std::make_pair("Nikon Z9", NikonZ9)}) {
        std::unique_ptr<AbstructCamera> camera = factory.CreateCamera(m.first, nullptr, nullptr);
        ASSERT_NE(dynamic_cast<NikonZ8Camera*>(camera.get()), nullptr) << m.first;
        EXPECT_EQ(camera->GetCameraType(), m.second);
    }
}

TEST(CameraFactoryModels, UnknownSpellingsAreRefusedWithTwoLines) {
    CameraFactory factory;
    for (const std::string model :
         {"Canon EOS R6M2", "Nikon Z8 ", "sony alpha-a7 III (PC Control)", "", "Nikon"}) {
        LogCapture capture;
        EXPECT_EQ(factory.CreateCamera(model.c_str(), nullptr, nullptr), nullptr) << model;
        EXPECT_EQ(FactoryLines(capture),
                  (std::vector<std::string>{TypeLine(model, 0), "2 Failed, unrecog camera, type : 0"}))
            << model;
    }
}

TEST(CameraFactoryModels, NullModelGivesNothingAndLogsNothing) {
    CameraFactory factory;
    LogCapture capture;
    EXPECT_EQ(factory.CreateCamera(nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace
