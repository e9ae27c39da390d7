#include "FileUtils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BasicFunTest.h"
#include "TempDir.h"

namespace {

const char kFile[] = "util.file";

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return s;
}

dev_t DeviceOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

// Each case works in its own temporary directory.
class FileUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir.Path().empty()); }
    TempDir dir{"basicfun"};
};

}  // namespace

TEST_F(FileUtilsTest, CopyRenameAndSizes) {
    const std::string content = Pattern(3 * 4096 + 123);  // several copy blocks and a partial one
    WriteFile(dir.File("src.bin"), content);
    WriteFile(dir.File("old.bin"), "previous content that is longer than nothing");

    EXPECT_EQ(1, XCopyFile(dir.File("src.bin").c_str(), dir.File("old.bin").c_str()));
    EXPECT_EQ(content, ReadFile(dir.File("old.bin")));  // truncated, not overlaid
    uint32_t size32 = 0;
    int64_t size64 = 0;
    EXPECT_EQ(1, XGetFileSize(dir.File("old.bin").c_str(), &size32));
    EXPECT_EQ(content.size(), size32);
    EXPECT_EQ(0, GetFileSize(dir.File("old.bin").c_str(), &size64));
    EXPECT_EQ(static_cast<int64_t>(content.size()), size64);
    EXPECT_EQ(-1, GetFileSize(nullptr, &size64));
    EXPECT_EQ(-2, GetFileSize(dir.File("none").c_str(), &size64));
    EXPECT_EQ(0, XGetFileSize(dir.File("none").c_str(), &size32));

    // A copy onto itself must not destroy the file.
    EXPECT_EQ(0, XCopyFile(dir.File("src.bin").c_str(), dir.File("src.bin").c_str()));
    EXPECT_EQ(content, ReadFile(dir.File("src.bin")));
    EXPECT_EQ(0, XCopyFile(dir.File("none").c_str(), dir.File("dst").c_str()));
    EXPECT_FALSE(Exists(dir.File("dst")));

    EXPECT_EQ(1, XRenameFile(dir.File("src.bin").c_str(), dir.File("moved.bin").c_str()));
    EXPECT_FALSE(Exists(dir.File("src.bin")));
    EXPECT_EQ(content, ReadFile(dir.File("moved.bin")));
    EXPECT_EQ(0, XRenameFile(dir.File("src.bin").c_str(), dir.File("again.bin").c_str()));
    EXPECT_EQ(0, ReName(dir.File("moved.bin").c_str(), dir.File("m2.bin").c_str()));
    EXPECT_EQ(-1, ReName(nullptr, dir.File("m2.bin").c_str()));
}

TEST_F(FileUtilsTest, RenameAcrossFileSystemsCopiesAndUnlinks) {
    std::string other;
    for (const char* candidate : {"/dev/shm", "/run", "/var/tmp", "/tmp"}) {
        if (DeviceOf(candidate) != 0 && DeviceOf(candidate) != DeviceOf(dir.Path()) &&
            access(candidate, W_OK) == 0) {
            other = candidate;
            break;
        }
    }
    if (other.empty()) {
        GTEST_SKIP() << "no second file system to rename across";
    }
    std::string farDir = other + "/basicfun.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(&farDir[0]));
    struct RemoveAfter {
        std::string path;
        ~RemoveAfter() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } farCleanup{farDir};
    const std::string content = Pattern(10000);
    WriteFile(dir.File("clip.mp4"), content);
    ASSERT_NE(0, rename(dir.File("clip.mp4").c_str(), (farDir + "/probe").c_str()));
    ASSERT_EQ(EXDEV, errno);

    LogCapture logs;
    EXPECT_EQ(1, XRenameFile(dir.File("clip.mp4").c_str(), (farDir + "/clip.mp4").c_str()));
    EXPECT_FALSE(Exists(dir.File("clip.mp4")));
    EXPECT_EQ(content, ReadFile(farDir + "/clip.mp4"));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "DELETE FILE " + dir.File("clip.mp4")));
}

