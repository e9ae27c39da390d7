#include "PluginManager.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"

namespace {

const std::string kDir = TEST_PLUGIN_DIR;
const std::string kAlpha = kDir + "/libtest_plugin_alpha.so";
const std::string kBeta = kDir + "/libtest_plugin_beta.so";
const std::string kNoSym = kDir + "/libtest_plugin_nosym.so";
const std::string kNullFactory = kDir + "/libtest_plugin_nullfactory.so";
const std::string kManagerFile = "Model/PluginManager/PluginManager";

bool IsLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (h != nullptr)
        dlclose(h);
    return h != nullptr;
}

// Lines logged by the manager itself, as "level message".
std::vector<std::string> ManagerLines(const LogCapture& capture) {
    std::vector<std::string> out;
    for (const LogLine& l : capture.Lines()) {
        if (l.file == kManagerFile) {
            EXPECT_EQ(l.module, "root");
            out.push_back(std::to_string(l.level) + " " + l.message);
        }
    }
    return out;
}

TEST(PluginManagerLoad, LoadsThroughCreatePluginAndPassesThePath) {
    LogCapture capture;
    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(kAlpha.c_str());
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->GetName(), "alpha");
    EXPECT_TRUE(capture.Has(5, "test plugin factory got " + kAlpha));
    EXPECT_EQ(ManagerLines(capture), std::vector<std::string>{"5 Success to load plugin " + kAlpha});
}

TEST(PluginManagerLoad, TextOverloadLoadsWithoutASuccessLine) {
    LogCapture capture;
    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(kBeta);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->GetName(), "beta");
    EXPECT_TRUE(ManagerLines(capture).empty());
}

TEST(PluginManagerLoad, MissingPathsAreParameterErrors) {
    LogCapture capture;
    PluginManager manager;
    EXPECT_EQ(manager.LoadPlugin(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(manager.LoadPlugin(std::string()), nullptr);
    EXPECT_EQ(ManagerLines(capture),
              (std::vector<std::string>{"2 Failed, parameter error", "2 Failed, parameter error"}));
}

TEST(PluginManagerLoad, UnopenableLibraryIsReportedWithTheLoaderText) {
    LogCapture capture;
    PluginManager manager;
    const std::string path = kDir + "/libdoes_not_exist.so";
    EXPECT_EQ(manager.LoadPlugin(path.c_str()), nullptr);
    EXPECT_EQ(manager.LoadPlugin(path), nullptr);
    std::vector<std::string> lines = ManagerLines(capture);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "2 Failed to dlopen " + path + "[err:" + path +
                            ": cannot open shared object file: No such file or directory]");
    EXPECT_EQ(lines[1], "2 Failed to dlopen " + path);
}

TEST(PluginManagerLoad, LibraryWithoutFactoryIsClosedAgain) {
    LogCapture capture;
    PluginManager manager;
    EXPECT_EQ(manager.LoadPlugin(kNoSym.c_str()), nullptr);
    EXPECT_FALSE(IsLoaded(kNoSym));
    EXPECT_EQ(manager.LoadPlugin(kNoSym), nullptr);
    EXPECT_FALSE(IsLoaded(kNoSym));
    EXPECT_EQ(ManagerLines(capture),
              (std::vector<std::string>{"2 Failed to dlsym, can not find symbol CreatePlugin[err:" + kNoSym +
                                            ": undefined symbol: CreatePlugin]",
                                        "2 Failed to dlsym, can not find symbol CreatePlugin"}));
}

TEST(PluginManagerLoad, FactoryReturningNullGivesNullQuietlyAndLeavesTheLibraryOpen) {
    LogCapture capture;
    PluginManager manager;
    EXPECT_EQ(manager.LoadPlugin(kNullFactory.c_str()), nullptr);
    EXPECT_EQ(manager.LoadPlugin(kNullFactory), nullptr);
    EXPECT_TRUE(ManagerLines(capture).empty());
    EXPECT_TRUE(IsLoaded(kNullFactory));
}

TEST(PluginManagerUnload, UnloadStopsDeletesAndClosesInThatOrder) {
    LogCapture capture;
    PluginManager manager;
    PluginInterface* plugin = manager.LoadPlugin(kAlpha.c_str());
    ASSERT_NE(plugin, nullptr);
    capture.Clear();
    manager.UnLoadPlugin(plugin);
    EXPECT_EQ(capture.Messages(),
              (std::vector<std::string>{"#### erase from list", "test plugin alpha UnInit",
                                        "Success to unload plugin alpha", "test plugin alpha destroyed"}));
    EXPECT_EQ(ManagerLines(capture),
              (std::vector<std::string>{"5 #### erase from list", "5 Success to unload plugin alpha"}));
    EXPECT_FALSE(IsLoaded(kAlpha));
}

TEST(PluginManagerUnload, DoubleLoadGivesTwoObjectsAndDoubleUnloadDoesNothingTheSecondTime) {
    LogCapture capture;
    PluginManager manager;
    PluginInterface* first = manager.LoadPlugin(kAlpha.c_str());
    PluginInterface* second = manager.LoadPlugin(kAlpha.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);

    manager.UnLoadPlugin(first);
    EXPECT_TRUE(IsLoaded(kAlpha)) << "the second object still needs its library";
    capture.Clear();
    manager.UnLoadPlugin(first);
    EXPECT_TRUE(capture.Lines().empty());

    manager.UnLoadPlugin(second);
    EXPECT_FALSE(IsLoaded(kAlpha));
}

TEST(PluginManagerUnload, NullAndForeignPointers) {
    LogCapture capture;
    PluginManager manager;
    manager.UnLoadPlugin(nullptr);
    EXPECT_EQ(ManagerLines(capture), std::vector<std::string>{"2 Failed, parameter error"});

    PluginManager other;
    PluginInterface* foreign = other.LoadPlugin(kBeta.c_str());
    ASSERT_NE(foreign, nullptr);
    capture.Clear();
    manager.UnLoadPlugin(foreign);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(foreign->GetName(), "beta") << "still alive, owned by the other manager";
}

TEST(PluginManagerUnload, DestructionUnloadsEveryPluginInListOrder) {
    LogCapture capture;
    {
        PluginManager manager;
        ASSERT_NE(manager.LoadPlugin(kBeta.c_str()), nullptr);
        ASSERT_NE(manager.LoadPlugin(kAlpha), nullptr);
        capture.Clear();
    }
    EXPECT_EQ(capture.Messages(),
              (std::vector<std::string>{"#### erase from list", "test plugin beta UnInit",
                                        "Success to unload plugin beta", "test plugin beta destroyed",
                                        "#### erase from list", "test plugin alpha UnInit",
                                        "Success to unload plugin alpha", "test plugin alpha destroyed"}));
    EXPECT_FALSE(IsLoaded(kAlpha));
    EXPECT_FALSE(IsLoaded(kBeta));
}

}  // namespace
