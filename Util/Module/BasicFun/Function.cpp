#include "Function.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BasicFunDetail.h"
#include "zrlog.h"

#define FUNC_LOG(level, ...) ZR_LOG_AT("util.func", level, __VA_ARGS__)

using basicfun_detail::SpawnChild;
using basicfun_detail::SpawnSpec;
using basicfun_detail::WaitChild;

namespace {

constexpr uint64_t kMsWrap = 1ULL << 31;

bool ReadClock(clockid_t clock, timespec* ts) {
    return clock_gettime(clock, ts) == 0;
}

void SelectSleep(uint64_t us) {
    timeval tv;
    tv.tv_sec = static_cast<time_t>(us / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
    // Linux leaves the remaining time in tv after an interruption.
    while (select(0, nullptr, nullptr, nullptr, &tv) < 0 && errno == EINTR) {
    }
}

bool IsDigits(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

// Appends " text" (or text when the line is empty); false when it does not fit.
bool AppendArg(char* line, size_t size, size_t* len, const char* text) {
    size_t add = std::strlen(text) + (*len > 0 ? 1 : 0);
    if (*len + add >= size) {
        return false;
    }
    if (*len > 0) {
        line[(*len)++] = ' ';
    }
    std::memcpy(line + *len, text, std::strlen(text) + 1);
    *len += std::strlen(text);
    return true;
}

const char* const kAdtsProfiles[] = {"  Main", "  LC", "  SSR", "  unknown"};
const char* const kAdtsRates[] = {"  96000Hz ", "  88200Hz ", "  64000Hz ", "  48000Hz ",
                                  "  44100Hz ", "  32000Hz ", "  24000Hz ", "  22050Hz ",
                                  "  16000Hz ", "  12000Hz ", "  11025Hz ", "  8000Hz "};
constexpr int kAdtsHeaderBytes = 7;

}  // namespace

int ExecCommand(const char* cmd) {
    if (cmd == nullptr) {
        return -1;
    }
    FILE* fp = popen(cmd, "r");
    if (fp == nullptr) {
        FUNC_LOG(ZR_LOG_ERR, "popen %s error! %m", cmd);
        return -1;
    }
    char line[1024];
    while (std::fgets(line, sizeof(line), fp) != nullptr) {
    }
    int res = pclose(fp);
    if (res == -1) {
        FUNC_LOG(ZR_LOG_ERR, "pclose %s error! %m", cmd);
        return -1;
    }
    if (!WIFEXITED(res)) {
        FUNC_LOG(ZR_LOG_ERR, "ExecCommand: %s Finish. res = %d, WIFEXITED(res) = %d", cmd, res,
                 WIFEXITED(res));
    }
    return 0;
}

int ExecCommand2(const char* cmd, ...) {
    if (cmd == nullptr) {
        return -1;
    }
    char line[EXEC_CMD_LINE_MAX];
    size_t len = 0;
    line[0] = '\0';
    bool fits = AppendArg(line, sizeof(line), &len, cmd);
    va_list ap;
    va_start(ap, cmd);
    while (const char* arg = va_arg(ap, const char*)) {
        fits = fits && AppendArg(line, sizeof(line), &len, arg);
    }
    va_end(ap);
    if (!fits) {
        FUNC_LOG(ZR_LOG_ERR, "Failed, command line longer than %d bytes: %s", EXEC_CMD_LINE_MAX - 1, cmd);
        return -1;
    }

    // Logged here rather than in the child: nothing may log after vfork.
    FUNC_LOG(ZR_LOG_INFO, "execl %s.", line);
    // SIGCHLD's default action discards the signal without reaping, so a
    // host handler or SIG_IGN cannot take the status away from waitpid.
    struct sigaction dfl;
    struct sigaction old;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGCHLD, &dfl, &old);

    int execError = 0;
    pid_t pid = basicfun_detail::SpawnShell(line, -1, &execError);
    int result = -1;
    if (pid < 0) {
        FUNC_LOG(ZR_LOG_ERR, "vfork error: %m\n");
    } else {
        if (execError != 0) {
            errno = execError;
            FUNC_LOG(ZR_LOG_ERR, "execl error. %m\n");
        }
        int status = 0;
        if (WaitChild(pid, &status, 0) == pid) {
            if (WIFEXITED(status)) {
                result = WEXITSTATUS(status);
                FUNC_LOG(ZR_LOG_INFO, "WIFEXITED OK. WEXITSTATUS(status) = %d", result);
            } else {
                FUNC_LOG(ZR_LOG_ERR, "WIFEXITED Error!");
            }
        }
    }
    sigaction(SIGCHLD, &old, nullptr);
    return result;
}

pid_t ExecCommandBackground(const char* program, ...) {
    if (program == nullptr) {
        return -1;
    }
    char* argv[EXEC_BG_MAX_ARGS + 2];
    int argc = 0;
    argv[argc++] = const_cast<char*>(program);
    bool fits = true;
    va_list ap;
    va_start(ap, program);
    while (const char* arg = va_arg(ap, const char*)) {
        if (argc > EXEC_BG_MAX_ARGS) {
            fits = false;
            continue;
        }
        argv[argc++] = const_cast<char*>(arg);
    }
    va_end(ap);
    argv[argc] = nullptr;
    if (!fits) {
        FUNC_LOG(ZR_LOG_ERR, "Failed, more than %d arguments for %s", EXEC_BG_MAX_ARGS, program);
        return -1;
    }

    SpawnSpec launch;
    launch.path = program;
    launch.argv = argv;
    launch.searchPath = true;
    launch.closeFrom = 0;
    launch.closeTo = 256;
    launch.clearUmask = true;
    int execError = 0;
    pid_t pid = SpawnChild(launch, &execError);
    if (pid < 0) {
        FUNC_LOG(ZR_LOG_ERR, "vfork error: %m\n");
        return -1;
    }
    if (execError != 0) {
        FUNC_LOG(ZR_LOG_ERR, "execvp error.\n");
    }
    FUNC_LOG(ZR_LOG_INFO, "--------->pid = %d", static_cast<int>(pid));
    return pid;
}

int XGetProgressIDByProgramName(const char* programName, const char* argText) {
    static const char kCmd[] = "ps -o pid,comm,args";
    if (programName == nullptr) {
        return -1;
    }
    FILE* fp = popen(kCmd, "r");
    if (fp == nullptr) {
        FUNC_LOG(ZR_LOG_ERR, "popen %s error. %m", kCmd);
        return 0;
    }
    int pid = -1;
    char* line = nullptr;
    size_t cap = 0;
    while (pid < 0 && getline(&line, &cap, fp) > 0) {
        char* fields[3];
        int n = split(line, " \t\r\n", fields, 3);
        const char* args = n == 3 ? fields[2] : "";
        if (n < 2 || !IsDigits(fields[0]) || std::strcmp(fields[1], programName) != 0) {
            continue;
        }
        if (argText != nullptr && *argText != '\0' && std::strstr(args, argText) == nullptr) {
            continue;
        }
        FUNC_LOG(ZR_LOG_INFO, "->%s %s %s\n", fields[0], fields[1], args);
        pid = std::atoi(fields[0]);
    }
    std::free(line);
    pclose(fp);
    return pid;
}

int XWaitProgressQuit(pid_t pid) {
    for (;;) {
        int status = 0;
        pid_t r = WaitChild(pid, &status, WNOHANG | WUNTRACED | WCONTINUED);
        if (r < 0) {
            FUNC_LOG(ZR_LOG_ERR, "waitpid[%d] error! %m", static_cast<int>(pid));
            return 0;
        }
        if (r == 0) {
            SleepMs(10);
            continue;
        }
        bool gone = false;
        if (WIFEXITED(status)) {
            FUNC_LOG(ZR_LOG_INFO, "exited, status=%d\n", WEXITSTATUS(status));
            gone = true;
        } else if (WIFSIGNALED(status)) {
            FUNC_LOG(ZR_LOG_INFO, "killed by signal %d\n", WTERMSIG(status));
            gone = true;
        } else if (WIFSTOPPED(status)) {
            FUNC_LOG(ZR_LOG_INFO, "stopped by signal %d\n", WSTOPSIG(status));
        } else if (WIFCONTINUED(status)) {
            FUNC_LOG(ZR_LOG_INFO, "continued\n");
        }
        if (gone) {
            XSleep(1000);
            return 1;
        }
    }
}

int split(char* text, const char* separators, char** pieces, int maxPieces) {
    if (text == nullptr || separators == nullptr || pieces == nullptr || maxPieces <= 0) {
        return 0;
    }
    int n = 0;
    char* p = text;
    for (;;) {
        p += std::strspn(p, separators);
        if (*p == '\0') {
            break;
        }
        pieces[n++] = p;
        if (n == maxPieces) {
            size_t len = std::strlen(p);
            while (len > 0 && std::strchr(separators, p[len - 1]) != nullptr) {
                p[--len] = '\0';
            }
            break;
        }
        p += std::strcspn(p, separators);
        if (*p == '\0') {
            break;
        }
        *p++ = '\0';
    }
    return n;
}

int debug_set_coredump_size(int mib) {
    rlimit lim{};
    getrlimit(RLIMIT_CORE, &lim);
    FUNC_LOG(ZR_LOG_INFO, "coredump size, cur[%10u], max[%10u]", static_cast<unsigned>(lim.rlim_cur),
             static_cast<unsigned>(lim.rlim_max));
    uint64_t bytes = static_cast<uint64_t>(mib) << 20;
    rlim_t value = (mib < 0 || bytes >= static_cast<uint64_t>(RLIM_INFINITY)) ? RLIM_INFINITY
                                                                              : static_cast<rlim_t>(bytes);
    lim.rlim_cur = value;
    lim.rlim_max = value;
    int r = setrlimit(RLIMIT_CORE, &lim);
    getrlimit(RLIMIT_CORE, &lim);
    FUNC_LOG(ZR_LOG_INFO, "coredump size, cur[%10u], max[%10u]", static_cast<unsigned>(lim.rlim_cur),
             static_cast<unsigned>(lim.rlim_max));
    return r == 0 ? 0 : -1;
}

int debug_set_coredump_default() {
    int r = debug_set_coredump_size(512);
    int c = ExecCommand("echo \"/tmp/mmc0/core-%e-%s\" > /proc/sys/kernel/core_pattern");
    return (r == 0 && c == 0) ? 0 : -1;
}

void dumpADTS(const unsigned char* data, int len) {
    if (data == nullptr) {
        return;
    }
    int pos = 0;
    while (pos + kAdtsHeaderBytes <= len) {
        const unsigned char* h = data + pos;
        if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) {
            ++pos;
            continue;
        }
        unsigned syn = (static_cast<unsigned>(h[0]) << 4) | (h[1] >> 4);
        unsigned profile = h[2] >> 6;
        unsigned rate = (h[2] >> 2) & 0xF;
        unsigned channels = ((h[2] & 1U) << 2) | (h[3] >> 6);
        int frameLen = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5);
        unsigned fullness = ((h[5] & 0x1FU) << 6) | (h[6] >> 2);
        char text[256];
        std::snprintf(text, sizeof(text),
                      "Syn=%02x  MPEG4=%x  layer=%x  protection=%x%s%s channel=%u  original=%u  home=%u  "
                      "copyright_id=%u  copyright_start=%u  frame_length=%d  fullness=0x%03x  raw_blocks=%u",
                      syn, (h[1] >> 3) & 1U, (h[1] >> 1) & 3U, h[1] & 1U, kAdtsProfiles[profile],
                      rate < 12 ? kAdtsRates[rate] : " unknown ", channels, (h[3] >> 5) & 1U,
                      (h[3] >> 4) & 1U, (h[3] >> 3) & 1U, (h[3] >> 2) & 1U, frameLen, fullness, h[6] & 3U);
        FUNC_LOG(ZR_LOG_INFO, "%s", text);
        // A damaged length must not stall or rewind the scan.
        pos += frameLen >= kAdtsHeaderBytes ? frameLen : kAdtsHeaderBytes;
    }
}