TEST_F(FileUtilsTest, IteratesEveryEntryWithItsRecord) {
    WriteFile(dir.File("a.tar.gz"), "12345");
    ASSERT_EQ(0, mkdir(dir.File("sub").c_str(), 0755));
    ASSERT_EQ(0, symlink("sub", dir.File("link").c_str()));
    struct stat st;
    ASSERT_EQ(0, lstat(dir.File("a.tar.gz").c_str(), &st));

    LogCapture logs;
    XFileFindData data;
    std::map<std::string, XFileFindData> seen;
    DIR_CTX* ctx = XFindFirstFile(dir.Path().c_str(), &data);
    ASSERT_NE(nullptr, ctx);
    EXPECT_EQ(dir.Path() + "/", ctx->path);
    do {
        seen[data.szFileName] = data;
    } while (XFindNextFile(ctx, &data));
    EXPECT_EQ(1, XCloseFindFile(ctx, 0));

    EXPECT_EQ((std::set<std::string>{".", "..", "a.tar.gz", "sub", "link"}), [&] {
        std::set<std::string> names;
        for (const auto& e : seen)
            names.insert(e.first);
        return names;
    }());
    const XFileFindData& file = seen["a.tar.gz"];
    EXPECT_EQ(0, file.bIsDir);
    EXPECT_EQ(0, file.bNotAccess);
    EXPECT_EQ(5, file.nFileSize);
    EXPECT_EQ(st.st_mtime, file.tModify);
    EXPECT_EQ(st.st_ctime, file.tChange);
    EXPECT_EQ(static_cast<int64_t>(st.st_blocks) * st.st_blksize, file.nBlockBytes);
    EXPECT_STREQ("gz", file.szExtName);
    EXPECT_EQ(1, seen["sub"].bIsDir);
    EXPECT_EQ(0, seen["link"].bIsDir);  // the link itself, not its target
    EXPECT_STREQ("", seen["sub"].szExtName);
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "********   OPEN DIR " + dir.Path()));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "********* CLOSE DIR " + dir.Path() + "/"));

    // Closing with the flag removes the (now empty) directory.
    ASSERT_EQ(0, mkdir(dir.File("empty").c_str(), 0755));
    ctx = XFindFirstFile(dir.File("empty").c_str(), &data);
    ASSERT_NE(nullptr, ctx);
    EXPECT_EQ(1, XCloseFindFile(ctx, 1));
    EXPECT_FALSE(Exists(dir.File("empty")));

    EXPECT_EQ(nullptr, XFindFirstFile(dir.File("none").c_str(), &data));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_ERR,
                       "OPEN DIR " + dir.File("none") + " ZRLOG_MSG_ERR. No such file or directory"));
}

TEST_F(FileUtilsTest, TreeRemovalDeletesLinksNotTargets) {
    TempDir keep{"basicfun"};
    ASSERT_FALSE(keep.Path().empty());
    WriteFile(keep.File("precious"), "x");
    const std::string root = dir.File("rec");
    ASSERT_EQ(0, MakeDir((root + "/a/b/c").c_str()));
    WriteFile(root + "/f1", "1");
    WriteFile(root + "/a/b/f2", "2");
    ASSERT_EQ(0, symlink(keep.Path().c_str(), (root + "/a/outside").c_str()));

    LogCapture logs;
    EXPECT_EQ(0, XRemoveDirectory(root.c_str()));  // not empty
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "RM DIR " + root + "."));
    EXPECT_EQ(1, XRemoveDirectory(root.c_str(), 1));
    EXPECT_FALSE(Exists(root));
    EXPECT_TRUE(Exists(keep.File("precious")));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "DELETE FILE " + root + "/a/b/f2"));
    EXPECT_EQ(0, XRemoveDirectory(root.c_str(), 1));

    // Levels are removed from the deepest up; a level with other content stops it.
    ASSERT_EQ(1, XCreateFullPathDir(dir.File("x/y/z").c_str(), 0755));
    WriteFile(dir.File("x/other"), "o");
    EXPECT_EQ(0, XRemoveFullPathEmptyDir(dir.File("x/y/z/").c_str()));
    EXPECT_FALSE(Exists(dir.File("x/y")));
    EXPECT_TRUE(Exists(dir.File("x/other")));
    char before[4096];
    ASSERT_NE(nullptr, getcwd(before, sizeof(before)));
    ASSERT_EQ(0, chdir(dir.Path().c_str()));
    ASSERT_EQ(1, XCreateFullPathDir("p/q", 0755));
    EXPECT_EQ(1, XRemoveFullPathEmptyDir("p/q"));
    EXPECT_FALSE(Exists(dir.File("p")));
    char cwd[XMAX_PATH];
    EXPECT_EQ(1, XGetCurrentPath(cwd, sizeof(cwd)));
    EXPECT_EQ(dir.Path() + "/", cwd);
    EXPECT_EQ(0, XGetCurrentPath(cwd, static_cast<int>(dir.Path().size()) + 1));  // no room for "/"
    ASSERT_EQ(0, chdir(before));
}

