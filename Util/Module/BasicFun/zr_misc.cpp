#include "zr_misc.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "BasicFunDetail.h"
#include "FileUtils.h"
#include "zrlog.h"

#define MISC_LOG(level, ...) ZR_LOG_AT("util.misc", level, __VA_ARGS__)

using basicfun_detail::CopyIfFits;
using basicfun_detail::WaitChild;

namespace {

constexpr size_t kCmdMax = 1024;
constexpr size_t kPathMax = 256;
constexpr size_t kEnvReadMax = 1024;
constexpr uint64_t kAllBits = UINT64_MAX;

const char* const kDefaultPaths[ZR_PATH_COUNT] = {"/dev/mem", "/sys/class/gpio", "/proc/net/arp",
                                                  "/usr/sbin/fw_printenv"};
char g_paths[ZR_PATH_COUNT][kPathMax] = {"/dev/mem", "/sys/class/gpio", "/proc/net/arp",
                                         "/usr/sbin/fw_printenv"};

// Texts that end up inside shell command lines.
bool IsShellSafe(const char* text, const char* extra) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (!std::isalnum(static_cast<unsigned char>(*p)) && std::strchr(extra, *p) == nullptr) {
            return false;
        }
    }
    return true;
}

// Runs cmd through popen and keeps its first output line (newline cut, cut to
// size - 1 bytes): 1 with a line, 0 without, -1 when popen fails.
int RunForLine(const char* cmd, char* out, size_t size) {
    FILE* fp = popen(cmd, "r");
    if (fp == nullptr) {
        return -1;
    }
    char* line = nullptr;
    size_t cap = 0;
    int got = getline(&line, &cap, fp) > 0 ? 1 : 0;
    if (got) {
        line[std::strcspn(line, "\r\n")] = '\0';
        std::snprintf(out, size, "%s", line);
    }
    while (getline(&line, &cap, fp) > 0) {
    }
    std::free(line);
    pclose(fp);
    return got;
}

// A decimal number filling the whole text.
bool ParseUnsigned(const char* text, uint64_t* value) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    *value = v;
    return true;
}

