#include "zr_misc.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BasicFunTest.h"
#include "TempDir.h"

namespace {

const char kMisc[] = "util.misc";

std::string Encode(const std::string& in) {
    char* out = zr_s2base64(reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()),
                            nullptr, 0);
    std::string s = out != nullptr ? out : "<null>";
    std::free(out);
    return s;
}

// Decoded text, or "<null>" when refused.
std::string Decode(const char* in) {
    int len = -1;
    unsigned char* out = zr_base642s(in, nullptr, 0, &len);
    std::string s =
        out != nullptr ? std::string(reinterpret_cast<char*>(out), static_cast<size_t>(len)) : "<null>";
    std::free(out);
    return s;
}

// Every test leaves the device paths as it found them.
class ZrMiscDevice : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }
    void TearDown() override {
        for (int which = 0; which < ZR_PATH_COUNT; ++which) {
            EXPECT_EQ(0, zr_misc_set_device_path(which, nullptr));
        }
    }
    TempDir m_dir{"basicfun"};
};

uint32_t ReadWord(int fd, off_t offset) {
    uint32_t v = 0;
    EXPECT_EQ(4, pread(fd, &v, sizeof(v), offset));
    return v;
}

void WriteWord(int fd, off_t offset, uint32_t v) {
    EXPECT_EQ(4, pwrite(fd, &v, sizeof(v), offset));
}

}  // namespace

TEST(ZrMiscBase64, Rfc4648Vectors) {
    const std::vector<std::pair<std::string, std::string>> vectors = {{"", ""},
                                                                      {"f", "Zg=="},
                                                                      {"fo", "Zm8="},
                                                                      {"foo", "Zm9v"},
                                                                      {"foob", "Zm9vYg=="},
                                                                      {"fooba", "Zm9vYmE="},
                                                                      {"foobar", "Zm9vYmFy"}};
    for (const auto& v : vectors) {
        EXPECT_EQ(v.second, Encode(v.first)) << v.first;
        EXPECT_EQ(v.first, Decode(v.second.c_str())) << v.second;
    }
    std::string binary;
    for (int i = 255; i >= 0; --i) {
        binary.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(binary, Decode(Encode(binary).c_str()));
    EXPECT_EQ("/+7d", Encode("\xff\xee\xdd"));
}

TEST(ZrMiscBase64, BadInputAndCallerBuffers) {
    EXPECT_EQ("foobar", Decode(" Zm9v\r\n\tYmFy\n"));  // white space and controls skipped
    EXPECT_EQ("fo", Decode("Zm8=Zm9v"));               // stops at the fill
    EXPECT_EQ("<null>", Decode("Zm9v*mFy"));
    EXPECT_EQ("<null>", Decode("Zm9v-_"));  // URL-safe letters are not standard base64
    EXPECT_EQ("<null>", Decode("Zm9v\xc3\xa4"));
    EXPECT_EQ(nullptr, zr_base642s(nullptr, nullptr, 0, nullptr));

    char enc[9];
    const unsigned char foobar[] = "foobar";
    EXPECT_EQ(enc, zr_s2base64(foobar, 6, enc, sizeof(enc)));
    EXPECT_STREQ("Zm9vYmFy", enc);
    EXPECT_EQ(nullptr, zr_s2base64(foobar, 6, enc, 8));  // no room for the terminator
    EXPECT_EQ(nullptr, zr_s2base64(nullptr, 3, nullptr, 0));

    unsigned char dec[7];
    int len = 0;
    EXPECT_EQ(dec, zr_base642s("Zm9vYmFy", dec, sizeof(dec), &len));
    EXPECT_EQ(6, len);
    EXPECT_STREQ("foobar", reinterpret_cast<char*>(dec));
    EXPECT_EQ(nullptr, zr_base642s("Zm9vYmFy", dec, 6, &len));
}

TEST(ZrMiscText, Str2HexAndIniParam) {
    LogCapture logs;
    unsigned char b = 0;
    EXPECT_EQ(0, zr_str2hex("a", &b));
    EXPECT_EQ(0x0A, b);
    EXPECT_EQ(0, zr_str2hex("Fe", &b));
    EXPECT_EQ(0xFE, b);
    EXPECT_EQ(-1, zr_str2hex("0g", &b));
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_ERR, "wrong data (0g)\n"));
    EXPECT_EQ(-1, zr_str2hex("123", &b));
    EXPECT_EQ(-1, zr_str2hex("", &b));
    EXPECT_EQ(0xFE, b);

    TempDir dir{"basicfun"};
    ASSERT_FALSE(dir.Path().empty());
    WriteFile(dir.File("level"), "  42\n");
    int value = 0;
    EXPECT_EQ(0, _zr_ini_readparam(dir.File("level").c_str(), &value, 7));
    EXPECT_EQ(42, value);
    EXPECT_EQ(-1, _zr_ini_readparam(dir.File("none").c_str(), &value, 7));
    EXPECT_EQ(7, value);
    WriteFile(dir.File("long"), std::string(32, '0') + "9");  // only 32 bytes count
    EXPECT_EQ(0, _zr_ini_readparam(dir.File("long").c_str(), &value, 7));
    EXPECT_EQ(0, value);
}

