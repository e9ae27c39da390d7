// camera-host: loads the plug-in the way the device's firmware does, prints
// what it publishes and turns command lines into set requests.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CameraParams.h"
#include "CommandParser.h"
#include "PluginManager.h"
#include "SignalWaiter.h"
#include "VirtualEventBus.h"

namespace camsim {
class Simulator;
}

namespace tools {

struct HostOptions {
    std::string simulate;  // model string or profile name; empty: real cameras
    std::string stateDir;  // simulator state directory
    bool ptp = false;      // --ptp: the simulated body at the USB wire, driven by a real ptp2 driver
    std::string camlibs;   // --camlibs: that driver's directory; "" for the system's
    bool json = false;
    std::vector<std::string> remotes;
    std::string script;
    std::string plugin;  // path of libPluginCameraCtrl.so
    std::string web;     // --web: the web remote's address, "" when not loaded
    int webPort = 0;
    std::string webToken;   // token file, or "generate"
    std::string webPlugin;  // path of libPluginCameraWeb.so
};

// 0: run; 1: help was printed; 2: bad arguments (message in `error`).
int ParseHostOptions(int argc, char** argv, HostOptions& options, std::string& error);
const char* HostUsage();

class HostApp {
  public:
    explicit HostApp(HostOptions options);
    ~HostApp();
    HostApp(const HostApp&) = delete;
    HostApp& operator=(const HostApp&) = delete;

    // Runs until quit, end of input or a signal; returns the exit status.
    int Run();

  private:
    bool Start();
    bool StartWeb();
    void Stop();
    // False when the host should stop.
    bool Execute(const std::string& line);
    bool RunScript();
    void RunInput();
    void OnRecord(const CameraParams& params);
    // --json: records keep standard output to themselves (see the .cpp).
    bool SeparateRecords();
    void Say(const std::string& text);
    void Complain(const std::string& text);

    HostOptions m_options;
    SignalWaiter m_signals;
    std::unique_ptr<camsim::Simulator> m_sim;
    std::shared_ptr<VirtualEventBus> m_bus;
    std::unique_ptr<PluginManager> m_manager;
    PluginInterface* m_plugin = nullptr;
    std::mutex m_outputMutex;
    FILE* m_records = nullptr;  // where records go when not to stdout
};

}  // namespace tools
