#include "FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BasicFunDetail.h"
#include "zrlog.h"

#define FILE_LOG(level, ...) ZR_LOG_AT("util.file", level, __VA_ARGS__)

using basicfun_detail::CopyIfFits;
using basicfun_detail::JoinPath;

namespace {

constexpr size_t kCopyBlock = 4096;

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool StatFsBytes(const char* path, uint64_t* total, uint64_t* avail) {
    struct statfs fs;
    if (path == nullptr || statfs(path, &fs) != 0) {
        return false;
    }
    *total = static_cast<uint64_t>(fs.f_blocks) * static_cast<uint64_t>(fs.f_bsize);
    *avail = static_cast<uint64_t>(fs.f_bfree) * static_cast<uint64_t>(fs.f_bsize);
    return true;
}

// Fills data for one entry of the search; false (logged) when it cannot be examined.
bool FillFindData(const DIR_CTX* ctx, const char* name, XFileFindData* data) {
    char full[XMAX_PATH];
    struct stat64 st;
    if (!JoinPath(full, sizeof(full), ctx->path, name)) {
        errno = ENAMETOOLONG;
        FILE_LOG(ZR_LOG_ERR, "lstat64 %s error. %m", name);
        return false;
    }
    if (lstat64(full, &st) != 0) {
        FILE_LOG(ZR_LOG_ERR, "lstat64 %s error. %m", full);
        return false;
    }
    std::memset(data, 0, sizeof(*data));
    data->bIsDir = S_ISDIR(st.st_mode) ? 1 : 0;
    data->bNotAccess = access(full, R_OK | W_OK) != 0 ? 1 : 0;
    data->nFileSize = static_cast<int64_t>(st.st_size);
    data->tModify = st.st_mtime;
    data->tAccess = st.st_atime;
    data->tChange = st.st_ctime;
    data->nBlockBytes = static_cast<int64_t>(st.st_blocks) * static_cast<int64_t>(st.st_blksize);
    std::snprintf(data->szExtName, sizeof(data->szExtName), "%s", GetExtName(name));
    std::snprintf(data->szFileName, sizeof(data->szFileName), "%s", name);
    return true;
}

// CheckDir and CheckDirIsFail differ only in whether a rejection ends the walk.
int CheckEntries(const char* dirPath, XDirEntryCheck check, void* user, bool stopAtFirst) {
    if (dirPath == nullptr || check == nullptr) {
        return -1;
    }
    DIR* dir = opendir(dirPath);
    if (dir == nullptr) {
        return -1;
    }
    bool any = false;
    bool rejected = false;
    while (dirent* ent = readdir(dir)) {
        if (IsDotEntry(ent->d_name)) {
            continue;
        }
        any = true;
        if (check(dirPath, ent->d_name, user) != 0) {
            rejected = true;
            if (stopAtFirst) {
                break;
            }
        }
    }
    closedir(dir);
    if (!any) {
        rmdir(dirPath);
        return -1;
    }
    return rejected ? 1 : 0;
}

// A non-digit counts as 0.
int HexValue(char c) {
    int v = basicfun_detail::HexDigitValue(c);
    return v < 0 ? 0 : v;
}

}  // namespace

char* trim(char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    size_t len = std::strlen(text);
    while (len > 0 && std::isspace(static_cast<unsigned char>(text[len - 1]))) {
        text[--len] = '\0';
    }
    return text;
}

const char* GetExtName(const char* fileName) {
    if (fileName == nullptr) {
        FILE_LOG(ZR_LOG_ERR, "filename can't be null!");
        return nullptr;
    }
    if (*fileName == '\0') {
        return nullptr;
    }
    const char* dot = std::strrchr(fileName, '.');
    return dot != nullptr ? dot + 1 : fileName + std::strlen(fileName);
}

