#include <cstdio>
#include <string>

#include "HostApp.h"
#include "zrlog_text.h"

int main(int argc, char** argv) {
    tools::HostOptions options;
    std::string error;
    int parsed = tools::ParseHostOptions(argc, argv, options, error);
    if (parsed == 1) {
        std::fputs(tools::HostUsage(), stdout);
        return 0;
    }
    if (parsed != 0) {
        std::fprintf(stderr, "camera-host: %s\n%s", zrlog::EscapeControls(error).c_str(), tools::HostUsage());
        return 2;
    }
    tools::HostApp app(options);
    return app.Run();
}
