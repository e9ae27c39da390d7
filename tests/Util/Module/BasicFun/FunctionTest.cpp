#include "Function.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BasicFunTest.h"
#include "TempDir.h"

#ifndef CLONE_NEWTIME
#define CLONE_NEWTIME 0x00000080
#endif

namespace {

const char kFunc[] = "util.func";

// Keeps TZ at UTC while alive, so that mktime and gmtime agree.
class UtcZone {
  public:
    UtcZone() {
        const char* tz = std::getenv("TZ");
        m_had = tz != nullptr;
        m_old = m_had ? tz : "";
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    ~UtcZone() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool m_had = false;
    std::string m_old;
};

uint32_t Packed(const RECTIME& r) {
    uint32_t v = 0;
    std::memcpy(&v, &r, sizeof(v));
    return v;
}

}  // namespace

TEST(FunctionCommand, ExecCommand2ExitStatusAndJoinedArguments) {
    TempDir dir{"basicfun"};
    ASSERT_FALSE(dir.Path().empty());
    LogCapture logs;
    EXPECT_EQ(3, ExecCommand2("exit", "3", nullptr));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "execl exit 3."));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "WIFEXITED OK. WEXITSTATUS(status) = 3"));
    EXPECT_EQ(0, ExecCommand2("touch", dir.File("made").c_str(), nullptr));
    EXPECT_TRUE(Exists(dir.File("made")));
    EXPECT_EQ(127, ExecCommand2("/nonexistent/tool", nullptr));
    EXPECT_EQ(-1, ExecCommand2(nullptr, nullptr));
}

TEST(FunctionCommand, ExecCommand2KilledChildGivesMinusOne) {
    LogCapture logs;
    EXPECT_EQ(-1, ExecCommand2("kill -9 $$", nullptr));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_ERR, "WIFEXITED Error!"));
}

TEST(FunctionCommand, ExecCommand2ClosesDescriptorsAndSurvivesIgnoredSigchld) {
    int fd = open("/dev/null", O_RDONLY);  // inheritable on purpose
    ASSERT_GE(fd, 3);
    const std::string probe = "[ -e /proc/$$/fd/" + std::to_string(fd) + " ]";
    EXPECT_EQ(1, ExecCommand2(probe.c_str(), nullptr));
    EXPECT_EQ(0, ExecCommand2("[ -e /proc/$$/fd/2 ]", nullptr));  // the standard ones stay
    close(fd);

    // A host that ignores SIGCHLD would let the kernel reap the child early.
    struct sigaction ign;
    struct sigaction old;
    struct sigaction now;
    std::memset(&ign, 0, sizeof(ign));
    ign.sa_handler = SIG_IGN;
    ASSERT_EQ(0, sigaction(SIGCHLD, &ign, &old));
    EXPECT_EQ(3, ExecCommand2("exit 3", nullptr));
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(SIG_IGN, now.sa_handler);
    sigaction(SIGCHLD, &old, nullptr);
}

TEST(FunctionCommand, ExecCommand2RefusesOverlongLines) {
    TempDir dir{"basicfun"};
    ASSERT_FALSE(dir.Path().empty());
    const std::string target = dir.File("t");
    const std::string head = "touch " + target + " #";
    const std::string fits(EXEC_CMD_LINE_MAX - 1 - head.size(), 'p');
    LogCapture logs;
    EXPECT_EQ(0, ExecCommand2("touch", target.c_str(), ("#" + fits).c_str(), nullptr));
    EXPECT_TRUE(Exists(target));
    ASSERT_EQ(0, unlink(target.c_str()));
    EXPECT_EQ(-1, ExecCommand2("touch", target.c_str(), ("#" + fits + "p").c_str(), nullptr));
    EXPECT_FALSE(Exists(target));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_ERR, "Failed, command line longer than 255 bytes: touch"));
}

TEST(FunctionCommand, ExecCommandReadsOutputAndReportsSignals) {
    LogCapture logs;
    EXPECT_EQ(0, ExecCommand("seq 1 5000"));  // more output than one pipe buffer
    EXPECT_EQ(0, ExecCommand("exit 4"));
    EXPECT_EQ(0, ExecCommand("kill -9 $$"));
    EXPECT_TRUE(
        HasLog(logs, kFunc, ZR_LOG_ERR, "ExecCommand: kill -9 $$ Finish. res = 9, WIFEXITED(res) = 0"));
    EXPECT_EQ(-1, ExecCommand(nullptr));
}