TEST(ZrMiscIo, FullReadAndWriteThroughAPipe) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    std::string sent(300000, 'x');  // larger than a pipe buffer
    for (size_t i = 0; i < sent.size(); i += 997) {
        sent[i] = static_cast<char>('a' + i % 26);
    }
    std::thread writer([&] {
        EXPECT_EQ(static_cast<ssize_t>(sent.size()), full_write(fds[1], sent.data(), sent.size()));
        close(fds[1]);
    });
    std::string got(sent.size() + 100, '\0');
    ssize_t n = full_read(fds[0], &got[0], got.size());  // stops at end of file
    writer.join();
    close(fds[0]);
    ASSERT_EQ(static_cast<ssize_t>(sent.size()), n);
    got.resize(static_cast<size_t>(n));
    EXPECT_EQ(sent, got);
    char c;
    EXPECT_EQ(-1, full_read(-1, &c, 1));
    EXPECT_EQ(-1, full_write(-1, &c, 1));
}

TEST(ZrMiscCommand, SystemCmdWaitsOrNot) {
    TempDir dir{"basicfun"};
    ASSERT_FALSE(dir.Path().empty());
    EXPECT_EQ(0, zr_system_cmd("exit 0", 1));
    EXPECT_EQ(-1, zr_system_cmd("exit 2", 1));
    EXPECT_EQ(-1, zr_system_cmd("kill -9 $$", 1));
    EXPECT_EQ(-1, zr_system_cmd(nullptr, 1));
    const std::string made = dir.File("later");
    EXPECT_EQ(0, zr_system_cmd(("sleep 0.1; touch " + made).c_str(), 0));
    EXPECT_FALSE(Exists(made));  // returned without waiting
    for (int i = 0; i < 500 && !Exists(made); ++i) {
        usleep(10000);
    }
    EXPECT_TRUE(Exists(made));
    EXPECT_EQ(0, zr_sync());
}

TEST_F(ZrMiscDevice, EnvParamFromBootEnvironment) {
    char value[18] = "untouched";
    if (access("/usr/sbin/fw_printenv", X_OK) != 0) {
        EXPECT_EQ(-1, zr_env_param_get("ethaddr=", value, sizeof(value)));
    }

    const std::string tool = m_dir.File("fw_printenv");
    WriteFile(tool, "#!/bin/sh\nprintf 'bootdelay=3\\nethaddr=00:11:22:33:44:55\\r\\nserial=AB CD\\n'\n");
    ASSERT_EQ(0, chmod(tool.c_str(), 0755));
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_FW_PRINTENV, tool.c_str()));
    EXPECT_EQ(0, zr_env_param_get("ethaddr=", value, sizeof(value)));
    EXPECT_STREQ("00:11:22:33:44:55", value);
    EXPECT_EQ(0, zr_env_param_get("serial=", value, sizeof(value)));
    EXPECT_STREQ("AB", value);
    EXPECT_EQ(-1, zr_env_param_get("ipaddr=", value, sizeof(value)));
    EXPECT_EQ(-1, zr_env_param_get("ethaddr=", value, 17));  // would not fit with its terminator
    EXPECT_STREQ("AB", value);
    EXPECT_EQ(-1, zr_misc_set_device_path(ZR_PATH_FW_PRINTENV, "/tmp/x; reboot"));
}