// Runs a command that prints one number of kB; the byte count, or kAllBits.
uint64_t CommandKiloBytes(const char* cmd, uint64_t* kb) {
    char line[kCmdMax];
    if (RunForLine(cmd, line, sizeof(line)) != 1 || !ParseUnsigned(line, kb)) {
        return kAllBits;
    }
    return *kb * 1024;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character -> 6-bit value, -1 outside the alphabet.
struct Base64Values {
    signed char value[256];
    constexpr Base64Values() : value{} {
        for (int c = 0; c < 256; ++c) {
            value[c] = -1;
        }
        for (int i = 0; i < 64; ++i) {
            value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<signed char>(i);
        }
    }
};
constexpr Base64Values kBase64Values;

// --- physical memory windows ---

constexpr uint64_t kPageSize = 4096;

struct MemWindow {
    MemWindow* next;
    uint64_t base;  // page-aligned physical address
    unsigned char* addr;
    size_t length;
    int useCount;
};

MemWindow* g_windows = nullptr;
int g_memFd = -1;

void* memmap(uint32_t phys, size_t size) {
    if (size == 0) {
        MISC_LOG(ZR_LOG_ERR, "memmap():size can't be zero!\n");
        return nullptr;
    }
    const uint64_t start = phys;
    const uint64_t end = start + size;
    MemWindow* last = nullptr;
    for (MemWindow* w = g_windows; w != nullptr; w = w->next) {
        if (start >= w->base && end <= w->base + w->length) {
            w->useCount++;
            return w->addr + (start - w->base);
        }
        last = w;
    }
    if (g_memFd < 0) {
        g_memFd = open(g_paths[ZR_PATH_MEM], O_RDWR | O_SYNC | O_CLOEXEC);
        if (g_memFd < 0) {
            MISC_LOG(ZR_LOG_ERR, "memmap():open %s error!\n", g_paths[ZR_PATH_MEM]);
            return nullptr;
        }
    }
    const uint64_t base = start & ~(kPageSize - 1);
    const size_t length = static_cast<size_t>((end - base + kPageSize - 1) & ~(kPageSize - 1));
    void* addr =
        mmap64(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, g_memFd, static_cast<off64_t>(base));
    if (addr == MAP_FAILED) {
        MISC_LOG(ZR_LOG_ERR, "memmap():mmap @ 0x%x error!\n", phys);
        return nullptr;
    }
    auto* node = new (std::nothrow) MemWindow{nullptr, base, static_cast<unsigned char*>(addr), length, 1};
    if (node == nullptr) {
        munmap(addr, length);
        MISC_LOG(ZR_LOG_ERR, "memmap():malloc new node failed!\n");
        return nullptr;
    }
    (last != nullptr ? last->next : g_windows) = node;
    return node->addr + (start - base);
}

int memunmap(void* address) {
    auto* a = static_cast<unsigned char*>(address);
    MemWindow** link = &g_windows;
    while (*link != nullptr && !(a >= (*link)->addr && a < (*link)->addr + (*link)->length)) {
        link = &(*link)->next;
    }
    MemWindow* w = *link;
    if (w == nullptr) {
        MISC_LOG(ZR_LOG_ERR, "memunmap(): address have not been mmaped!\n");
        return -1;
    }
    if (--w->useCount > 0) {
        return 0;
    }
    *link = w->next;
    int r = munmap(w->addr, w->length);
    delete w;
    if (r != 0) {
        MISC_LOG(ZR_LOG_ERR, "memunmap(): munmap failed!\n");
        return -1;
    }
    return 0;
}

// --- GPIO register layout ---

constexpr uint32_t kGpioBase = 0x11090000;
constexpr uint32_t kGpioGroupStride = 0x1000;
constexpr uint32_t kGpioDirOffset = 0x400;
constexpr int kGpioGroups = 15;
constexpr int kGpioMaxBitArg = 8;

// The register block of one group (direction and data registers), or NULL.
volatile uint32_t* MapGpioGroup(int group, int bit) {
    if (group < 0 || group >= kGpioGroups || bit < 0 || bit > kGpioMaxBitArg) {
        MISC_LOG(ZR_LOG_ERR, "bad parameter!");
        return nullptr;
    }
    return static_cast<volatile uint32_t*>(memmap(kGpioBase + kGpioGroupStride * static_cast<uint32_t>(group),
                                                  kGpioDirOffset + sizeof(uint32_t)));
}

volatile uint32_t* MapRegister(uint32_t address) {
    if (address % sizeof(uint32_t) != 0) {
        MISC_LOG(ZR_LOG_ERR, "bad parameter!");
        return nullptr;
    }
    return static_cast<volatile uint32_t*>(memmap(address, 128));
}

}  // namespace