TEST(FunctionProcess, BackgroundChildFoundWaitedAndReaped) {
    TempDir dir{"basicfun"};
    ASSERT_FALSE(dir.Path().empty());
    LogCapture logs;
    const std::string duration = "30." + std::to_string(getpid());
    pid_t sleeper = ExecCommandBackground("sleep", duration.c_str(), nullptr);
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "--------->pid = " + std::to_string(sleeper)));
    EXPECT_EQ(sleeper, XGetProgressIDByProgramName("sleep", duration.c_str()));
    EXPECT_TRUE(
        HasLog(logs, kFunc, ZR_LOG_INFO, "->" + std::to_string(sleeper) + " sleep sleep " + duration + "\n"));
    EXPECT_EQ(-1, XGetProgressIDByProgramName("sleep", "no-such-argument"));
    EXPECT_EQ(-1, XGetProgressIDByProgramName("no_such_prog_q", nullptr));
    ASSERT_EQ(0, kill(sleeper, SIGTERM));
    uint64_t start = SystemGetMSCount();
    EXPECT_EQ(1, XWaitProgressQuit(sleeper));
    EXPECT_GE(SystemGetMSCount() - start, 1000u);
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "killed by signal 15\n"));

    // The child runs with a zero file-mode mask and without standard input.
    const std::string out = dir.File("umask");
    const std::string script = "umask > " + out + "; [ -e /proc/$$/fd/0 ] || echo stdin-closed >> " + out;
    pid_t shell = ExecCommandBackground("sh", "-c", script.c_str(), nullptr);
    ASSERT_GT(shell, 0);
    EXPECT_EQ(1, XWaitProgressQuit(shell));
    EXPECT_EQ("0000\nstdin-closed\n", ReadFile(out));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "exited, status=0\n"));

    pid_t missing = ExecCommandBackground("/nonexistent/prog", nullptr);
    ASSERT_GT(missing, 0);
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_ERR, "execvp error.\n"));
    EXPECT_EQ(1, XWaitProgressQuit(missing));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "exited, status=127\n"));

    EXPECT_EQ(0, XWaitProgressQuit(getpid()));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_ERR,
                       "waitpid[" + std::to_string(getpid()) + "] error! No child processes"));
}