TEST_F(ZrMiscDevice, BoardTypeFromGpioValue) {
    if (access("/sys/class/gpio/gpio5/value", F_OK) != 0) {
        EXPECT_EQ(-1, zr_get_board_type2(5));
    }
    ASSERT_EQ(0, mkdir(m_dir.File("gpio5").c_str(), 0755));
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_GPIO_SYSFS, m_dir.Path().c_str()));
    LogCapture logs;
    WriteFile(m_dir.File("gpio5/value"), "0\n");
    EXPECT_EQ(1, zr_get_board_type2(5));
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_INFO, "gpio(5) value is 0, board type is RX\n"));
    WriteFile(m_dir.File("gpio5/value"), "1\n");
    EXPECT_EQ(0, zr_get_board_type2(5));
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_INFO, "gpio(5) value is 1, board type is TX\n"));
    WriteFile(m_dir.File("gpio5/value"), "\n");
    EXPECT_EQ(-1, zr_get_board_type2(5));
    EXPECT_EQ(-1, zr_get_board_type2(6));
}

TEST_F(ZrMiscDevice, Ip2MacFromArpTable) {
    const std::string ib(59, 'a');  // an InfiniBand address does not fit 32 bytes
    WriteFile(m_dir.File("arp"),
              "IP address       HW type     Flags       HW address            Mask     Device\n"
              "192.168.10.20    0x1         0x2         aa:bb:cc:0d:0e:0f     *        eth0\n"
              "192.168.10.30    0x20        0x2         " +
                  ib + "     *        ib0\n");
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_ARP, m_dir.File("arp").c_str()));
    LogCapture logs;
    char colons[ZR_MAC_TEXT_MAX];
    char plain[ZR_MAC_TEXT_MAX];
    EXPECT_EQ(0, zr_ip2mac("192.168.10.20", colons, plain));
    EXPECT_STREQ("AA:BB:CC:0D:0E:0F", colons);
    EXPECT_STREQ("AABBCC0D0E0F", plain);
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_INFO, "MAC:AA:BB:CC:0D:0E:0F"));
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_INFO, "MAC:AABBCC0D0E0F"));

    EXPECT_EQ(-1, zr_ip2mac("192.168.10.30", colons, plain));
    EXPECT_STREQ("", colons);
    EXPECT_STREQ("", plain);
    EXPECT_EQ(-1, zr_ip2mac("192.168.10.99", colons, plain));
    logs.Clear();
    for (const char* bad :
         {"1.2.3.4", "192.168.10.200000", "10.0.0.1;id", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(-1, zr_ip2mac(bad, colons, plain));
    }
    EXPECT_EQ(4, logs.Count(ZR_LOG_ERR, "param error"));
}