extern "C" {

int zr_env_param_get(const char* key, char* value, int size) {
    if (key == nullptr || *key == '\0' || value == nullptr || size <= 0) {
        return -1;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        MISC_LOG(ZR_LOG_ERR, "create pipe failre!!!");
        return -1;
    }
    int execError = 0;
    pid_t pid = basicfun_detail::SpawnShell(g_paths[ZR_PATH_FW_PRINTENV], fds[1], &execError);
    close(fds[1]);
    if (pid < 0) {
        MISC_LOG(ZR_LOG_ERR, "vfork failure!!!!");
        close(fds[0]);
        return -1;
    }
    char buf[kEnvReadMax + 1];
    ssize_t n = full_read(fds[0], buf, kEnvReadMax);
    close(fds[0]);
    int status = 0;
    WaitChild(pid, &status, 0);
    buf[n > 0 ? n : 0] = '\0';

    const char* found = std::strstr(buf, key);
    if (found == nullptr) {
        return -1;
    }
    found += std::strlen(key);
    size_t len = std::strcspn(found, "\r\n ");
    if (len >= static_cast<size_t>(size)) {
        return -1;
    }
    std::memcpy(value, found, len);
    value[len] = '\0';
    return 0;
}

int zr_system_cmd(const char* cmd, int wait) {
    if (cmd == nullptr) {
        return -1;
    }
    int execError = 0;
    pid_t pid = basicfun_detail::SpawnShell(cmd, -1, &execError);
    if (pid < 0) {
        MISC_LOG(ZR_LOG_ERR, "vfork failure!!!!");
        return -1;
    }
    int status = 0;
    if (!wait) {
        WaitChild(pid, &status, WNOHANG);
        return 0;
    }
    if (WaitChild(pid, &status, 0) != pid) {
        int err = errno;
        MISC_LOG(ZR_LOG_ERR, "wait pid:%d fail. error:[%d][%s]", static_cast<int>(pid), err,
                 std::strerror(err));
        return -1;
    }
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 0 : -1;
}

int zr_sync(void) {
    return zr_system_cmd("sync", 1);
}

int _zr_ini_readparam(const char* path, int* value, int defaultValue) {
    if (value == nullptr) {
        return -1;
    }
    *value = defaultValue;
    int fd = path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        return -1;
    }
    char buf[33];
    ssize_t n = full_read(fd, buf, 32);
    close(fd);
    buf[n > 0 ? n : 0] = '\0';
    *value = static_cast<int>(std::strtol(buf, nullptr, 10));
    return 0;
}

uint64_t zr_get_free_mem_bytes(void) {
    static const char kCmd[] = "cat /proc/meminfo | awk '/MemFree/{print $2}'";
    char line[kCmdMax];
    uint64_t kb = 0;
    int got = RunForLine(kCmd, line, sizeof(line));
    if (got < 0) {
        MISC_LOG(ZR_LOG_ERR, "popen error!!!");
        return kAllBits;
    }
    if (got == 0 || !ParseUnsigned(line, &kb)) {
        MISC_LOG(ZR_LOG_ERR, "get free mem fail\n");
        return kAllBits;
    }
    MISC_LOG(ZR_LOG_INFO, "MemFree is %dKB(%dMB)", static_cast<int>(kb), static_cast<int>(kb / 1024));
    return kb * 1024;
}

uint64_t zr_get_free_flash_bytes(int volume) {
    char cmd[kCmdMax];
    std::snprintf(cmd, sizeof(cmd), "df | grep '/dev/ubi%d_0' | awk '{print $4}'", volume);
    uint64_t kb = 0;
    uint64_t bytes = CommandKiloBytes(cmd, &kb);
    if (bytes == kAllBits) {
        MISC_LOG(ZR_LOG_ERR, "get flash available space fail\n");
        return kAllBits;
    }
    MISC_LOG(ZR_LOG_INFO, "current partition available space is %dKB(%dMB)\n", static_cast<int>(kb),
             static_cast<int>(kb / 1024));
    return bytes;
}

int zr_check_process_exist(const char* name) {
    char cmd[kCmdMax];
    if (name == nullptr || *name == '\0' || !IsShellSafe(name, "._+-")) {
        return -1;
    }
    int n = std::snprintf(cmd, sizeof(cmd), "ps|grep %s|grep -v grep|awk '{print $1}'", name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(cmd)) {
        return -1;
    }
    char line[kCmdMax];
    return RunForLine(cmd, line, sizeof(line));
}

int zr_get_board_type2(int gpio) {
    char cmd[kCmdMax];
    if (gpio < 0) {
        return -1;
    }
    int n = std::snprintf(cmd, sizeof(cmd), "cat %s/gpio%d/value", g_paths[ZR_PATH_GPIO_SYSFS], gpio);
    char line[kCmdMax];
    uint64_t value = 0;
    if (n < 0 || static_cast<size_t>(n) >= sizeof(cmd) || RunForLine(cmd, line, sizeof(line)) != 1 ||
        !ParseUnsigned(trim(line), &value)) {
        return -1;
    }
    int type = value == 0 ? 1 : 0;
    MISC_LOG(ZR_LOG_INFO, "gpio(%d) value is %d, board type is %s\n", gpio, static_cast<int>(value),
             type == 1 ? "RX" : "TX");
    return type;
}

