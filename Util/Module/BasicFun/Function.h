// Command, child-process and clock helpers for the device's applications.
// C++ linkage (SystemGetUSCount is overloaded).
#ifndef FUNCTION_H
#define FUNCTION_H

#include <stdint.h>
#include <sys/time.h>
#include <sys/types.h>
#include <time.h>

#include "BasicFunExport.h"

// Packed calendar time of a recording, low bits first.
typedef struct tagRECTIME {
    uint32_t second : 6;
    uint32_t minute : 6;
    uint32_t hour : 5;
    uint32_t day : 5;    // 1 to 31
    uint32_t month : 4;  // 1 to 12
    uint32_t year : 6;   // year - 2000
} RECTIME;

// State of PrintTimeInterval; start it zeroed.
typedef struct TimeInterval {
    uint32_t nCount;
    uint64_t nPrevMs;
    uint64_t nCurMs;
} TimeInterval;

// --- commands and child processes ---

// Runs cmd through popen and discards its output: 0, or -1 when it cannot be
// started or reaped. The command's own exit status is not reported.
BASICFUN_API int ExecCommand(const char* cmd);

// Joins cmd and the following texts (up to a NULL) with single spaces and runs
// the line through "/bin/sh -c", waiting for it. The line holds at most
// EXEC_CMD_LINE_MAX bytes with its terminator: a longer one is refused (-1,
// nothing runs). Returns the exit status, -1 when the child was killed or
// could not be started or reaped. SIGCHLD is at its default disposition
// (process-wide) while the command runs, so that no handler reaps it first.
#define EXEC_CMD_LINE_MAX 256
BASICFUN_API int ExecCommand2(const char* cmd, ...) __attribute__((sentinel));

// Starts program (looked up in PATH) with the following texts (up to a NULL,
// at most EXEC_BG_MAX_ARGS) as its arguments, without a shell, descriptors
// 0 to 255 closed and a zero file-mode mask, and does not wait: the child's
// pid, -1 when no child was started (too many arguments, fork failure). A
// program that cannot be executed still leaves a child (exit status 127).
#define EXEC_BG_MAX_ARGS 254
BASICFUN_API pid_t ExecCommandBackground(const char* program, ...) __attribute__((sentinel));

// Pid of the first process listed by "ps -o pid,comm,args" whose command is
// programName and, when argText is given and not empty, whose arguments
// contain argText. -1 when none matches, 0 when ps cannot run.
BASICFUN_API int XGetProgressIDByProgramName(const char* programName, const char* argText);

// Polls the child until it has exited or was killed, then waits 1000 ms more:
// 1, or 0 when it cannot be waited for (e.g. not a child of this process).
BASICFUN_API int XWaitProgressQuit(pid_t pid);

// Splits text in place at runs of any of the separator characters into at
// most maxPieces pieces (empty pieces are not made); the last allowed piece
// keeps the rest of the text, trailing separators cut. Their count.
BASICFUN_API int split(char* text, const char* separators, char** pieces, int maxPieces);

// Sets the soft and hard core-file limits to mib MiB (unlimited when
// negative): 0, or -1 when refused.
BASICFUN_API int debug_set_coredump_size(int mib);
// 512 MiB and the core pattern "/tmp/mmc0/core-%e-%s": 0, or -1.
BASICFUN_API int debug_set_coredump_default();

// Logs one line per ADTS frame header found in data.
BASICFUN_API void dumpADTS(const unsigned char* data, int len);

// --- clocks and time ---

// Monotonic milliseconds; 0 on failure. Ext also writes the value as
// "hh:mm:ss" into elapsed (cut to size - 1 bytes) when elapsed is given.
BASICFUN_API uint64_t SystemGetMSCount();
BASICFUN_API uint64_t SystemGetMSCountExt(char* elapsed, int size);
// Monotonic microseconds; 0 on failure.
BASICFUN_API uint64_t SystemGetUSCount();
// Wall-clock microseconds (gettimeofday), also stored in *now when given.
BASICFUN_API uint64_t SystemGetUSCount(struct timeval* now);
// Wall-clock seconds; 0 on failure.
BASICFUN_API time_t SystemGetSecondCount();
// Millisecond sleep through usleep.
BASICFUN_API void XSleep(unsigned int ms);
// Sleeps through select, resumed after interruptions.
BASICFUN_API void SleepS(unsigned int seconds);
BASICFUN_API void SleepMs(unsigned int ms);
// Logs and converts a local calendar time (month 1 to 12); the clock is left
// alone. Always 0.
BASICFUN_API int XSetSystemTime(int year, int month, int day, int hour, int minute, int second);
// True for space, carriage return, tab, backspace and newline.
BASICFUN_API int BlankChar(char c);
// A fresh random UUID text (36 characters) into uuid when it fits size: 1, else 0.
BASICFUN_API int GetUUID(char* uuid, int size);
// seconds broken down as UTC into *out: 0, -1 outside the years 2000 to 2063.
BASICFUN_API int Second2RECTIME(time_t seconds, RECTIME* out);
// The packed time read as local time (mktime); -1 for a field out of range
// (month 0 or 13 to 15, day 0, hour 24 or more, minute or second 60 or more).
BASICFUN_API time_t RECTIME2Second(const RECTIME* recTime);
// Current time as a packed time (UTC): 0 or -1.
BASICFUN_API int GetSysDateTime2(RECTIME* out);
// Sets the system clock to recTime plus hourOffset hours: 0 or -1.
BASICFUN_API int SetSysDateTime2(const RECTIME* recTime, int hourOffset);
// Monotonic milliseconds modulo 2^31.
BASICFUN_API uint32_t GetCurTimeMilliSec();
// Counts the call and returns the milliseconds since the previous one.
BASICFUN_API int64_t PrintTimeInterval(TimeInterval* interval);

#endif