TEST(FunctionProcess, BackgroundRefusesTooManyArguments) {
#define A10 "a", "a", "a", "a", "a", "a", "a", "a", "a", "a"
#define A50 A10, A10, A10, A10, A10
#define A250 A50, A50, A50, A50, A50
    pid_t ok = ExecCommandBackground("true", A250, "a", "a", "a", "a", nullptr);  // 254 arguments
    ASSERT_GT(ok, 0);
    int status = 0;
    ASSERT_EQ(ok, waitpid(ok, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(-1, ExecCommandBackground("true", A250, "a", "a", "a", "a", "a", nullptr));
#undef A250
#undef A50
#undef A10
}

TEST(FunctionText, SplitAndBlankChars) {
    char text[] = ",,alpha, beta;;gamma ,";
    char* pieces[8];
    ASSERT_EQ(3, split(text, ",; ", pieces, 8));
    EXPECT_STREQ("alpha", pieces[0]);
    EXPECT_STREQ("beta", pieces[1]);
    EXPECT_STREQ("gamma", pieces[2]);

    char line[] = "  42 sleep sleep 30 --flag\n";
    ASSERT_EQ(3, split(line, " \n", pieces, 3));
    EXPECT_STREQ("42", pieces[0]);
    EXPECT_STREQ("sleep 30 --flag", pieces[2]);  // the last piece keeps the rest

    char seps[] = " ; ";
    EXPECT_EQ(0, split(seps, "; ", pieces, 8));
    EXPECT_EQ(0, split(line, " ", pieces, 0));

    for (char c : std::string(" \r\t\b\n")) {
        EXPECT_TRUE(BlankChar(c)) << static_cast<int>(c);
    }
    for (char c : std::string("a\v-")) {
        EXPECT_FALSE(BlankChar(c)) << static_cast<int>(c);
    }
}

TEST(FunctionClock, MonotonicCountersAndSleeps) {
    uint64_t us0 = SystemGetUSCount();
    SleepMs(50);
    uint64_t us1 = SystemGetUSCount();
    EXPECT_GE(us1 - us0, 50000u);
    EXPECT_LT(us1 - us0, 10000000u);
    uint64_t ms0 = SystemGetMSCount();
    XSleep(30);
    EXPECT_GE(SystemGetMSCount() - ms0, 30u);

    // An interrupted sleep goes on for the remaining time.
    struct sigaction onAlarm;
    struct sigaction old;
    std::memset(&onAlarm, 0, sizeof(onAlarm));
    onAlarm.sa_handler = [](int) {};
    ASSERT_EQ(0, sigaction(SIGALRM, &onAlarm, &old));
    itimerval timer{};
    timer.it_value.tv_usec = 20000;
    setitimer(ITIMER_REAL, &timer, nullptr);
    ms0 = SystemGetMSCount();
    SleepMs(120);
    EXPECT_GE(SystemGetMSCount() - ms0, 120u);
    sigaction(SIGALRM, &old, nullptr);

    char elapsed[16];
    uint64_t ms = SystemGetMSCountExt(elapsed, sizeof(elapsed));
    int h = -1;
    int m = -1;
    int s = -1;
    ASSERT_EQ(3, std::sscanf(elapsed, "%d:%d:%d", &h, &m, &s));
    EXPECT_EQ(static_cast<int64_t>(ms / 1000), h * 3600 + m * 60 + s);
    EXPECT_LT(m, 60);
    EXPECT_GE(std::strlen(elapsed), 8u);  // two digits at least per field

    TimeInterval interval{};
    PrintTimeInterval(&interval);
    SleepMs(20);
    int64_t diff = PrintTimeInterval(&interval);
    EXPECT_GE(diff, 20);
    EXPECT_LT(diff, 10000);
    EXPECT_EQ(2u, interval.nCount);
    EXPECT_EQ(diff, static_cast<int64_t>(interval.nCurMs - interval.nPrevMs));
}

TEST(FunctionClock, WallClockReadings) {
    timeval before;
    timeval tv;
    gettimeofday(&before, nullptr);
    uint64_t us = SystemGetUSCount(&tv);
    uint64_t beforeUs =
        static_cast<uint64_t>(before.tv_sec) * 1000000 + static_cast<uint64_t>(before.tv_usec);
    EXPECT_GE(us, beforeUs);
    EXPECT_LT(us - beforeUs, 5000000u);
    EXPECT_EQ(us, static_cast<uint64_t>(tv.tv_sec) * 1000000 + static_cast<uint64_t>(tv.tv_usec));
    time_t now = time(nullptr);
    EXPECT_LE(now, SystemGetSecondCount());
    EXPECT_GE(now + 5, SystemGetSecondCount());
}

TEST(FunctionClock, MilliSecondsWrapAt2To31) {
    uint64_t before = SystemGetMSCount();
    uint32_t value = GetCurTimeMilliSec();
    uint64_t after = SystemGetMSCount();
    EXPECT_LT(value, 1u << 31);
    EXPECT_GE(value, before % (1ULL << 31));
    EXPECT_LE(value, after % (1ULL << 31));

    // In a time namespace whose monotonic clock stands 5 s past 2^31 ms.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        if (unshare(CLONE_NEWTIME) != 0) {
            _exit(77);
        }
        FILE* fp = std::fopen("/proc/self/timens_offsets", "w");
        long offset = 2147483L + 5 - static_cast<long>(ts.tv_sec);
        if (fp == nullptr || std::fprintf(fp, "monotonic %ld 0\n", offset) < 0 || std::fclose(fp) != 0) {
            _exit(77);
        }
        pid_t inner = fork();
        if (inner == 0) {
            uint64_t ms = SystemGetMSCount();
            uint32_t wrapped = GetCurTimeMilliSec();
            bool ok = ms >= (1ULL << 31) && wrapped < 60000 && wrapped >= ms - (1ULL << 31);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(inner, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no time namespace here: only the range was checked";
    }
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(FunctionTime, RecTimeLayoutAndRoundTrip) {
    // Each field at its bit offset in the packed word.
    const std::pair<void (*)(RECTIME&), uint32_t> fields[] = {
        {[](RECTIME& r) { r.second = 1; }, 1u},      {[](RECTIME& r) { r.minute = 1; }, 1u << 6},
        {[](RECTIME& r) { r.hour = 1; }, 1u << 12},  {[](RECTIME& r) { r.day = 1; }, 1u << 17},
        {[](RECTIME& r) { r.month = 1; }, 1u << 22}, {[](RECTIME& r) { r.year = 1; }, 1u << 26},
    };
    for (const auto& f : fields) {
        RECTIME bits{};
        f.first(bits);
        EXPECT_EQ(f.second, Packed(bits));
    }

    UtcZone utc;
    RECTIME r{};
    ASSERT_EQ(0, Second2RECTIME(1709251199, &r));  // 2024-02-29 23:59:59 UTC
    EXPECT_EQ(24u, r.year);
    EXPECT_EQ(2u, r.month);
    EXPECT_EQ(29u, r.day);
    EXPECT_EQ(23u, r.hour);
    EXPECT_EQ(59u, r.minute);
    EXPECT_EQ(59u, r.second);
    for (time_t t :
         {static_cast<time_t>(946684800), static_cast<time_t>(1709251199), static_cast<time_t>(2147483647)}) {
        ASSERT_EQ(0, Second2RECTIME(t, &r)) << t;
        EXPECT_EQ(t, RECTIME2Second(&r)) << t;
    }
    EXPECT_EQ(-1, Second2RECTIME(946684799, &r));  // 1999
    if (sizeof(time_t) > 4) {
        EXPECT_EQ(-1, Second2RECTIME(static_cast<time_t>(2966371200LL), &r));  // 2064
    }

    for (void (*spoil)(RECTIME&) : {+[](RECTIME& b) { b.month = 13; }, +[](RECTIME& b) { b.day = 0; },
                                    +[](RECTIME& b) { b.hour = 24; }}) {
        RECTIME bad = r;
        spoil(bad);
        EXPECT_EQ(-1, RECTIME2Second(&bad));
    }
    EXPECT_EQ(-1, RECTIME2Second(nullptr));
    EXPECT_EQ(-1, SetSysDateTime2(nullptr, 8));  // never called with a real time here

    time_t t0 = time(nullptr);
    ASSERT_EQ(0, GetSysDateTime2(&r));
    time_t got = RECTIME2Second(&r);
    EXPECT_GE(got, t0);
    EXPECT_LE(got, time(nullptr));

    LogCapture logs;
    EXPECT_EQ(0, XSetSystemTime(2024, 2, 29, 23, 59, 59));
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "#### SET SYS TIME:2024/02/29 23:59:59 ####"));
}

TEST(FunctionSystem, UuidCoredumpLimitAndAdts) {
    char uuid[37];
    char other[37];
    ASSERT_EQ(1, GetUUID(uuid, sizeof(uuid)));
    ASSERT_EQ(1, GetUUID(other, sizeof(other)));
    EXPECT_EQ(36u, std::strlen(uuid));
    EXPECT_EQ('-', uuid[8]);
    EXPECT_EQ('-', uuid[23]);
    EXPECT_STRNE(uuid, other);
    EXPECT_EQ(0, GetUUID(uuid, 36));  // no room for the terminator

    LogCapture logs;
    rlimit lim{};
    ASSERT_EQ(0, getrlimit(RLIMIT_CORE, &lim));
    if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < (1u << 20)) {
        GTEST_SKIP() << "core limit below 1 MiB";
    }
    EXPECT_EQ(0, debug_set_coredump_size(1));
    ASSERT_EQ(0, getrlimit(RLIMIT_CORE, &lim));
    EXPECT_EQ(1u << 20, lim.rlim_cur);
    EXPECT_EQ(1u << 20, lim.rlim_max);
    EXPECT_TRUE(HasLog(logs, kFunc, ZR_LOG_INFO, "coredump size, cur[   1048576], max[   1048576]"));

    // Junk, an LC 44.1 kHz stereo frame of 100 bytes, a header-only frame
    // with reserved profile and rate, and a cut header at the end.
    std::vector<unsigned char> stream = {0x00, 0xFF, 0x12};
    const unsigned char lc[] = {0xFF, 0xF1, 0x50, 0x80, 0x0C, 0x9F, 0xFC};
    stream.insert(stream.end(), lc, lc + sizeof(lc));
    stream.resize(stream.size() + 100 - sizeof(lc), 0xFF);
    const unsigned char odd[] = {0xFF, 0xF1, 0xF4, 0x40, 0x00, 0xE0, 0x01};
    stream.insert(stream.end(), odd, odd + sizeof(odd));
    stream.insert(stream.end(), lc, lc + 5);
    logs.Clear();
    dumpADTS(stream.data(), static_cast<int>(stream.size()));
    EXPECT_EQ((std::vector<std::string>{
                  "Syn=fff  MPEG4=0  layer=0  protection=1  LC  44100Hz  channel=2  original=0  home=0  "
                  "copyright_id=0  copyright_start=0  frame_length=100  fullness=0x7ff  raw_blocks=0",
                  "Syn=fff  MPEG4=0  layer=0  protection=1  unknown unknown  channel=1  original=0  home=0  "
                  "copyright_id=0  copyright_start=0  frame_length=7  fullness=0x000  raw_blocks=1"}),
              logs.Messages());
}