TEST_F(ZrMiscDevice, RegistersAndGpioThroughAMappedFile) {
    const std::string mem = m_dir.File("mem");
    int fd = open(mem.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, 0x110A0000));  // sparse: covers every GPIO group
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_MEM, mem.c_str()));

    EXPECT_EQ(0, zr_set_reg(0x11000FFC, 0xDEADBEEF));  // window crosses a page end
    EXPECT_EQ(0xDEADBEEFu, ReadWord(fd, 0x11000FFC));
    WriteWord(fd, 0x10000010, 0x12345678);
    uint32_t v = 0;
    EXPECT_EQ(0, zr_get_reg(0x10000010, &v));
    EXPECT_EQ(0x12345678u, v);

    const off_t group6 = 0x11090000 + 6 * 0x1000;
    WriteWord(fd, group6 + 0x400, 0xF0);
    EXPECT_EQ(0, zr_gpio_set(6, 4, 1));
    EXPECT_EQ(0xF4u, ReadWord(fd, group6 + 0x400));  // direction bit set: output
    EXPECT_EQ(4u, ReadWord(fd, group6 + 4 * 4));
    EXPECT_EQ(0, zr_gpio_set(6, 4, 0));
    EXPECT_EQ(0u, ReadWord(fd, group6 + 4 * 4));

    WriteWord(fd, group6 + 4, 1);
    EXPECT_EQ(1, zr_gpio_get(6, 1));
    EXPECT_EQ(0xF4u, ReadWord(fd, group6 + 0x400));  // mask 1 was clear already
    WriteWord(fd, group6 + 0x400, 0xFF);
    EXPECT_EQ(0, zr_get_board_type());               // group 6 reads 1: TX
    EXPECT_EQ(0xFEu, ReadWord(fd, group6 + 0x400));  // mask 1 cleared: input
    WriteWord(fd, group6 + 4, 0);
    EXPECT_EQ(1, zr_get_board_type());
    WriteWord(fd, 0x11090000 + 14 * 0x1000 + 8 * 4, 0x1FF);
    EXPECT_EQ(0xFF, zr_gpio_get(14, 8));

    LogCapture logs;
    EXPECT_EQ(-1, zr_gpio_set(15, 1, 1));
    EXPECT_EQ(-1, zr_gpio_get(-1, 1));
    EXPECT_EQ(-1, zr_gpio_get(0, 9));
    EXPECT_EQ(-1, zr_set_reg(0x11000002, 1));
    EXPECT_EQ(4, logs.Count(ZR_LOG_ERR, "bad parameter!"));
    close(fd);
}

TEST_F(ZrMiscDevice, RegisterAccessFailsCleanlyWithoutTheDevice) {
    LogCapture logs;
    uint32_t v = 0;
    if (access("/dev/mem", F_OK) != 0) {  // never touch a real /dev/mem
        EXPECT_EQ(-1, zr_get_reg(0x11090000, &v));
        EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_ERR, "memmap():open /dev/mem error!\n"));
        EXPECT_EQ(0, zr_get_board_type());
    }
    const std::string missing = m_dir.File("no-mem");
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_MEM, missing.c_str()));
    EXPECT_EQ(-1, zr_set_reg(0x11090000, 1));
    EXPECT_EQ(-1, zr_gpio_set(6, 1, 1));
    EXPECT_EQ(2, logs.Count(ZR_LOG_ERR, "memmap():open " + missing + " error!\n"));

    const std::string fifo = m_dir.File("fifo");  // opens, but cannot be mapped
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    ASSERT_EQ(0, zr_misc_set_device_path(ZR_PATH_MEM, fifo.c_str()));
    EXPECT_EQ(-1, zr_get_reg(0x11096010, &v));
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_ERR, "memmap():mmap @ 0x11096010 error!\n"));
    EXPECT_EQ(-1, zr_misc_set_device_path(ZR_PATH_COUNT, fifo.c_str()));
    EXPECT_EQ(-1, zr_misc_set_device_path(ZR_PATH_MEM, std::string(300, 'a').c_str()));
}

TEST(ZrMiscQueries, ProcessesMemoryAndFlash) {
    // The name ps lists; under an emulator it would be the emulator's.
    ASSERT_EQ(0, prctl(PR_SET_NAME, "basicfun_tests"));
    EXPECT_EQ(1, zr_check_process_exist("basicfun_tests"));
    EXPECT_EQ(0, zr_check_process_exist("no_such_process_q7"));
    EXPECT_EQ(-1, zr_check_process_exist("a;b"));
    EXPECT_EQ(-1, zr_check_process_exist(std::string(1100, 'p').c_str()));  // command line would overflow
    EXPECT_EQ(-1, zr_check_process_exist(""));

    LogCapture logs;
    uint64_t mem = zr_get_free_mem_bytes();
    ASSERT_NE(UINT64_MAX, mem);
    EXPECT_EQ(0u, mem % 1024);
    const uint64_t kb = mem / 1024;
    EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_INFO,
                       "MemFree is " + std::to_string(kb) + "KB(" + std::to_string(kb / 1024) + "MB)"));

    if (access("/dev/ubi0_0", F_OK) != 0) {
        EXPECT_EQ(UINT64_MAX, zr_get_free_flash_bytes(0));
        EXPECT_TRUE(HasLog(logs, kMisc, ZR_LOG_ERR, "get flash available space fail\n"));
    }
}
