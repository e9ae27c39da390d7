// The utility library through its exported functions; each test works in a directory of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <numeric>

#include "FileUtils.h"
#include "Function.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "zr_misc.h"

namespace {

using namespace std::string_literals;

// Results of calls made in order (the operands of "<<" are evaluated from left to right), as text;
// with hex, numbers above 9 in hexadecimal.
struct Seq {
    explicit Seq(bool hexadecimal = false) : hex(hexadecimal) {}
    bool hex;
    std::string all;
    Seq& operator<<(int64_t v) {
        char text[24];
        std::snprintf(text, sizeof text, hex && v > 9 ? "%#llx" : "%lld", static_cast<long long>(v));
        all += (all.empty() ? "" : " ") + std::string(text);
        return *this;
    }
    bool operator==(const std::string& expected) const { return all == expected; }
};
std::ostream& operator<<(std::ostream& out, const Seq& seq) {
    return out << seq.all;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class BasicFun : public ::testing::Test {
  protected:
    // The path of name in the test's directory, valid until the end of the test.
    const char* P(const std::string& name) { return paths.emplace(dir.File(name), 0).first->first.c_str(); }
    std::string F(const std::string& name) const { return dir.File(name); }
    void Write(const std::string& name, const std::string& text) { std::ofstream(F(name)) << text; }

    TempDir dir{"basicfun"};
    std::map<std::string, int> paths;
    LogCapture logs;
};

using FileUtilsTest = BasicFun;

TEST_F(FileUtilsTest, CopyRenameSizesLinesReadsAndWrites) {
    std::string content(3 * 4096 + 123, 0);  // several copy blocks and a partial one
    std::iota(content.begin(), content.end(), 0);
    Write("src", content);
    Write("old", "previous content that is longer than nothing");
    uint32_t size32 = 0;
    int64_t size64 = 0;
    EXPECT_EQ(Seq{} << XCopyFile(P("src"), P("old")) << XGetFileSize(P("old"), &size32) << size32
                    << GetFileSize(P("old"), &size64) << size64 << GetFileSize(nullptr, &size64)
                    << GetFileSize(P("none"), &size64) << XGetFileSize(P("none"), &size32)
                    << XCopyFile(P("src"), P("src")) << XCopyFile(P("none"), P("dst"))
                    << XCopyFile(P("."), P("dst")) << XRenameFile(P("src"), P("moved"))
                    << XRenameFile(P("src"), P("again")) << ReName(P("moved"), P("m2"))
                    << ReName(nullptr, P("m2")),
              "1 1 12411 0 12411 -1 -2 0 0 0 0 1 0 0 -1"s);
    EXPECT_EQ(ReadFile(F("old")) + ReadFile(F("m2")), content + content) << "truncated; copied onto itself";
    Write("lines", "ab\n\nabcdefgh\ntail");
    int fd = open(P("lines"), O_RDONLY);
    char a[16], b[16], c[16], d[16], e[16] = "XXXXXXXXXXXXXXX";
    // The byte at the limit becomes the terminator; at the end, the last byte's index, no terminator.
    EXPECT_EQ(Seq{} << ReadLine(fd, a, 16) << ReadLine(fd, b, 16) << ReadLine(fd, c, 4) << ReadLine(fd, d, 16)
                    << ReadLine(fd, e, 16) << ReadLine(fd, e, 16) << close(fd) << ReadLine(-1, a, 16)
                    << ReadLine(0, nullptr, 4) << ReadLine(0, a, 0),
              "2 0 3 4 3 -1 0 -1 -1 -1"s);
    EXPECT_EQ(std::string(a) + "|" + b + "|" + c + "|" + d + "|" + std::string(e, 5), "ab||abc|efgh|tailX");
    const std::string big = std::string(FILE_READ_MAX, 'r') + "beyond";
    Write("big", big);
    int len = 0;
    char* data = FileRead(P("big"), &len);
    EXPECT_EQ(std::string(data) + std::to_string(len), std::string(FILE_READ_MAX, 'r') + "8000");
    std::free(data);
    fd = open(P("out"), O_WRONLY | O_CREAT, 0644);
    EXPECT_EQ(Seq{} << (FileRead(P("none")) == nullptr) << (FullWrite(fd, big.data(), big.size()) == 8006)
                    << close(fd) << FullWrite(fd, "abc", 3) << (ReadFile(F("out")) == big)
                    << logs.Has(ZR_LOG_ERR, "Safe Write error! Bad file descriptor. fd = " +
                                                std::to_string(fd) + ", count = 3"),
              "1 1 0 -1 1 1"s);
}

// Search records and tree removal; links are removed, never followed.
TEST_F(FileUtilsTest, FindGivesEveryEntryWithItsRecordAndTreesAreRemoved) {
    TempDir keep{"basicfun"};
    struct stat st;
    std::ofstream(keep.File("precious")) << "x";
    ASSERT_EQ(MakeDir(P("rec/a/b/c")) + symlink(keep.Path().c_str(), P("rec/link")), 0);
    Write("rec/f.tar.gz", "12345");
    ASSERT_EQ(lstat(P("rec/f.tar.gz"), &st), 0);
    XFileFindData d, f{};
    std::map<std::string, std::string> seen;  // sorted
    DIR_CTX* ctx = XFindFirstFile(P("rec"), &d);
    for (int more = ctx != nullptr; more; more = XFindNextFile(ctx, &d)) {
        seen[d.szFileName] = d.szFileName + std::string(d.bIsDir ? "/" : "") + "[" + d.szExtName + "] ";
        f = std::string(d.szFileName) == "f.tar.gz" ? d : f;
    }
    std::string entries;
    for (const auto& entry : seen)
        entries += entry.second;
    EXPECT_EQ(entries, "./[] ../[] a/[] f.tar.gz[gz] link[] ") << "the link itself, not its target";
    char before[4096], cwd[XMAX_PATH];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    // Levels go from the deepest up; one with other content stops it.
    EXPECT_EQ(Seq{} << f.bNotAccess << f.nFileSize << (f.tModify - st.st_mtime) << (f.tAccess - st.st_atime)
                    << (f.tChange - st.st_ctime) << (f.nBlockBytes - st.st_blocks * st.st_blksize)
                    << XCloseFindFile(ctx, 1) << XRemoveDirectory(P("rec")) << XRemoveDirectory(P("rec"), 1)
                    << XRemoveDirectory(P("rec"), 1) << Exists(F("rec")) << Exists(keep.File("precious"))
                    << XCreateFullPathDir(P("x/y/z"), 0755) << MakeFile(P("x/other"))
                    << XCloseFindFile(XFindFirstFile(P("x/y/z"), &d), 1)
                    << XRemoveFullPathEmptyDir(P("x/y/z/")) << Exists(F("x/y")) << Exists(F("x/other"))
                    << XCreateFullPathDir("p/q", 0755) << XRemoveFullPathEmptyDir("p/q") << Exists("p")
                    << XGetCurrentPath(cwd, int(dir.Path().size()) + 1) << XGetCurrentPath(cwd, sizeof cwd)
                    << (cwd == dir.Path() + "/") << chdir(before)
                    << (XFindFirstFile(P("none"), &d) != nullptr),
              "0 5 0 0 0 0 0 0 1 0 0 1 1 0 1 0 0 1 1 1 0 0 1 1 0 0"s)
        << "a directory that is not empty stays; XGetCurrentPath needs room for its \"/\"";
    EXPECT_TRUE(logs.Has(ZR_LOG_ERR, "OPEN DIR " + F("none") + " ZRLOG_MSG_ERR. No such file or directory"));
}

TEST_F(FileUtilsTest, DirectoriesAreMadeTestedCheckedClearedAndDeleted) {
    const char* d = P("d");
    EXPECT_EQ(Seq{} << IsDirExist(d) << isDirEmpty(d) << EasyMakeDir(d) << EasyMakeDir(d)
                    << EasyMakeDir(P("no/such")) << IsDirExist(d) << isDirEmpty(d) << MakeFile(P("d/one"))
                    << isDirEmpty(d) << IsFileExistInDir(d, "onetwo", 3) << IsFileExistInDir(d, "on", 2)
                    << IsFileExistInDir(P("none"), "one", 3) << MakeFile(P("no/such")) << MakeDir("")
                    << MakeDir(nullptr) << MakeDir(P("d/sub/deeper")) << ClearDir(d) << Exists(F("d/one"))
                    << rmdir(P("d/sub/deeper")) << MakeFile(P("d/two")) << DeleDir(d) << Exists(d),
              "-1 -1 0 0 -1 0 1 0 0 1 0 -1 -1 -1 -1 0 -1 0 0 0 0 0"s)
        << "ClearDir goes one level deep";
    ASSERT_EQ(mkdir(P("clips"), 0755) + mkdir(P("empty"), 0755), 0);
    for (const char* n : {"a.mp4", "b.txt", "c.mp4", "d.txt"})
        MakeFile(P(std::string("clips/") + n));
    XDirEntryCheck rejectText = [](const char* path, const char* name, void* calls) {
        ++*static_cast<int*>(calls);
        return std::strstr(path, "/clips") != nullptr && std::string(GetExtName(name)) == "txt" ? 1 : 0;
    };
    int first = 0, every = 0, none = 0;
    EXPECT_EQ(Seq{} << CheckDir(P("clips"), rejectText, &first) << (first < 4)
                    << CheckDirIsFail(P("clips"), rejectText, &every) << every
                    << CheckDir(P("clips/.."), rejectText, &none) << none
                    << CheckDir(P("empty"), rejectText, &none) << Exists(F("empty"))
                    << CheckDirIsFail(P("none"), rejectText, &none),
              "1 1 1 4 0 2 -1 0 -1"s)
        << "CheckDir stops at the first rejection, CheckDirIsFail visits all; an empty directory is removed";
}

TEST_F(FileUtilsTest, NamesHexSpaceMountsAndOverlongPaths) {
    char padded[] = " \t name.txt \r\n", blank[] = "   ", ext[3][4];
    unsigned char hex[4] = {0xEE, 0xEE, 0xEE, 0xEE}, hex2[2], hex3[1];
    uint64_t total = 0, avail = 0;
    const char* here = dir.Path().c_str();
    // Hex: a non-digit counts as 0, an odd last digit is a high half.
    EXPECT_EQ(Seq{true} << CharToHex("0aFfz1", hex, 4) << CharToHex("1234abcd", hex2, 2)
                        << CharToHex("7", hex3, 1) << hex[0] << hex[1] << hex[2] << hex[3] << hex2[1]
                        << hex3[0] << GetFileExtName("/media/rec.v1/clip.mp4", ext[0], 4)
                        << GetFileExtName("/rec.v1/clip", ext[1], 4) << GetFileExtName("x.jpeg", ext[2], 4)
                        << XGetDiskPartitionSpace(here, &total, &avail) << (GetTotalSpace(here) == total)
                        << (total > 0 && avail <= total) << XGetDiskPartitionSpace(P("none"), &total, &avail)
                        << int64_t(total + avail) << (GetTotalSpace(P("none")) == UINT64_MAX)
                        << (GetFreeSpace(P("none")) == UINT64_MAX) << isMounted("/") << isMounted("/proc/")
                        << isMounted(here) << XFilePathExists(here) << XFilePathExists(P("none"))
                        << XFilePathExists(nullptr)
                        << (GetExtName("") == nullptr && GetExtName(nullptr) == nullptr),
              "3 2 1 0xa 0xff 1 0xee 0x34 0x70 0 0 0 1 1 1 0 0 1 1 1 1 0 1 0 0 1"s);
    EXPECT_EQ(std::string(trim(padded)) + "|" + trim(blank) + "|" + ext[0] + "|" + ext[1] + "|" + ext[2] +
                  "|" + GetExtName("a.b.c") + "|" + GetExtName("README"),
              "name.txt||mp4||jpe|c|");
    const std::string n200(200, 'n'), tooLong = n200 + "/" + n200, m100 = n200 + "/" + std::string(100, 'm');
    XFileFindData data;
    char name[4];
    EXPECT_EQ(Seq{} << XCreateFullPathDir(P(tooLong), 0755) << MakeDir(P(tooLong)) << Exists(F(n200))
                    << XRemoveFullPathEmptyDir(P(tooLong)) << (XFindFirstFile(P(tooLong), &data) != nullptr)
                    << mkdir(P(n200), 0755) << mkdir(P(m100), 0755),
              "0 -1 0 0 0 0 0"s)
        << "refused, never cut";
    DIR* handle = opendir(P(""));
    EXPECT_EQ(Seq{} << XRemoveDirectory(P(n200), 1) << Exists(F(m100))
                    << GetFileFromDir(handle, name, sizeof name) << GetFileFromDir(handle, name, 4)
                    << closedir(handle) << name[0] << name[3],
              "0 1 200 -1 0 110 0"s)
        << "a tree whose entries do not fit stays; the full length reports a cut name";
}

using FunctionTest = BasicFun;

TEST_F(FunctionTest, CommandsRunTheJoinedLineAndGiveTheExitStatus) {
    const int fd = open("/dev/null", O_RDONLY);  // inheritable on purpose
    const std::string probe = "[ -e /proc/$$/fd/" + std::to_string(fd) + " ]", made = F("t");
    const std::string fits(EXEC_CMD_LINE_MAX - 1 - ("touch " + made + " #").size(), 'p');
    auto old = signal(SIGCHLD, SIG_IGN);  // a host ignoring SIGCHLD would let the kernel reap early
    EXPECT_EQ(Seq{} << ExecCommand2("exit", "3", nullptr) << ExecCommand2("/nonexistent/tool", nullptr)
                    << ExecCommand2(nullptr, nullptr) << ExecCommand2("kill -9 $$", nullptr)
                    << ExecCommand2(probe.c_str(), nullptr) << ExecCommand2("[ -e /proc/$$/fd/2 ]", nullptr)
                    << ExecCommand2("touch", made.c_str(), ("#" + fits + "p").c_str(), nullptr)
                    << Exists(made) << ExecCommand2("touch", made.c_str(), ("#" + fits).c_str(), nullptr)
                    << Exists(made) << (signal(SIGCHLD, old) == SIG_IGN) << ExecCommand("seq 1 5000")
                    << ExecCommand("exit 4") << ExecCommand("kill -9 $$") << ExecCommand(nullptr)
                    << close(fd),
              "3 127 -1 -1 1 0 -1 0 0 1 1 0 0 0 -1 0"s)
        << "descriptors closed, the line's length bounded, SIGCHLD's handling restored";
    EXPECT_TRUE(logs.Has(ZR_LOG_ERR, "ExecCommand: kill -9 $$ Finish. res = 9, WIFEXITED(res) = 0"));
}

TEST_F(FunctionTest, BackgroundChildrenAreFoundByNameWaitedForAndReaped) {
    const std::string duration = "30." + std::to_string(getpid());
    // The child runs with a zero file-mode mask and without standard input.
    const std::string script =
        "umask > " + F("out") + "; [ -e /proc/$$/fd/0 ] || echo no-input >> " + F("out");
    const pid_t sleeper = ExecCommandBackground("sleep", duration.c_str(), nullptr);
    const uint64_t start = SystemGetMSCount();
    EXPECT_EQ(Seq{} << (XGetProgressIDByProgramName("sleep", duration.c_str()) == sleeper)
                    << XGetProgressIDByProgramName("sleep", "no-such-argument")
                    << XGetProgressIDByProgramName("no_such_prog_q", nullptr) << kill(sleeper, SIGTERM)
                    << XWaitProgressQuit(sleeper) << (SystemGetMSCount() - start >= 1000)
                    << XWaitProgressQuit(ExecCommandBackground("sh", "-c", script.c_str(), nullptr))
                    << XWaitProgressQuit(ExecCommandBackground("/nonexistent/prog", nullptr))
                    << XWaitProgressQuit(getpid()),
              "1 -1 -1 0 1 1 1 1 0"s)
        << "waited for, then a second more";
    EXPECT_EQ(ReadFile(F("out")), "0000\nno-input\n");
    EXPECT_TRUE(logs.Has(ZR_LOG_ERR, "waitpid[" + std::to_string(getpid()) + "] error! No child processes"));
#define A5 "a", "a", "a", "a", "a"
#define A50 A5, A5, A5, A5, A5, A5, A5, A5, A5, A5
    EXPECT_EQ(ExecCommandBackground("true", A50, A50, A50, A50, A50, A5, nullptr), -1)
        << "254 arguments at most";
#undef A50
#undef A5
}

// An interrupted sleep goes on for the remaining time; the last piece of a split keeps the rest.
TEST(FunctionText, SplitBlankCharsSleepsAndCounters) {
    char text[] = ",,alpha, beta;;gamma ,", line[] = "  42 sleep sleep 30 --flag\n", seps[] = " ; ";
    char *pieces[8], *three[3];
    Seq got;
    for (char c : std::string(" \r\t\b\na\v-"))
        got << BlankChar(c);
    got << split(text, ",; ", pieces, 8) << split(line, " \n", three, 3) << split(seps, "; ", pieces, 8)
        << split(line, " ", pieces, 0);
    EXPECT_EQ(got.all + "|" + pieces[0] + "|" + pieces[1] + "|" + pieces[2] + "|" + three[0] + "|" + three[2],
              "1 1 1 1 1 0 0 0 3 3 0 0|alpha|beta|gamma|42|sleep 30 --flag");
    TimeInterval interval{};
    const uint64_t us = SystemGetUSCount(), ms = SystemGetMSCount() % (1ULL << 31),
                   wrapped = GetCurTimeMilliSec();
    PrintTimeInterval(&interval);
    auto old = signal(SIGALRM, [](int) {});
    ualarm(20000, 0);
    SleepMs(100);
    XSleep(30);
    signal(SIGALRM, old);
    char elapsed[16], expected[16];
    const uint64_t s = SystemGetMSCountExt(elapsed, sizeof elapsed) / 1000;
    std::snprintf(expected, sizeof expected, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
    timeval tv;
    const uint64_t wall = SystemGetUSCount(&tv);
    EXPECT_EQ(Seq{} << (SystemGetUSCount() - us >= 130000) << (PrintTimeInterval(&interval) >= 130)
                    << interval.nCount << (wrapped >= ms && wrapped <= SystemGetMSCount() % (1ULL << 31))
                    << (elapsed == std::string(expected)) << (wall == tv.tv_sec * 1000000ULL + tv.tv_usec)
                    << (std::abs(SystemGetSecondCount() - time(nullptr)) <= 1),
              "1 1 2 1 1 1 1"s);
}

TEST_F(FunctionTest, RecTimeRangesAndRoundTrips) {
    RECTIME r{}, bad[5];
    setenv("TZ", "UTC0", 1);  // mktime and gmtime agree
    tzset();
    Seq got;
    for (time_t t : {time_t(946684800), time_t(1709251199), time_t(2147483647)})
        got << Second2RECTIME(t, &r) << (RECTIME2Second(&r) - t);
    EXPECT_EQ(got << r.year << r.month << r.day << r.hour << r.minute << r.second,
              "0 0 0 0 0 0 38 1 19 3 14 7"s);
    std::fill(bad, bad + 5, r);
    bad[0].month = 13, bad[1].day = 0, bad[2].hour = 24, bad[3].minute = 60, bad[4].month = 0;
    const time_t t0 = time(nullptr);
    EXPECT_EQ(Seq{} << Second2RECTIME(946684799, &r) << RECTIME2Second(&bad[0]) << RECTIME2Second(&bad[1])
                    << RECTIME2Second(&bad[2]) << RECTIME2Second(&bad[3]) << RECTIME2Second(&bad[4])
                    << RECTIME2Second(nullptr) << SetSysDateTime2(nullptr, 8)
                    << XSetSystemTime(2024, 2, 29, 23, 59, 59)
                    << (sizeof(time_t) > 4 ? Second2RECTIME(time_t(2966371200LL), &r) : -1)
                    << GetSysDateTime2(&r)
                    << (RECTIME2Second(&r) >= t0 && RECTIME2Second(&r) <= time(nullptr)),
              "-1 -1 -1 -1 -1 -1 -1 -1 0 -1 0 1"s)
        << "1999; fields out of range; no time; the clock is left alone; 2064; now";
}

TEST_F(FunctionTest, UuidCoreLimitAndAdtsHeaders) {
    char uuid[37], other[37];
    rlimit lim{};
    const bool settable = getrlimit(RLIMIT_CORE, &lim) == 0 && lim.rlim_max >= (1u << 20);
    EXPECT_EQ(Seq{} << GetUUID(uuid, 37) << GetUUID(other, 37) << GetUUID(uuid, 36) << std::strlen(other)
                    << (other[8] == '-' && other[23] == '-') << (std::strcmp(uuid, other) != 0)
                    << (settable ? debug_set_coredump_size(1) : 0) << getrlimit(RLIMIT_CORE, &lim)
                    << (settable ? lim.rlim_cur + lim.rlim_max : 2 << 20),
              "1 1 0 36 1 1 0 0 2097152"s)
        << "no room for the terminator in 36 bytes; a core limit of 1 MiB";
    // Junk, a 100-byte LC 44.1 kHz stereo frame, a header with reserved profile and rate, a cut header.
    std::vector<unsigned char> stream = {0x00, 0xFF, 0x12, 0xFF, 0xF1, 0x50, 0x80, 0x0C, 0x9F, 0xFC};
    stream.resize(stream.size() + 93, 0xFF);
    for (unsigned char b : {0xFF, 0xF1, 0xF4, 0x40, 0x00, 0xE0, 0x01, 0xFF, 0xF1, 0x50, 0x80, 0x0C})
        stream.push_back(b);
    logs.Clear();
    dumpADTS(stream.data(), static_cast<int>(stream.size()));
    EXPECT_EQ(logs.Messages(),
              (std::vector<std::string>{
                  "Syn=fff  MPEG4=0  layer=0  protection=1  LC  44100Hz  channel=2  original=0  home=0  "
                  "copyright_id=0  copyright_start=0  frame_length=100  fullness=0x7ff  raw_blocks=0",
                  "Syn=fff  MPEG4=0  layer=0  protection=1  unknown unknown  channel=1  original=0  home=0  "
                  "copyright_id=0  copyright_start=0  frame_length=7  fullness=0x000  raw_blocks=1"}));
}

// The base64 text, or "<null>" when refused; decoded with its length when decode is set.
std::string Base64(const std::string& in, bool decode) {
    int len = -1;
    void* out =
        decode ? static_cast<void*>(zr_base642s(in.c_str(), nullptr, 0, &len))
               : zr_s2base64(reinterpret_cast<const unsigned char*>(in.data()), int(in.size()), nullptr, 0);
    std::string s = out == nullptr ? "<null>"
                    : decode       ? std::string(static_cast<char*>(out), size_t(len))
                                   : static_cast<char*>(out);
    std::free(out);
    return s;
}

using ZrMiscText = BasicFun;

TEST_F(ZrMiscText, Base64HexAndIniParameters) {
    std::string binary(256, 0), all;
    std::iota(binary.rbegin(), binary.rend(), 0);
    for (std::string text : {"", "f", "fo", "foo", "foob", "\xff\xee\xdd"})
        all += Base64(text, false) + "=" + Base64(Base64(text, false), true) + " ";
    // White space and controls skipped, stops at the fill; URL-safe letters are not standard base64.
    for (std::string code : {" Zm9v\r\n\tYmFy\n", "Zm8=Zm9v", "Zm9v*mFy", "Zm9v-_", "Zm9v\xc3\xa4"})
        all += Base64(code, true) + " ";
    EXPECT_EQ(all,
              "= Zg===f Zm8==fo Zm9v=foo Zm9vYg===foob /+7d=\xff\xee\xdd foobar fo <null> <null> <null> ");
    EXPECT_EQ(Base64(Base64(binary, false), true), binary);
    char enc[9];
    unsigned char dec[7], b = 0;
    const unsigned char foobar[] = "foobar";
    int len = 0, level = 0, none = 0, cut = 0;
    Write("level", "  42\n"), Write("long", std::string(32, '0') + "9");  // only 32 bytes count
    // Base64 outputs that do not fit with their terminator are refused.
    EXPECT_EQ(Seq{true} << (zr_s2base64(foobar, 6, enc, sizeof enc) == enc)
                        << (zr_base642s("Zm9vYmFy", dec, 7, &len) == dec) << len
                        << (zr_s2base64(foobar, 6, enc, 8) != nullptr)
                        << (zr_s2base64(nullptr, 3, nullptr, 0) != nullptr)
                        << (zr_base642s("Zm9vYmFy", dec, 6, &len) != nullptr)
                        << (zr_base642s(nullptr, nullptr, 0, nullptr) != nullptr) << zr_str2hex("a", &b) << b
                        << zr_str2hex("Fe", &b) << b << zr_str2hex("0g", &b) << zr_str2hex("123", &b)
                        << zr_str2hex("", &b) << b << _zr_ini_readparam(P("level"), &level, 7) << level
                        << _zr_ini_readparam(P("none"), &none, 7) << none
                        << _zr_ini_readparam(P("long"), &cut, 7) << cut,
              "1 1 6 0 0 0 0 0 0xa 0 0xfe -1 -1 -1 0xfe 0 0x2a -1 7 0 0"s);
    EXPECT_EQ(std::string(enc) + "|" + reinterpret_cast<char*>(dec), "Zm9vYmFy|foobar");
}

TEST_F(ZrMiscText, FullReadAndWriteCommandsAndQueries) {
    std::string sent(70000, 0), got(70100, 0);  // read in more than one piece
    std::iota(sent.begin(), sent.end(), 0);
    const int io = open(P("io"), O_RDWR | O_CREAT, 0600);
    EXPECT_EQ(Seq{} << full_write(io, sent.data(), sent.size()) << lseek(io, 0, SEEK_SET)
                    << full_read(io, &got[0], got.size()) << close(io) << (got.substr(0, 70000) == sent),
              "70000 0 70000 0 1"s);
    ASSERT_EQ(prctl(PR_SET_NAME, "basicfun_tests"), 0);  // what ps lists; under an emulator, the emulator
    const std::string made = F("later");
    EXPECT_EQ(Seq{} << full_read(-1, &got[0], 1) << full_write(-1, &got[0], 1) << zr_system_cmd("exit 0", 1)
                    << zr_system_cmd("exit 2", 1) << zr_system_cmd("kill -9 $$", 1)
                    << zr_system_cmd(nullptr, 1) << zr_system_cmd(("sleep 0.1; touch " + made).c_str(), 0)
                    << Exists(made) << zr_sync() << zr_check_process_exist("basicfun_tests")
                    << zr_check_process_exist("no_such_process_q7") << zr_check_process_exist("a;b")
                    << zr_check_process_exist(std::string(1100, 'p').c_str()) << zr_check_process_exist("")
                    << (access("/dev/ubi0_0", F_OK) == 0 || zr_get_free_flash_bytes(0) == UINT64_MAX)
                    << (zr_get_free_mem_bytes() % 1024 == 0 && zr_get_free_mem_bytes() != UINT64_MAX),
              "-1 -1 0 -1 -1 -1 0 0 0 1 0 -1 -1 -1 1 1"s)
        << "a command not waited for has not run yet";
    for (int i = 0; i < 500 && !Exists(made); ++i)
        usleep(10000);
    EXPECT_TRUE(Exists(made));
}

// Every test leaves the device paths as it found them.
struct ZrMiscDevice : BasicFun {
    ~ZrMiscDevice() override {
        for (int which = 0; which < ZR_PATH_COUNT; ++which)
            zr_misc_set_device_path(which, nullptr);
    }
};

TEST_F(ZrMiscDevice, BootEnvironmentBoardTypeAndArpTableFromTheirFiles) {
    Write("fw_printenv", "#!/bin/sh\nprintf 'delay=3\\nethaddr=00:11:22:33:44:55\\r\\nserial=AB CD\\n'\n");
    Write("arp",
          "192.168.10.20 0x1 0x2 aa:bb:cc:0d:0e:0f * eth0\n192.168.10.30 0x20 0x2 " + std::string(59, 'a'));
    char mac[18], serial[18] = "untouched", colons[ZR_MAC_TEXT_MAX], plain[ZR_MAC_TEXT_MAX];
    Seq got;
    got << chmod(P("fw_printenv"), 0755) << mkdir(P("gpio5"), 0755)
        << zr_misc_set_device_path(ZR_PATH_FW_PRINTENV, P("fw_printenv"))
        << zr_misc_set_device_path(ZR_PATH_GPIO_SYSFS, P(""))
        << zr_misc_set_device_path(ZR_PATH_ARP, P("arp"));
    for (const char* value : {"0\n", "1\n", "\n"}) {
        Write("gpio5/value", value);
        got << zr_get_board_type2(5);
    }
    got << zr_env_param_get("ethaddr=", mac, sizeof mac) << zr_env_param_get("serial=", serial, 18)
        << zr_env_param_get("ipaddr=", serial, 18) << zr_env_param_get("ethaddr=", serial, 17)
        << zr_misc_set_device_path(ZR_PATH_FW_PRINTENV, "/tmp/x; reboot") << zr_get_board_type2(6)
        << zr_ip2mac("192.168.10.20", colons, plain);
    EXPECT_EQ(std::string(mac) + "|" + serial + "|" + colons + "|" + plain,
              "00:11:22:33:44:55|AB|AA:BB:CC:0D:0E:0F|AABBCC0D0E0F");
    got << zr_ip2mac("192.168.10.30", colons, plain) << (colons[0] + plain[0])
        << zr_ip2mac("192.168.10.99", colons, plain) << zr_ip2mac("1.2.3.4", colons, plain)
        << zr_ip2mac("192.168.10.200000", colons, plain) << zr_ip2mac("10.0.0.1;id", colons, plain)
        << zr_ip2mac(nullptr, colons, plain) << logs.Count(ZR_LOG_ERR, "param error");
    EXPECT_EQ(got, "0 0 0 0 0 1 0 -1 0 0 -1 -1 -1 -1 0 -1 0 -1 -1 -1 -1 -1 4"s)
        << "board types RX, TX; a value that would not fit with its terminator; an InfiniBand address";
}

// Reads, or writes when value is given, the 32-bit word at offset of the file.
int64_t Word(int fd, off_t offset, int64_t value = -1) {
    uint32_t v = static_cast<uint32_t>(value);
    return (value < 0 ? pread(fd, &v, 4, offset) : pwrite(fd, &v, 4, offset)) == 4 ? v : -1;
}

TEST_F(ZrMiscDevice, RegistersAndGpioThroughAMappedFile) {
    const int fd = open(P("mem"), O_RDWR | O_CREAT, 0600);
    const off_t g6 = 0x11090000 + 6 * 0x1000, dir6 = g6 + 0x400;
    uint32_t v = 0;
    // A window across a page end; direction bits set for outputs, cleared for inputs.
    EXPECT_EQ(
        Seq{true} << ftruncate(fd, 0x110A0000) << zr_misc_set_device_path(ZR_PATH_MEM, P("mem"))
                  << Word(fd, 0x10000010, 0x12345678) << Word(fd, dir6, 0xF0)
                  << zr_set_reg(0x11000FFC, 0xDEADBEEF) << Word(fd, 0x11000FFC) << zr_get_reg(0x10000010, &v)
                  << v << zr_gpio_set(6, 4, 1) << Word(fd, dir6) << Word(fd, g6 + 4 * 4)
                  << zr_gpio_set(6, 4, 0) << Word(fd, g6 + 4 * 4) << Word(fd, g6 + 4, 1) << zr_gpio_get(6, 1)
                  << Word(fd, dir6) << Word(fd, dir6, 0xFF) << zr_get_board_type() << Word(fd, dir6)
                  << Word(fd, g6 + 4, 0) << zr_get_board_type()
                  << Word(fd, 0x11090000 + 14 * 0x1000 + 8 * 4, 0x1FF) << zr_gpio_get(14, 8)
                  << zr_gpio_set(15, 1, 1) << zr_gpio_get(-1, 1) << zr_gpio_get(0, 9)
                  << zr_set_reg(0x11000002, 1) << logs.Count(ZR_LOG_ERR, "bad parameter!") << close(fd),
        "0 0 0x12345678 0xf0 0 0xdeadbeef 0 0x12345678 0 0xf4 4 0 0 1 1 0xf4 0xff 0 0xfe 0 1 0x1ff 0xff -1 "
        "-1 -1 -1 4 0"s);
    // The fifo opens but cannot be mapped.
    const std::string missing = F("no-mem"), fifo = F("fifo");
    EXPECT_EQ(Seq{} << mkfifo(fifo.c_str(), 0600) << zr_misc_set_device_path(ZR_PATH_MEM, missing.c_str())
                    << zr_set_reg(0x11090000, 1) << zr_gpio_set(6, 1, 1)
                    << zr_misc_set_device_path(ZR_PATH_MEM, fifo.c_str()) << zr_get_reg(0x11096010, &v)
                    << zr_misc_set_device_path(ZR_PATH_COUNT, fifo.c_str())
                    << zr_misc_set_device_path(ZR_PATH_MEM, std::string(300, 'a').c_str())
                    << logs.Count(ZR_LOG_ERR, "memmap():open " + missing + " error!\n")
                    << logs.Has(ZR_LOG_ERR, "memmap():mmap @ 0x11096010 error!\n"s),
              "0 0 -1 -1 0 -1 -1 -1 2 1"s);
}

}  // namespace
