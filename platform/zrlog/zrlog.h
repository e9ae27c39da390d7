// Stand-in for the host's logging and local-datagram library (libZRLog.so).
#ifndef ZRLOG_H
#define ZRLOG_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Levels used by the system: 2 marks a failure, 5 an information line.
#define ZR_LOG_ERR 2
#define ZR_LOG_INFO 5

// Writes one line "time level module file:line message" to standard error when
// level <= ZRLOG_LEVEL (environment, default 5), and hands the formatted message
// to the capture hook, if one is set, whatever the level.
void zr_log_output(const char* module, const char* file, int line, int level, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// Capture hook for tests. The message is the formatted text without time or
// newline; it is valid only during the call. Pass NULL to remove the hook.
typedef void (*zr_log_hook_t)(void* user, const char* module, const char* file, int line, int level,
                              const char* message);
void zr_log_set_hook(zr_log_hook_t hook, void* user);

// Local datagrams. A destination name N is the Unix datagram socket address in
// the abstract namespace "\0zr_local_udp/N" (no file is created; the address
// disappears with the socket). Names are 1 to ZR_LOCAL_UDP_NAME_MAX bytes.
#define ZR_LOCAL_UDP_NAME_MAX 90

// Opens a datagram socket (close-on-exec). With a non-NULL name it is bound to
// that name so that it receives what is sent to it. Returns the descriptor, or
// -1 (errno set) on failure, e.g. when the name is taken or too long.
int zr_local_udp_open(const char* bind_name);

// Sends one datagram of len bytes to the socket bound to name. Returns the
// number of bytes sent, or -1 (errno set). Never blocks.
int zr_local_udp_send(int socket, const char* name, const void* buf, size_t len);

// Receives one datagram into buf, waiting at most timeout_ms (negative: no
// limit). Returns its full length (may exceed len: the datagram was cut), 0 on
// time-out, -1 on error.
int zr_local_udp_recv(int socket, void* buf, size_t len, int timeout_ms);

#ifdef __cplusplus
}
#endif

// One macro per module; ZR_LOG_FILE is set per source file by the build
// (repository-relative path without extension).
#ifndef ZR_LOG_FILE
#define ZR_LOG_FILE __FILE__
#endif
#define ZR_LOG_AT(module, level, ...) zr_log_output(module, ZR_LOG_FILE, __LINE__, level, __VA_ARGS__)
#ifdef __cplusplus
// The plug-in's lines carry the host's and the camera's texts: escaped (zrlog_text.h).
#include "zrlog_text.h"
#define ROOT_LOG(level, ...) ZR_LOG_TEXT_AT("root", level, __VA_ARGS__)
#else
#define ROOT_LOG(level, ...) ZR_LOG_AT("root", level, __VA_ARGS__)
#endif

#endif
