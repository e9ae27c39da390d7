// File and directory helpers for the device's applications.
//
// Paths are NUL-terminated texts. Scratch paths hold XMAX_PATH bytes: a path
// (or a directory plus entry name) that does not fit is refused with the
// function's failure result, never cut. Functions named X... return 1 on
// success and 0 on failure; the others return 0 / -1 unless noted.
#ifndef FILE_UTILS_H
#define FILE_UTILS_H

#include <dirent.h>
#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include "BasicFunExport.h"

#define XMAX_PATH 256

// An open directory search; the path keeps its trailing "/".
typedef struct tagDIR_CTX {
    DIR* dir;
    char path[XMAX_PATH];
} DIR_CTX;

// One directory entry, as lstat64 sees it.
typedef struct tagXFileFindData {
    int bIsDir;                  // the entry is a directory (not a link to one)
    int bNotAccess;              // access(R_OK | W_OK) fails
    int64_t nFileSize;           // st_size
    time_t tModify;              // st_mtime
    time_t tAccess;              // st_atime
    time_t tChange;              // st_ctime
    int64_t nBlockBytes;         // st_blocks * st_blksize
    char szExtName[XMAX_PATH];   // text after the last "." of the name, or ""
    char szFileName[XMAX_PATH];  // entry name
} XFileFindData;

// Entry test for CheckDir / CheckDirIsFail: 0 accepts the entry.
typedef int (*XDirEntryCheck)(const char* dirPath, const char* entryName, void* user);

// Skips leading white space, cuts trailing white space in place; the start.
BASICFUN_API char* trim(char* text);

// Text after the last "." of the name; the empty end of the name when it has
// no "."; NULL for an empty or missing name.
BASICFUN_API const char* GetExtName(const char* fileName);

// Extension of the last path component into ext (cut to extSize - 1 bytes),
// "" when none. 0, or -1 for bad arguments.
BASICFUN_API int GetFileExtName(const char* path, char* ext, int extSize);

BASICFUN_API int XFilePathExists(const char* path);
// Creates every missing directory of the path with mode.
BASICFUN_API int XCreateFullPathDir(const char* path, mode_t mode);
// Total and free bytes of the file system holding path (both 0 on failure).
BASICFUN_API int XGetDiskPartitionSpace(const char* path, uint64_t* totalBytes, uint64_t* freeBytes);
// Removes an empty directory.
BASICFUN_API int XRemoveDirectory(const char* path);
// With removeTree set, removes the directory and everything below it (links
// are removed, never followed); otherwise as XRemoveDirectory(path).
BASICFUN_API int XRemoveDirectory(const char* path, int removeTree);
// Removes the directory levels of the path from the deepest up; 0 at the
// first existing level that cannot be removed.
BASICFUN_API int XRemoveFullPathEmptyDir(const char* path);
BASICFUN_API int XDeleteFile(const char* path);
// rename, or copy and unlink when rename fails (e.g. across file systems).
BASICFUN_API int XRenameFile(const char* src, const char* dst);
// Size (low 32 bits) of the entry itself (links are not followed).
BASICFUN_API int XGetFileSize(const char* path, uint32_t* size);
// Copies src to dst (created or truncated, mode 0666 less the umask).
BASICFUN_API int XCopyFile(const char* src, const char* dst);
// Current directory with a trailing "/" into buf.
BASICFUN_API int XGetCurrentPath(char* buf, int size);

// Reads at most FILE_READ_MAX bytes into a new NUL-terminated buffer that the
// caller releases with free(); *length (optional) gets the bytes read. NULL
// when the file cannot be opened.
#define FILE_READ_MAX 8000
BASICFUN_API char* FileRead(const char* path, int* length = nullptr);

// One read / write, repeated while interrupted.
BASICFUN_API ssize_t SafeRead(int fd, void* buf, size_t count);
BASICFUN_API ssize_t SafeWrite(int fd, const void* buf, size_t count);
// Writes until all bytes are out: the bytes written, or -1 when none were.
BASICFUN_API ssize_t FullWrite(int fd, const void* buf, size_t count);