TEST_F(FileUtilsTest, EmptinessClearingAndCreation) {
    const std::string d = dir.File("d");
    EXPECT_EQ(-1, IsDirExist(d.c_str()));
    EXPECT_EQ(-1, isDirEmpty(d.c_str()));
    EXPECT_EQ(0, EasyMakeDir(d.c_str()));
    EXPECT_EQ(0, EasyMakeDir(d.c_str()));
    EXPECT_EQ(-1, EasyMakeDir(dir.File("no/such").c_str()));
    EXPECT_EQ(0, IsDirExist(d.c_str()));
    EXPECT_EQ(1, isDirEmpty(d.c_str()));
    EXPECT_EQ(0, MakeFile((d + "/one").c_str()));
    EXPECT_EQ(0, isDirEmpty(d.c_str()));

    EXPECT_EQ(1, IsFileExistInDir(d.c_str(), "onetwo", 3));
    EXPECT_EQ(0, IsFileExistInDir(d.c_str(), "on", 2));
    EXPECT_EQ(-1, IsFileExistInDir(dir.File("none").c_str(), "one", 3));
    DIR* handle = opendir(d.c_str());
    ASSERT_NE(nullptr, handle);
    char name[8];
    EXPECT_EQ(3, GetFileFromDir(handle, name, sizeof(name)));
    EXPECT_STREQ("one", name);
    EXPECT_EQ(-1, GetFileFromDir(handle, name, sizeof(name)));
    closedir(handle);

    ASSERT_EQ(0, MakeDir((d + "/sub/deeper").c_str()));
    EXPECT_EQ(-1, ClearDir(d.c_str()));  // "sub" is not empty: one level only
    EXPECT_TRUE(Exists(d + "/sub/deeper"));
    EXPECT_FALSE(Exists(d + "/one"));
    ASSERT_EQ(0, rmdir((d + "/sub/deeper").c_str()));
    MakeFile((d + "/two").c_str());
    LogCapture logs;
    EXPECT_EQ(0, DeleDir(d.c_str()));
    EXPECT_FALSE(Exists(d));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_INFO, "Delete File " + d + "/two\n"));
    EXPECT_EQ(-1, MakeDir(""));
    EXPECT_EQ(-1, MakeDir(nullptr));
    EXPECT_EQ(-1, MakeFile(dir.File("no/such").c_str()));
}