uint64_t SystemGetMSCount() {
    timespec ts;
    if (!ReadClock(CLOCK_MONOTONIC, &ts)) {
        return 0;
    }
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

uint64_t SystemGetMSCountExt(char* elapsed, int size) {
    uint64_t ms = SystemGetMSCount();
    if (elapsed != nullptr && size > 0) {
        uint64_t s = ms / 1000;
        std::snprintf(elapsed, static_cast<size_t>(size), "%02d:%02d:%02d", static_cast<int>(s / 3600),
                      static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    }
    return ms;
}

uint64_t SystemGetUSCount() {
    timespec ts;
    if (!ReadClock(CLOCK_MONOTONIC, &ts)) {
        return 0;
    }
    return static_cast<uint64_t>(ts.tv_sec) * 1000000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

uint64_t SystemGetUSCount(struct timeval* now) {
    timeval tv;
    if (gettimeofday(&tv, nullptr) != 0) {
        return 0;
    }
    if (now != nullptr) {
        *now = tv;
    }
    return static_cast<uint64_t>(tv.tv_sec) * 1000000 + static_cast<uint64_t>(tv.tv_usec);
}

time_t SystemGetSecondCount() {
    time_t now = time(nullptr);
    return now == static_cast<time_t>(-1) ? 0 : now;
}

void XSleep(unsigned int ms) {
    // Whole seconds at a time keep usleep's argument in range.
    while (ms > 0) {
        unsigned int chunk = ms < 1000 ? ms : 1000;
        usleep(chunk * 1000);
        ms -= chunk;
    }
}

void SleepS(unsigned int seconds) {
    SelectSleep(static_cast<uint64_t>(seconds) * 1000000);
}

void SleepMs(unsigned int ms) {
    SelectSleep(static_cast<uint64_t>(ms) * 1000);
}

int XSetSystemTime(int year, int month, int day, int hour, int minute, int second) {
    FUNC_LOG(ZR_LOG_INFO, "#### SET SYS TIME:%04d/%02d/%02d %02d:%02d:%02d ####", year, month, day, hour,
             minute, second);
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    if (mktime(&t) == static_cast<time_t>(-1)) {
        FUNC_LOG(ZR_LOG_ERR, "mktime() failed!");
    }
    return 0;
}

int BlankChar(char c) {
    return (c == ' ' || c == '\r' || c == '\t' || c == '\b' || c == '\n') ? 1 : 0;
}

int GetUUID(char* uuid, int size) {
    if (uuid == nullptr || size <= 0) {
        return 0;
    }
    FILE* fp = std::fopen("/proc/sys/kernel/random/uuid", "r");
    if (fp == nullptr) {
        return 0;
    }
    char raw[64];
    size_t n = std::fread(raw, 1, sizeof(raw) - 1, fp);
    std::fclose(fp);
    char text[64];
    size_t len = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!BlankChar(raw[i])) {
            text[len++] = raw[i];
        }
    }
    text[len] = '\0';
    if (len == 0 || !basicfun_detail::CopyIfFits(uuid, static_cast<size_t>(size), text)) {
        return 0;
    }
    return 1;
}

int Second2RECTIME(time_t seconds, RECTIME* out) {
    tm t{};
    if (out == nullptr || gmtime_r(&seconds, &t) == nullptr || t.tm_year < 100 || t.tm_year > 163) {
        return -1;
    }
    out->second = static_cast<uint32_t>(t.tm_sec > 59 ? 59 : t.tm_sec);
    out->minute = static_cast<uint32_t>(t.tm_min);
    out->hour = static_cast<uint32_t>(t.tm_hour);
    out->day = static_cast<uint32_t>(t.tm_mday);
    out->month = static_cast<uint32_t>(t.tm_mon + 1);
    out->year = static_cast<uint32_t>(t.tm_year - 100);
    return 0;
}

time_t RECTIME2Second(const RECTIME* recTime) {
    // mktime would quietly normalise a month 13 or a day 0 into another date.
    if (recTime == nullptr || recTime->month < 1 || recTime->month > 12 || recTime->day < 1 ||
        recTime->hour > 23 || recTime->minute > 59 || recTime->second > 59) {
        return static_cast<time_t>(-1);
    }
    tm t{};
    t.tm_year = static_cast<int>(recTime->year) + 100;
    t.tm_mon = static_cast<int>(recTime->month) - 1;
    t.tm_mday = static_cast<int>(recTime->day);
    t.tm_hour = static_cast<int>(recTime->hour);
    t.tm_min = static_cast<int>(recTime->minute);
    t.tm_sec = static_cast<int>(recTime->second);
    t.tm_isdst = -1;
    return mktime(&t);
}

int GetSysDateTime2(RECTIME* out) {
    return Second2RECTIME(time(nullptr), out);
}

int SetSysDateTime2(const RECTIME* recTime, int hourOffset) {
    time_t base = RECTIME2Second(recTime);
    if (base == static_cast<time_t>(-1)) {
        return -1;
    }
    timeval tv{};
    tv.tv_sec = base + static_cast<time_t>(hourOffset) * 3600;
    return settimeofday(&tv, nullptr) == 0 ? 0 : -1;
}

uint32_t GetCurTimeMilliSec() {
    return static_cast<uint32_t>(SystemGetMSCount() % kMsWrap);
}

int64_t PrintTimeInterval(TimeInterval* interval) {
    if (interval == nullptr) {
        return 0;
    }
    interval->nCount++;
    interval->nPrevMs = interval->nCurMs;
    interval->nCurMs = SystemGetMSCount();
    return static_cast<int64_t>(interval->nCurMs - interval->nPrevMs);
}