int GetFileExtName(const char* path, char* ext, int extSize) {
    if (path == nullptr || ext == nullptr || extSize <= 0) {
        return -1;
    }
    const char* slash = std::strrchr(path, '/');
    const char* base = slash != nullptr ? slash + 1 : path;
    const char* dot = std::strrchr(base, '.');
    std::snprintf(ext, static_cast<size_t>(extSize), "%s", dot != nullptr ? dot + 1 : "");
    return 0;
}

int XFilePathExists(const char* path) {
    return (path != nullptr && access(path, F_OK) == 0) ? 1 : 0;
}

int XCreateFullPathDir(const char* path, mode_t mode) {
    char buf[XMAX_PATH];
    if (path == nullptr || *path == '\0') {
        return 0;
    }
    size_t len = std::strlen(path);
    bool addSlash = path[len - 1] != '/';
    if (len + (addSlash ? 1 : 0) >= sizeof(buf)) {
        return 0;
    }
    std::memcpy(buf, path, len);
    if (addSlash) {
        buf[len++] = '/';
    }
    buf[len] = '\0';
    for (size_t i = 1; i < len; ++i) {
        if (buf[i] != '/') {
            continue;
        }
        buf[i] = '\0';
        if (!XFilePathExists(buf) && mkdir(buf, mode) != 0 && errno != EEXIST) {
            return 0;
        }
        buf[i] = '/';
    }
    return 1;
}

int XGetDiskPartitionSpace(const char* path, uint64_t* totalBytes, uint64_t* freeBytes) {
    uint64_t total = 0;
    uint64_t avail = 0;
    int ok = StatFsBytes(path, &total, &avail) ? 1 : 0;
    if (!ok) {
        total = avail = 0;
    }
    if (totalBytes != nullptr) {
        *totalBytes = total;
    }
    if (freeBytes != nullptr) {
        *freeBytes = avail;
    }
    return ok;
}

int XRemoveDirectory(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    FILE_LOG(ZR_LOG_INFO, "RM DIR %s.", path);
    return rmdir(path) == 0 ? 1 : 0;
}

int XRemoveDirectory(const char* path, int removeTree) {
    if (!removeTree) {
        return XRemoveDirectory(path);
    }
    XFileFindData data;
    DIR_CTX* ctx = XFindFirstFile(path, &data);
    if (ctx == nullptr) {
        return 0;
    }
    int ok = 1;
    do {
        if (IsDotEntry(data.szFileName)) {
            continue;
        }
        char child[XMAX_PATH];
        if (!JoinPath(child, sizeof(child), ctx->path, data.szFileName)) {
            ok = 0;
            continue;
        }
        int removed = data.bIsDir ? XRemoveDirectory(child, 1) : XDeleteFile(child);
        ok = ok && removed;
    } while (XFindNextFile(ctx, &data));
    XCloseFindFile(ctx, 0);
    return XRemoveDirectory(path) && ok;
}

int XRemoveFullPathEmptyDir(const char* path) {
    char buf[XMAX_PATH];
    if (path == nullptr || !CopyIfFits(buf, sizeof(buf), path)) {
        return 0;
    }
    for (;;) {
        size_t len = std::strlen(buf);
        while (len > 1 && buf[len - 1] == '/') {
            buf[--len] = '\0';
        }
        if (len == 0 || std::strcmp(buf, "/") == 0) {
            return 1;
        }
        if (XFilePathExists(buf) && !XRemoveDirectory(buf)) {
            return 0;
        }
        char* slash = std::strrchr(buf, '/');
        if (slash == nullptr) {
            return 1;
        }
        slash[slash == buf ? 1 : 0] = '\0';
    }
}

int XDeleteFile(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    FILE_LOG(ZR_LOG_INFO, "DELETE FILE %s", path);
    return unlink(path) == 0 ? 1 : 0;
}

int XRenameFile(const char* src, const char* dst) {
    if (src == nullptr || dst == nullptr) {
        return 0;
    }
    if (rename(src, dst) == 0) {
        return 1;
    }
    return (XCopyFile(src, dst) && XDeleteFile(src)) ? 1 : 0;
}