TEST_F(FileUtilsTest, CheckDirStopsOrVisitsAll) {
    const std::string d = dir.File("clips");
    ASSERT_EQ(0, mkdir(d.c_str(), 0755));
    for (const char* n : {"a.mp4", "b.txt", "c.mp4", "d.txt"}) {
        MakeFile((d + "/" + n).c_str());
    }
    struct Seen {
        int calls = 0;
        std::string dir;
    };
    XDirEntryCheck onlyMp4 = [](const char* dirPath, const char* name, void* user) {
        auto* seen = static_cast<Seen*>(user);
        seen->calls++;
        seen->dir = dirPath;
        return std::string(GetExtName(name)) == "mp4" ? 0 : 1;
    };
    XDirEntryCheck all = [](const char*, const char*, void* user) {
        static_cast<Seen*>(user)->calls++;
        return 0;
    };
    Seen first;
    Seen every;
    Seen pass;
    EXPECT_EQ(1, CheckDir(d.c_str(), onlyMp4, &first));
    EXPECT_EQ(1, CheckDirIsFail(d.c_str(), onlyMp4, &every));
    EXPECT_EQ(0, CheckDir(d.c_str(), all, &pass));
    EXPECT_LT(first.calls, 4);  // stopped at the first .txt
    EXPECT_EQ(4, every.calls);
    EXPECT_EQ(4, pass.calls);
    EXPECT_EQ(d, every.dir);

    ASSERT_EQ(0, mkdir(dir.File("empty").c_str(), 0755));
    EXPECT_EQ(-1, CheckDir(dir.File("empty").c_str(), all, &pass));
    EXPECT_FALSE(Exists(dir.File("empty")));
    EXPECT_EQ(-1, CheckDirIsFail(dir.File("none").c_str(), all, &pass));
}

TEST_F(FileUtilsTest, ReadLineEdgeCases) {
    WriteFile(dir.File("lines"), "ab\n\nabcdefgh\ntail");
    int fd = open(dir.File("lines").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buf[16];
    EXPECT_EQ(2, ReadLine(fd, buf, sizeof(buf)));
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(0, ReadLine(fd, buf, sizeof(buf)));
    EXPECT_STREQ("", buf);
    // The byte at the limit becomes the terminator and is lost.
    EXPECT_EQ(3, ReadLine(fd, buf, 4));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(4, ReadLine(fd, buf, sizeof(buf)));
    EXPECT_STREQ("efgh", buf);
    // End of file: index of the last byte read, no terminator added.
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(3, ReadLine(fd, buf, sizeof(buf)));
    EXPECT_EQ(std::string("tailX"), std::string(buf, 5));
    EXPECT_EQ(-1, ReadLine(fd, buf, sizeof(buf)));
    close(fd);
    EXPECT_EQ(-1, ReadLine(-1, buf, sizeof(buf)));
    EXPECT_EQ(-1, ReadLine(0, nullptr, 4));
    EXPECT_EQ(-1, ReadLine(0, buf, 0));
}

TEST_F(FileUtilsTest, FileReadAndWrites) {
    const std::string content = Pattern(FILE_READ_MAX + 500);
    WriteFile(dir.File("big"), content);
    int len = 0;
    char* data = FileRead(dir.File("big").c_str(), &len);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(FILE_READ_MAX, len);
    EXPECT_EQ(content.substr(0, FILE_READ_MAX), std::string(data));
    std::free(data);

    LogCapture logs;
    EXPECT_EQ(nullptr, FileRead(dir.File("none").c_str()));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_ERR, "fopen " + dir.File("none") + " error!"));

    int fd = open(dir.File("out").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(static_cast<ssize_t>(content.size()), FullWrite(fd, content.data(), content.size()));
    close(fd);
    EXPECT_EQ(content, ReadFile(dir.File("out")));
    EXPECT_EQ(-1, FullWrite(fd, "abc", 3));  // closed descriptor
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_ERR,
                       "Safe Write error! Bad file descriptor. fd = " + std::to_string(fd) + ", count = 3"));
}