int zr_get_board_type(void) {
    return zr_gpio_get(6, 1) == 0 ? 1 : 0;
}

int zr_ip2mac(const char* ip, char* macWithColons, char* macPlain) {
    if (macWithColons != nullptr) {
        macWithColons[0] = '\0';
    }
    if (macPlain != nullptr) {
        macPlain[0] = '\0';
    }
    size_t ipLen = ip != nullptr ? std::strlen(ip) : 0;
    if (ipLen <= 7 || ipLen > 15 || !IsShellSafe(ip, ".") || macWithColons == nullptr ||
        macPlain == nullptr) {
        MISC_LOG(ZR_LOG_ERR, "param error");
        return -1;
    }
    char cmd[kCmdMax];
    int n = std::snprintf(cmd, sizeof(cmd), "cat %s | grep %s | awk '{print $4}'", g_paths[ZR_PATH_ARP], ip);
    char answer[kCmdMax];
    if (n < 0 || static_cast<size_t>(n) >= sizeof(cmd) || RunForLine(cmd, answer, sizeof(answer)) != 1) {
        return -1;
    }
    char* mac = trim(answer);
    size_t len = std::strlen(mac);
    if (len == 0 || len >= ZR_MAC_TEXT_MAX) {
        return -1;
    }
    size_t plain = 0;
    for (size_t i = 0; i < len; ++i) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(mac[i])));
        macWithColons[i] = c;
        if (c != ':') {
            macPlain[plain++] = c;
        }
    }
    macWithColons[len] = '\0';
    macPlain[plain] = '\0';
    MISC_LOG(ZR_LOG_INFO, "MAC:%s", macWithColons);
    MISC_LOG(ZR_LOG_INFO, "MAC:%s", macPlain);
    return 0;
}

int zr_str2hex(const char* text, unsigned char* out) {
    if (text == nullptr || out == nullptr) {
        return -1;
    }
    size_t len = std::strlen(text);
    int value = 0;
    bool ok = len >= 1 && len <= 2;
    for (size_t i = 0; ok && i < len; ++i) {
        int d = basicfun_detail::HexDigitValue(text[i]);
        ok = d >= 0;
        value = value * 16 + d;
    }
    if (!ok) {
        MISC_LOG(ZR_LOG_ERR, "wrong data (%s)\n", text);
        return -1;
    }
    *out = static_cast<unsigned char>(value);
    return 0;
}

ssize_t full_read(int fd, void* buf, size_t count) {
    auto* p = static_cast<char*>(buf);
    return basicfun_detail::TransferAll([&](size_t done) { return SafeRead(fd, p + done, count - done); },
                                        count);
}

ssize_t full_write(int fd, const void* buf, size_t count) {
    const auto* p = static_cast<const char*>(buf);
    return basicfun_detail::TransferAll(
        [&](size_t done) {
            ssize_t n;
            do {
                n = write(fd, p + done, count - done);
            } while (n < 0 && errno == EINTR);
            return n;
        },
        count);
}

char* zr_s2base64(const unsigned char* src, int srcLen, char* dst, int dstSize) {
    if ((src == nullptr && srcLen != 0) || srcLen < 0) {
        return nullptr;
    }
    size_t needed = (static_cast<size_t>(srcLen) + 2) / 3 * 4 + 1;
    char* out = dst;
    if (out == nullptr) {
        out = static_cast<char*>(std::malloc(needed));
        if (out == nullptr) {
            return nullptr;
        }
    } else if (dstSize < 0 || static_cast<size_t>(dstSize) < needed) {
        return nullptr;
    }
    char* o = out;
    for (int i = 0; i < srcLen; i += 3) {
        int rest = srcLen - i;
        uint32_t group = static_cast<uint32_t>(src[i]) << 16;
        group |= rest > 1 ? static_cast<uint32_t>(src[i + 1]) << 8 : 0;
        group |= rest > 2 ? static_cast<uint32_t>(src[i + 2]) : 0;
        *o++ = kBase64Alphabet[(group >> 18) & 0x3F];
        *o++ = kBase64Alphabet[(group >> 12) & 0x3F];
        *o++ = rest > 1 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
        *o++ = rest > 2 ? kBase64Alphabet[group & 0x3F] : '=';
    }
    *o = '\0';
    return out;
}

