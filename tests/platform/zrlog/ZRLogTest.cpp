#include "zrlog.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "RemoteListener.h"

namespace {

TEST(ZRLogOutput, HookReceivesModuleRepoRelativeFileLineLevelAndFormattedText) {
    LogCapture capture;
    int line = __LINE__ + 1;
    ROOT_LOG(ZR_LOG_ERR, "Failed to gp_widget_set_value, ret : %#X", -2);
    ZR_LOG_AT("util.file", ZR_LOG_INFO, "%s %d %.1f", "a", 7, 2.5);
    std::vector<LogLine> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].module, "root");
    EXPECT_EQ(lines[0].file, "tests/platform/zrlog/ZRLogTest");
    EXPECT_EQ(lines[0].line, line);
    EXPECT_EQ(lines[0].level, 2);
    EXPECT_EQ(lines[0].message, "Failed to gp_widget_set_value, ret : 0XFFFFFFFE");
    EXPECT_EQ(lines[1].module, "util.file");
    EXPECT_EQ(lines[1].level, 5);
    EXPECT_EQ(lines[1].message, "a 7 2.5");
}

TEST(ZRLogOutput, ErrnoTextIsTheCallersAndErrnoIsKept) {
    LogCapture capture;
    errno = ENOENT;
    ROOT_LOG(ZR_LOG_ERR, "open error! %m");
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"open error! No such file or directory"});
}

TEST(ZRLogOutput, LongAndUnicodeMessagesArriveWhole) {
    LogCapture capture;
    std::string longText(5000, 'x');
    ROOT_LOG(ZR_LOG_INFO, "%s|", longText.c_str());
    ROOT_LOG(ZR_LOG_INFO, "====== 连接断开 =======");
    std::vector<std::string> msgs = capture.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], longText + "|");
    EXPECT_EQ(msgs[1], "====== 连接断开 =======");
}

TEST(ZRLogOutput, NoHookAfterRemovalAndConcurrentLinesAllArrive) {
    {
        LogCapture capture;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    ROOT_LOG(ZR_LOG_INFO, "t%d i%d", t, i);
            });
        }
        for (auto& th : threads)
            th.join();
        EXPECT_EQ(capture.Lines().size(), 800u);
    }
    LogCapture later;
    later.Clear();
    ROOT_LOG(ZR_LOG_INFO, "after");
    EXPECT_EQ(later.Messages(), std::vector<std::string>{"after"});
}

TEST(ZRLogOutput, StandardErrorGetsOneLinePerCallFilteredByLevel) {
    const char* env = std::getenv("ZRLOG_LEVEL");
    int threshold = (env != nullptr && *env != '\0') ? std::atoi(env) : 5;
    testing::internal::CaptureStderr();
    ROOT_LOG(ZR_LOG_ERR, "err line %d", 1);
    ROOT_LOG(ZR_LOG_INFO, "info line");
    ZR_LOG_AT("root", 9, "debug line");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(" 2 root tests/platform/zrlog/ZRLogTest:"), std::string::npos) << err;
    EXPECT_NE(err.find("err line 1\n"), std::string::npos);
    EXPECT_EQ(err.find("info line") != std::string::npos, threshold >= 5);
    EXPECT_EQ(err.find("debug line"), std::string::npos);
}

TEST(ZRLocalUdp, DatagramReachesTheBoundNameByteForByte) {
    RemoteListener listener("zrlog-test");
    ASSERT_GE(listener.Fd(), 0);
    int sender = zr_local_udp_open(nullptr);
    ASSERT_GE(sender, 0);
    std::vector<uint8_t> payload(1000);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(zr_local_udp_send(sender, listener.Name().c_str(), payload.data(), payload.size()), 1000);
    EXPECT_EQ(listener.Receive(), payload);
    EXPECT_EQ(zr_local_udp_send(sender, listener.Name().c_str(), nullptr, 0), 0);
    EXPECT_TRUE(listener.Receive(200).empty()) << "an empty datagram arrives with length 0";
    ::close(sender);
}

TEST(ZRLocalUdp, BadNamesAndMissingDestinationsFailCleanly) {
    int sender = zr_local_udp_open(nullptr);
    ASSERT_GE(sender, 0);
    char byte = 1;
    EXPECT_EQ(zr_local_udp_send(sender, "nobody-is-bound-here", &byte, 1), -1);
    EXPECT_EQ(zr_local_udp_send(sender, nullptr, &byte, 1), -1);
    EXPECT_EQ(zr_local_udp_send(sender, "", &byte, 1), -1);
    std::string tooLong(ZR_LOCAL_UDP_NAME_MAX + 1, 'n');
    EXPECT_EQ(zr_local_udp_send(sender, tooLong.c_str(), &byte, 1), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(zr_local_udp_open(tooLong.c_str()), -1);
    EXPECT_EQ(zr_local_udp_send(-1, "x", &byte, 1), -1);
    ::close(sender);
}

TEST(ZRLocalUdp, ANameCanBeBoundOnlyOnceAtATime) {
    RemoteListener first("zrlog-once");
    ASSERT_GE(first.Fd(), 0);
    EXPECT_EQ(zr_local_udp_open(first.Name().c_str()), -1);
    EXPECT_EQ(errno, EADDRINUSE);
}

TEST(ZRLocalUdp, ReceiveTimesOutWithZero) {
    RemoteListener listener("zrlog-quiet");
    char buf[8];
    EXPECT_EQ(zr_local_udp_recv(listener.Fd(), buf, sizeof(buf), 20), 0);
}

}  // namespace
