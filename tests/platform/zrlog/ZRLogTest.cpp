#include "zrlog.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <numeric>

#include "LogCapture.h"
#include "RemoteListener.h"

namespace {

TEST(ZRLogOutput, HookGetsEveryLineWithItsOriginStandardErrorOnlyUpToTheLevel) {
    const std::string longText(5000, 'x');  // past the formatter's first buffer
    LogCapture capture;
    testing::internal::CaptureStderr();
    const int line = __LINE__ + 1;
    ROOT_LOG(ZR_LOG_ERR, "ret : %#X %s| 连接断开", -2, longText.c_str());
    errno = ENOENT;
    ZR_LOG_AT("util.file", ZR_LOG_INFO, "open error! %m");
    EXPECT_EQ(errno, ENOENT);
    ZR_LOG_AT("root", 9, "debug line");
    const std::string err = testing::internal::GetCapturedStderr();
    std::vector<std::string> got;  // line numbers relative to the first call
    for (const LogLine& l : capture.Lines())
        got.push_back(l.module + " " + l.file + ":" + std::to_string(l.line - line) + " " +
                      std::to_string(l.level) + " " + l.message);
    const std::string at = " tests/platform/zrlog/ZRLogTest:";
    EXPECT_EQ(got, (std::vector<std::string>{"root" + at + "0 2 ret : 0XFFFFFFFE " + longText + "| 连接断开",
                                             "util.file" + at + "2 5 open error! No such file or directory",
                                             "root" + at + "4 9 debug line"}));
    EXPECT_NE(err.find(" 2 root" + at + std::to_string(line) + " ret : 0XFFFFFFFE x"), std::string::npos);
    const char* level = std::getenv("ZRLOG_LEVEL");  // 5 when not set
    EXPECT_EQ(err.find("open error") != std::string::npos, level == nullptr || std::atoi(level) >= 5);
    EXPECT_EQ(err.find("debug line"), std::string::npos);
}

TEST(ZRLocalUdp, DatagramsReachTheBoundNameWholeAndBadNamesFail) {
    RemoteListener listener("zrlog-test");
    const int sender = zr_local_udp_open(nullptr);
    std::vector<uint8_t> payload(1000);
    std::iota(payload.begin(), payload.end(), 7);
    const char* name = listener.Name().c_str();
    EXPECT_EQ(zr_local_udp_send(sender, name, payload.data(), payload.size()), 1000);
    EXPECT_EQ(listener.Receive(), payload);
    char cut[8];
    for (size_t size : {20, 0}) {  // the full length of a cut one; an empty one
        EXPECT_EQ(zr_local_udp_send(sender, name, size ? payload.data() : nullptr, size), int(size));
        EXPECT_EQ(zr_local_udp_recv(listener.Fd(), cut, sizeof cut, 1000), int(size));
    }
    EXPECT_EQ(zr_local_udp_recv(listener.Fd(), cut, sizeof cut, 20), 0) << "the time-out";
    const std::string tooLong(ZR_LOCAL_UDP_NAME_MAX + 1, 'n');
    const std::pair<const char*, int> refused[] = {{"nobody-is-bound-here", ECONNREFUSED},
                                                   {nullptr, EINVAL},
                                                   {"", EINVAL},
                                                   {tooLong.c_str(), ENAMETOOLONG}};
    for (const auto& [to, error] : refused) {
        EXPECT_EQ(zr_local_udp_send(sender, to, cut, 1), -1);
        EXPECT_EQ(errno, error) << (to ? to : "null");
    }
    EXPECT_EQ(zr_local_udp_send(sender, name, nullptr, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(zr_local_udp_send(-1, name, cut, 1), -1);
    EXPECT_EQ(zr_local_udp_open(tooLong.c_str()), -1);
    EXPECT_EQ(zr_local_udp_open(name), -1);
    EXPECT_EQ(errno, EADDRINUSE);
    ::close(sender);
}

}  // namespace
