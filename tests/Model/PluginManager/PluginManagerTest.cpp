#include "PluginManager.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "LogCapture.h"

namespace {

const std::string kDir = TEST_PLUGIN_DIR;
const std::string kAlpha = kDir + "/libtest_plugin_alpha.so", kBeta = kDir + "/libtest_plugin_beta.so";
const std::string kNoSym = kDir + "/libtest_plugin_nosym.so", kMissing = kDir + "/libdoes_not_exist.so";
const std::string kNullFactory = kDir + "/libtest_plugin_nullfactory.so";

bool IsLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    return h != nullptr && dlclose(h) == 0;
}

// Every line logged, as "level message".
std::vector<std::string> Logged(const LogCapture& capture) {
    std::vector<std::string> out;
    for (const LogLine& l : capture.Lines())
        out.push_back(std::to_string(l.level) + " " + l.message);
    return out;
}

// Both overloads (the text one given the empty text for a null path), with what they log.
TEST(PluginManagerLoad, EachOverloadLoadsThroughCreatePluginOrSaysWhyNot) {
    const std::string noSym = "2 Failed to dlsym, can not find symbol CreatePlugin",
                      param = "2 Failed, parameter error";
    const std::string noFile =
        "[err:" + kMissing + ": cannot open shared object file: No such file or directory]";
    const std::tuple<std::string, bool, std::vector<std::string>> cases[] = {
        {"", false, {param}},
        {"", true, {param}},
        {kMissing, false, {"2 Failed to dlopen " + kMissing + noFile}},
        {kMissing, true, {"2 Failed to dlopen " + kMissing}},
        {kNoSym, false, {noSym + "[err:" + kNoSym + ": undefined symbol: CreatePlugin]"}},
        {kNoSym, true, {noSym}},
        {kNullFactory, false, {}},
        {kNullFactory, true, {}},
        {kAlpha, false, {"5 test plugin factory got " + kAlpha, "5 Success to load plugin " + kAlpha}},
        {kBeta, true, {"5 test plugin factory got " + kBeta}},
    };
    for (const auto& [path, text, lines] : cases) {
        SCOPED_TRACE(path + (text ? " as text" : ""));
        LogCapture capture;
        PluginManager manager;
        PluginInterface* p =
            text ? manager.LoadPlugin(path) : manager.LoadPlugin(path.empty() ? nullptr : path.c_str());
        const bool made = path == kAlpha || path == kBeta;
        EXPECT_EQ(p ? p->GetName() : "(none)", made ? (path == kAlpha ? "alpha" : "beta") : "(none)");
        EXPECT_EQ(Logged(capture), lines);
        EXPECT_EQ(!path.empty() && IsLoaded(path), made || path == kNullFactory)
            << "a null factory leaves its library open";
    }
}

// Stopped, deleted, closed in that order; only the manager's own plug-ins, each once; the rest at its end.
TEST(PluginManagerUnload, UnloadStopsDeletesAndClosesAndTheManagerUnloadsTheRestInOrder) {
    LogCapture capture;
    {
        PluginManager other, manager;
        PluginInterface* first = manager.LoadPlugin(kAlpha.c_str());
        ASSERT_NE(first, manager.LoadPlugin(kAlpha));
        ASSERT_NE(manager.LoadPlugin(kBeta), nullptr);
        PluginInterface* foreign = other.LoadPlugin(kBeta.c_str());
        capture.Clear();
        manager.UnLoadPlugin(nullptr);
        manager.UnLoadPlugin(first);
        EXPECT_TRUE(IsLoaded(kAlpha)) << "the second object still needs its library";
        manager.UnLoadPlugin(first);
        manager.UnLoadPlugin(foreign);
        EXPECT_EQ(foreign->GetName(), "beta") << "still alive, owned by the other manager";
    }
    std::vector<std::string> expected = {"2 Failed, parameter error"};
    for (std::string n : {"alpha", "alpha", "beta", "beta"})  // the manager's in list order, then the other's
        for (std::string line : {std::string("#### erase from list"), "test plugin " + n + " UnInit",
                                 "Success to unload plugin " + n, "test plugin " + n + " destroyed"})
            expected.push_back("5 " + line);
    EXPECT_EQ(Logged(capture), expected);
    EXPECT_FALSE(IsLoaded(kAlpha));
    EXPECT_FALSE(IsLoaded(kBeta));
}

}  // namespace