unsigned char* zr_base642s(const char* src, unsigned char* dst, int dstSize, int* outLen) {
    if (outLen != nullptr) {
        *outLen = 0;
    }
    if (src == nullptr || (dst != nullptr && dstSize <= 0)) {
        return nullptr;
    }
    size_t srcLen = std::strlen(src);
    size_t capacity = (srcLen + 3) / 4 * 3 + 1;
    unsigned char* out = dst;
    if (out == nullptr) {
        out = static_cast<unsigned char*>(std::malloc(capacity));
        if (out == nullptr) {
            return nullptr;
        }
    } else {
        capacity = static_cast<size_t>(dstSize);
    }
    size_t n = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    bool ok = true;
    for (const char* p = src; ok && *p != '\0' && *p != '='; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c == 0x7F) {
            continue;
        }
        int v = kBase64Values.value[c];
        if (v < 0) {
            ok = false;
            break;
        }
        bits = (bits << 6) | static_cast<uint32_t>(v);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            // One byte for the terminator stays free.
            ok = n + 1 < capacity;
            if (ok) {
                out[n++] = static_cast<unsigned char>(bits >> bitCount);
            }
        }
    }
    if (!ok) {
        if (dst == nullptr) {
            std::free(out);
        }
        return nullptr;
    }
    out[n] = '\0';
    if (outLen != nullptr) {
        *outLen = static_cast<int>(n);
    }
    return out;
}

int zr_set_reg(uint32_t address, uint32_t value) {
    volatile uint32_t* reg = MapRegister(address);
    if (reg == nullptr) {
        return -1;
    }
    *reg = value;
    memunmap(const_cast<uint32_t*>(reg));
    return 0;
}

int zr_get_reg(uint32_t address, uint32_t* value) {
    if (value == nullptr) {
        return -1;
    }
    volatile uint32_t* reg = MapRegister(address);
    if (reg == nullptr) {
        return -1;
    }
    *value = *reg;
    memunmap(const_cast<uint32_t*>(reg));
    return 0;
}

int zr_gpio_set(int group, int bit, int value) {
    volatile uint32_t* regs = MapGpioGroup(group, bit);
    if (regs == nullptr) {
        return -1;
    }
    const auto mask = static_cast<uint32_t>(bit);
    regs[kGpioDirOffset / sizeof(uint32_t)] |= mask;
    regs[bit] = value != 0 ? mask : 0;
    memunmap(const_cast<uint32_t*>(regs));
    return 0;
}

int zr_gpio_get(int group, int bit) {
    volatile uint32_t* regs = MapGpioGroup(group, bit);
    if (regs == nullptr) {
        return -1;
    }
    regs[kGpioDirOffset / sizeof(uint32_t)] &= ~static_cast<uint32_t>(bit);
    int value = static_cast<int>(regs[bit] & 0xFF);
    memunmap(const_cast<uint32_t*>(regs));
    return value;
}

int zr_misc_set_device_path(int which, const char* path) {
    if (which < 0 || which >= ZR_PATH_COUNT) {
        return -1;
    }
    const char* next = path != nullptr ? path : kDefaultPaths[which];
    if (*next == '\0' || std::strlen(next) >= kPathMax || !IsShellSafe(next, "/._+-")) {
        return -1;
    }
    if (which == ZR_PATH_MEM) {
        if (g_windows != nullptr) {
            return -1;
        }
        if (g_memFd >= 0) {
            close(g_memFd);
            g_memFd = -1;
        }
    }
    return CopyIfFits(g_paths[which], kPathMax, next) ? 0 : -1;
}

}  // extern "C"