// Directory iteration over every entry, "." and ".." included. First opens
// the directory and fills data with the first entry: the search handle, or
// NULL (nothing left open). Next: 1 with data filled, 0 at the end. An entry
// that cannot be examined is logged and skipped.
BASICFUN_API DIR_CTX* XFindFirstFile(const char* dirPath, XFileFindData* data);
BASICFUN_API int XFindNextFile(DIR_CTX* ctx, XFileFindData* data);
// Closes and frees the search; with removeDir set also removes the directory.
BASICFUN_API int XCloseFindFile(DIR_CTX* ctx, int removeDir);

BASICFUN_API void SyncFS();
// Creates or truncates an empty file.
BASICFUN_API int MakeFile(const char* path);
// Creates each level of the path with mode 0777 (existing levels are fine).
BASICFUN_API int MakeDir(const char* path);
// Removes every entry of the directory (one level): 0 if it is empty then.
BASICFUN_API int ClearDir(const char* dirPath);
// ClearDir, then removes the directory.
BASICFUN_API int DeleDir(const char* dirPath);
// Removes a file or an empty directory.
BASICFUN_API int DeleFile(const char* path);
BASICFUN_API int ReName(const char* src, const char* dst);

// Reads one byte at a time into buf until a newline or until maxLen bytes;
// the newline (or the maxLen-th byte) becomes the terminator and its index,
// the line length, is returned. At end of file (or on a read error) it
// returns the index of the last byte read, -1 when none, without adding a
// terminator. -1 for bad arguments.
BASICFUN_API int ReadLine(int fd, char* buf, int maxLen);

// Bytes of the file system holding path; UINT64_MAX on failure.
BASICFUN_API uint64_t GetTotalSpace(const char* path);
BASICFUN_API uint64_t GetFreeSpace(const char* path);

// 1 if path (trailing "/" ignored) is a mount point in /proc/mounts, else 0.
BASICFUN_API int isMounted(const char* path);
// 0 if the directory can be opened, else -1.
BASICFUN_API int IsDirExist(const char* dirPath);
// 1 if the directory holds only "." and "..", 0 if more, -1 if it cannot be opened.
BASICFUN_API int isDirEmpty(const char* dirPath);
// 0 if the directory exists or was created (one level, mode 0777), else -1.
BASICFUN_API int EasyMakeDir(const char* dirPath);

// Next entry name of an open directory, "." and ".." skipped, into name (cut
// to size - 1 bytes). The full name length (>= size means it was cut), or -1
// at the end or for bad arguments.
BASICFUN_API int GetFileFromDir(DIR* dir, char* name, int size);
// 1 if the directory has an entry whose name is exactly the first nameLen
// bytes of name, 0 if not, -1 if the directory cannot be opened.
BASICFUN_API int IsFileExistInDir(const char* dirPath, const char* name, int nameLen);

// Size from stat: 0, -1 for no path or output, -2 when stat fails.
BASICFUN_API int GetFileSize(const char* path, int64_t* size);

// Run check on every entry but "." and "..". An empty directory is removed
// and gives -1, as does one that cannot be opened; otherwise 1 when check
// rejects an entry, 0 when all pass. CheckDir stops at the first rejected
// entry; CheckDirIsFail checks all of them.
BASICFUN_API int CheckDir(const char* dirPath, XDirEntryCheck check, void* user);
BASICFUN_API int CheckDirIsFail(const char* dirPath, XDirEntryCheck check, void* user);

// Packs pairs of hexadecimal digits into bytes (a non-digit counts as 0; an
// odd last digit is the high half of a last byte). Stops when outSize bytes
// are written; the number of bytes written, -1 for bad arguments.
BASICFUN_API int CharToHex(const char* hexText, unsigned char* out, int outSize);

#endif