int XGetFileSize(const char* path, uint32_t* size) {
    struct stat64 st;
    if (path == nullptr || size == nullptr || lstat64(path, &st) != 0) {
        return 0;
    }
    *size = static_cast<uint32_t>(st.st_size);
    return 1;
}

int XCopyFile(const char* src, const char* dst) {
    if (src == nullptr || dst == nullptr) {
        return 0;
    }
    int in = open(src, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return 0;
    }
    struct stat inSt;
    struct stat outSt;
    // Only regular files are copied, and never onto themselves: the
    // destination is truncated only once it is known to be another file.
    int out = -1;
    bool ok = fstat(in, &inSt) == 0 && S_ISREG(inSt.st_mode);
    bool created = false;
    if (ok) {
        created = access(dst, F_OK) != 0;
        out = open(dst, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        ok = out >= 0 && fstat(out, &outSt) == 0 &&
             !(outSt.st_dev == inSt.st_dev && outSt.st_ino == inSt.st_ino) && ftruncate(out, 0) == 0;
    }
    char block[kCopyBlock];
    while (ok) {
        ssize_t n = SafeRead(in, block, sizeof(block));
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = FullWrite(out, block, static_cast<size_t>(n)) == n;
    }
    if (out >= 0 && close(out) != 0) {
        ok = false;
    }
    close(in);
    if (!ok && created && out >= 0) {
        unlink(dst);
    }
    return ok ? 1 : 0;
}

int XGetCurrentPath(char* buf, int size) {
    if (buf == nullptr || size <= 1 || getcwd(buf, static_cast<size_t>(size) - 1) == nullptr) {
        return 0;
    }
    size_t len = std::strlen(buf);
    if (len == 0 || buf[len - 1] != '/') {
        buf[len] = '/';
        buf[len + 1] = '\0';
    }
    return 1;
}

char* FileRead(const char* path, int* length) {
    if (length != nullptr) {
        *length = 0;
    }
    FILE* fp = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (fp == nullptr) {
        FILE_LOG(ZR_LOG_ERR, "fopen %s error!", path != nullptr ? path : "(null)");
        return nullptr;
    }
    char* buf = static_cast<char*>(std::malloc(FILE_READ_MAX + 1));
    if (buf != nullptr) {
        size_t n = std::fread(buf, 1, FILE_READ_MAX, fp);
        buf[n] = '\0';
        if (length != nullptr) {
            *length = static_cast<int>(n);
        }
    }
    std::fclose(fp);
    return buf;
}

ssize_t SafeRead(int fd, void* buf, size_t count) {
    ssize_t n;
    do {
        n = read(fd, buf, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SafeWrite(int fd, const void* buf, size_t count) {
    ssize_t n;
    do {
        n = write(fd, buf, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        FILE_LOG(ZR_LOG_ERR, "Safe Write error! %m. fd = %d, count = %d", fd, static_cast<int>(count));
    }
    return n;
}

ssize_t FullWrite(int fd, const void* buf, size_t count) {
    const char* p = static_cast<const char*>(buf);
    return basicfun_detail::TransferAll([&](size_t done) { return SafeWrite(fd, p + done, count - done); },
                                        count);
}

DIR_CTX* XFindFirstFile(const char* dirPath, XFileFindData* data) {
    if (dirPath == nullptr || data == nullptr) {
        return nullptr;
    }
    auto* ctx = static_cast<DIR_CTX*>(std::calloc(1, sizeof(DIR_CTX)));
    if (ctx == nullptr) {
        return nullptr;
    }
    if (!JoinPath(ctx->path, sizeof(ctx->path), dirPath, "")) {
        errno = ENAMETOOLONG;
        FILE_LOG(ZR_LOG_ERR, "OPEN DIR %s ZRLOG_MSG_ERR. %m", dirPath);
        std::free(ctx);
        return nullptr;
    }
    ctx->dir = opendir(dirPath);
    if (ctx->dir == nullptr) {
        FILE_LOG(ZR_LOG_ERR, "OPEN DIR %s ZRLOG_MSG_ERR. %m", dirPath);
        std::free(ctx);
        return nullptr;
    }
    FILE_LOG(ZR_LOG_INFO, "********   OPEN DIR %s", dirPath);
    if (!XFindNextFile(ctx, data)) {
        closedir(ctx->dir);
        std::free(ctx);
        return nullptr;
    }
    return ctx;
}

int XFindNextFile(DIR_CTX* ctx, XFileFindData* data) {
    if (ctx == nullptr || ctx->dir == nullptr || data == nullptr) {
        return 0;
    }
    while (dirent* ent = readdir(ctx->dir)) {
        if (FillFindData(ctx, ent->d_name, data)) {
            return 1;
        }
    }
    return 0;
}

int XCloseFindFile(DIR_CTX* ctx, int removeDir) {
    if (ctx == nullptr) {
        return 0;
    }
    int ok = 1;
    if (ctx->dir != nullptr && closedir(ctx->dir) != 0) {
        FILE_LOG(ZR_LOG_ERR, "********* CLOSE DIR %s error. %m", ctx->path);
        ok = 0;
    } else {
        FILE_LOG(ZR_LOG_INFO, "********* CLOSE DIR %s", ctx->path);
    }
    if (removeDir && !XRemoveDirectory(ctx->path)) {
        ok = 0;
    }
    std::free(ctx);
    return ok;
}

void SyncFS() {
    sync();
}

int MakeFile(const char* path) {
    int fd = path != nullptr ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    if (fd < 0) {
        return -1;
    }
    close(fd);
    return 0;
}

int MakeDir(const char* path) {
    char buf[XMAX_PATH];
    if (path == nullptr || *path == '\0' || !CopyIfFits(buf, sizeof(buf), path)) {
        return -1;
    }
    for (char* p = buf + 1; *p != '\0'; ++p) {
        if (*p == '/') {
            *p = '\0';
            mkdir(buf, 0777);
            *p = '/';
        }
    }
    mkdir(buf, 0777);
    return 0;
}

int ClearDir(const char* dirPath) {
    DIR* dir = dirPath != nullptr ? opendir(dirPath) : nullptr;
    if (dir == nullptr) {
        return -1;
    }
    while (dirent* ent = readdir(dir)) {
        char full[XMAX_PATH];
        if (!IsDotEntry(ent->d_name) && JoinPath(full, sizeof(full), dirPath, ent->d_name)) {
            DeleFile(full);
        }
    }
    closedir(dir);
    return isDirEmpty(dirPath) == 1 ? 0 : -1;
}

int DeleDir(const char* dirPath) {
    if (ClearDir(dirPath) != 0) {
        return -1;
    }
    return rmdir(dirPath) == 0 ? 0 : -1;
}

int DeleFile(const char* path) {
    if (path == nullptr) {
        return -1;
    }
    FILE_LOG(ZR_LOG_INFO, "Delete File %s\n", path);
    return remove(path) == 0 ? 0 : -1;
}

int ReName(const char* src, const char* dst) {
    if (src == nullptr || dst == nullptr) {
        return -1;
    }
    return rename(src, dst) == 0 ? 0 : -1;
}

int ReadLine(int fd, char* buf, int maxLen) {
    if (fd < 0 || buf == nullptr || maxLen <= 0) {
        return -1;
    }
    for (int i = 0; i < maxLen; ++i) {
        if (SafeRead(fd, &buf[i], 1) != 1) {
            return i - 1;
        }
        if (buf[i] == '\n' || i == maxLen - 1) {
            buf[i] = '\0';
            return i;
        }
    }
    return -1;
}

uint64_t GetTotalSpace(const char* path) {
    uint64_t total = 0;
    uint64_t avail = 0;
    return StatFsBytes(path, &total, &avail) ? total : UINT64_MAX;
}

uint64_t GetFreeSpace(const char* path) {
    uint64_t total = 0;
    uint64_t avail = 0;
    return StatFsBytes(path, &total, &avail) ? avail : UINT64_MAX;
}

int isMounted(const char* path) {
    char want[XMAX_PATH];
    if (path == nullptr || !CopyIfFits(want, sizeof(want), path)) {
        return 0;
    }
    size_t len = std::strlen(want);
    while (len > 1 && want[len - 1] == '/') {
        want[--len] = '\0';
    }
    FILE* fp = std::fopen("/proc/mounts", "r");
    if (fp == nullptr) {
        return 0;
    }
    int found = 0;
    char* line = nullptr;
    size_t cap = 0;
    while (!found && getline(&line, &cap, fp) > 0) {
        char dev[256];
        char mountPoint[256];
        char type[256];
        found = (std::sscanf(line, "%255s %255s %255s\n", dev, mountPoint, type) == 3 &&
                 std::strcmp(mountPoint, want) == 0)
                    ? 1
                    : 0;
    }
    std::free(line);
    std::fclose(fp);
    return found;
}

int IsDirExist(const char* dirPath) {
    DIR* dir = dirPath != nullptr ? opendir(dirPath) : nullptr;
    if (dir == nullptr) {
        return -1;
    }
    closedir(dir);
    return 0;
}

int isDirEmpty(const char* dirPath) {
    DIR* dir = dirPath != nullptr ? opendir(dirPath) : nullptr;
    if (dir == nullptr) {
        return -1;
    }
    int entries = 0;
    while (entries < 3 && readdir(dir) != nullptr) {
        ++entries;
    }
    closedir(dir);
    return entries < 3 ? 1 : 0;
}

int EasyMakeDir(const char* dirPath) {
    if (dirPath == nullptr) {
        return -1;
    }
    if (IsDirExist(dirPath) == 0 || mkdir(dirPath, 0777) == 0) {
        return 0;
    }
    return -1;
}

int GetFileFromDir(DIR* dir, char* name, int size) {
    if (dir == nullptr || name == nullptr || size <= 0) {
        return -1;
    }
    while (dirent* ent = readdir(dir)) {
        if (!IsDotEntry(ent->d_name)) {
            return std::snprintf(name, static_cast<size_t>(size), "%s", ent->d_name);
        }
    }
    return -1;
}

int IsFileExistInDir(const char* dirPath, const char* name, int nameLen) {
    if (name == nullptr || nameLen < 0) {
        return -1;
    }
    DIR* dir = dirPath != nullptr ? opendir(dirPath) : nullptr;
    if (dir == nullptr) {
        return -1;
    }
    int found = 0;
    while (dirent* ent = readdir(dir)) {
        if (std::strlen(ent->d_name) == static_cast<size_t>(nameLen) &&
            std::memcmp(ent->d_name, name, static_cast<size_t>(nameLen)) == 0) {
            found = 1;
            break;
        }
    }
    closedir(dir);
    return found;
}

int GetFileSize(const char* path, int64_t* size) {
    if (path == nullptr || size == nullptr) {
        return -1;
    }
    struct stat st;
    if (stat(path, &st) != 0) {
        return -2;
    }
    *size = static_cast<int64_t>(st.st_size);
    return 0;
}

int CheckDir(const char* dirPath, XDirEntryCheck check, void* user) {
    return CheckEntries(dirPath, check, user, true);
}

int CheckDirIsFail(const char* dirPath, XDirEntryCheck check, void* user) {
    return CheckEntries(dirPath, check, user, false);
}

int CharToHex(const char* hexText, unsigned char* out, int outSize) {
    if (hexText == nullptr || out == nullptr || outSize < 0) {
        return -1;
    }
    int n = 0;
    for (const char* p = hexText; *p != '\0' && n < outSize; p += 2) {
        int low = p[1] != '\0' ? HexValue(p[1]) : 0;
        out[n++] = static_cast<unsigned char>((HexValue(p[0]) << 4) | low);
        if (p[1] == '\0') {
            break;
        }
    }
    return n;
}
