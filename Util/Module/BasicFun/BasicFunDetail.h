// Procedures shared by FileUtils, Function and zr_misc; not exported.
#ifndef BASICFUN_DETAIL_H
#define BASICFUN_DETAIL_H

#include <sys/types.h>

#include <cstddef>

// Hidden: only the functions declared with BASICFUN_API leave the plug-in library.
#pragma GCC visibility push(hidden)
namespace basicfun_detail {

// Writes dir + name (dir may lack its trailing "/") into out; false, leaving
// out empty, when the result does not fit: paths are refused, never cut.
bool JoinPath(char* out, size_t size, const char* dir, const char* name);

// Copies text into out when it fits with its terminator; false otherwise.
bool CopyIfFits(char* out, size_t size, const char* text);

// Repeats op(done) (a read or write of the remaining count - done bytes,
// returning like read/write) until count bytes moved. A read that reports end
// of file stops early. Returns the bytes moved, or op's error when none moved.
template <typename Op>
ssize_t TransferAll(Op op, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = op(done);
        if (n < 0) {
            return done > 0 ? static_cast<ssize_t>(done) : n;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// The soft open-file limit, 1024 when unlimited.
int OpenFileLimit();

struct SpawnSpec {
    const char* path = nullptr;      // program, looked up in PATH when searchPath
    char* const* argv = nullptr;     // argument vector ending with a null entry
    bool searchPath = false;         // execvp instead of execv
    int stdoutFd = -1;               // duplicated onto descriptor 1 when >= 0
    int closeFrom = 3, closeTo = 3;  // the child closes [closeFrom, closeTo)
    bool clearUmask = false;
};

// Starts the program described by `launch` in a vfork child that only calls async-signal-safe functions.
// A failed exec is reported back through a close-on-exec pipe, so that the
// parent, not the child, logs it: *execError is 0 when the program started,
// else the exec errno (the child has then exited with 127). Returns the child
// pid, or -1 with errno set when no child was created.
pid_t SpawnChild(const SpawnSpec& launch, int* execError);

// Starts "/bin/sh -c line" through SpawnChild, closing the descriptors from 3
// up to the open-file limit; stdoutFd >= 0 becomes the child's output.
pid_t SpawnShell(const char* line, int stdoutFd, int* execError);

// The value of one hexadecimal digit, -1 for any other character.
int HexDigitValue(char c);

// waitpid retried while interrupted; its result.
pid_t WaitChild(pid_t pid, int* status, int options);

}  // namespace basicfun_detail
#pragma GCC visibility pop

#endif