TEST(FileUtilsText, NamesExtensionsAndHex) {
    char padded[] = " \t name.txt \r\n";
    EXPECT_STREQ("name.txt", trim(padded));
    char blank[] = "   ";
    EXPECT_STREQ("", trim(blank));

    LogCapture logs;
    EXPECT_STREQ("c", GetExtName("a.b.c"));
    EXPECT_STREQ("", GetExtName("README"));
    EXPECT_EQ(nullptr, GetExtName(""));
    EXPECT_EQ(nullptr, GetExtName(nullptr));
    EXPECT_TRUE(HasLog(logs, kFile, ZR_LOG_ERR, "filename can't be null!"));

    char ext[4];
    EXPECT_EQ(0, GetFileExtName("/media/rec.v1/clip.mp4", ext, sizeof(ext)));
    EXPECT_STREQ("mp4", ext);
    EXPECT_EQ(0, GetFileExtName("/media/rec.v1/clip", ext, sizeof(ext)));
    EXPECT_STREQ("", ext);
    EXPECT_EQ(0, GetFileExtName("x.jpeg", ext, sizeof(ext)));
    EXPECT_STREQ("jpe", ext);  // cut to the output

    unsigned char hex[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(3, CharToHex("0aFfz1", hex, 4));
    EXPECT_EQ(0x0A, hex[0]);
    EXPECT_EQ(0xFF, hex[1]);
    EXPECT_EQ(0x01, hex[2]);  // "z" counts as 0
    EXPECT_EQ(0xEE, hex[3]);
    EXPECT_EQ(2, CharToHex("1234abcd", hex, 2));
    EXPECT_EQ(0x34, hex[1]);
    EXPECT_EQ(1, CharToHex("7", hex, 4));
    EXPECT_EQ(0x70, hex[0]);
}

TEST_F(FileUtilsTest, StatfsFiguresAndMounts) {
    uint64_t total = 0;
    uint64_t avail = 0;
    EXPECT_EQ(1, XGetDiskPartitionSpace(dir.Path().c_str(), &total, &avail));
    EXPECT_GT(total, 0u);
    EXPECT_LE(avail, total);
    EXPECT_EQ(total, GetTotalSpace(dir.Path().c_str()));
    EXPECT_EQ(0, XGetDiskPartitionSpace(dir.File("none").c_str(), &total, &avail));
    EXPECT_EQ(0u, total);
    EXPECT_EQ(0u, avail);
    EXPECT_EQ(UINT64_MAX, GetTotalSpace(dir.File("none").c_str()));
    EXPECT_EQ(UINT64_MAX, GetFreeSpace(dir.File("none").c_str()));

    EXPECT_EQ(1, isMounted("/"));
    EXPECT_EQ(1, isMounted("/proc/"));
    EXPECT_EQ(0, isMounted(dir.Path().c_str()));
    EXPECT_EQ(1, XFilePathExists(dir.Path().c_str()));
    EXPECT_EQ(0, XFilePathExists(dir.File("none").c_str()));
    EXPECT_EQ(0, XFilePathExists(nullptr));
}

TEST_F(FileUtilsTest, OverlongPathsAreRefused) {
    const std::string longName(200, 'n');
    const std::string tooLong = dir.File(longName + "/" + longName);
    EXPECT_EQ(0, XCreateFullPathDir(tooLong.c_str(), 0755));
    EXPECT_FALSE(Exists(dir.File(longName)));  // refused before the first level
    EXPECT_EQ(-1, MakeDir(tooLong.c_str()));
    EXPECT_FALSE(Exists(dir.File(longName)));
    EXPECT_EQ(0, XRemoveFullPathEmptyDir(tooLong.c_str()));

    // A tree whose entries no longer fit a scratch path is left in place.
    const std::string top = dir.File(longName);
    ASSERT_EQ(0, mkdir(top.c_str(), 0755));
    ASSERT_EQ(0, mkdir((top + "/" + std::string(100, 'm')).c_str(), 0755));
    EXPECT_EQ(0, XRemoveDirectory(top.c_str(), 1));
    EXPECT_TRUE(Exists(top + "/" + std::string(100, 'm')));
    XFileFindData data;
    EXPECT_EQ(nullptr, XFindFirstFile(tooLong.c_str(), &data));

    char name[4];
    DIR* handle = opendir(dir.Path().c_str());
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(200, GetFileFromDir(handle, name, sizeof(name)));  // full length reports the cut
    EXPECT_STREQ("nnn", name);
    closedir(handle);
}
