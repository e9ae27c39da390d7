/* Board and system helpers: boot environment, shell commands, memory and
 * flash figures, ARP, base64, and physical-register / GPIO access through
 * /dev/mem. C linkage. Results are 0 on success and -1 on failure unless noted.
 *
 * Register and GPIO calls share a process-wide list of mapped windows and
 * one /dev/mem descriptor without a lock: callers serialise them. */
#ifndef ZR_MISC_H
#define ZR_MISC_H

#include <stdint.h>
#include <sys/types.h>

#include "BasicFunExport.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Size of each MAC text output of zr_ip2mac, terminator included. */
#define ZR_MAC_TEXT_MAX 32

/* Value of key in the boot environment ("/usr/sbin/fw_printenv" output, first
 * 1024 bytes): the characters after the key text up to a CR, LF, space or the
 * end. 0 when found and it fits value with its terminator, else -1. */
BASICFUN_API int zr_env_param_get(const char* key, char* value, int size);

/* Runs cmd through "/bin/sh -c". With wait set: 0 when it exited with status
 * 0, -1 otherwise; without: 0 once started (the child is reaped only if it
 * has already ended). -1 when it cannot be started. */
BASICFUN_API int zr_system_cmd(const char* cmd, int wait);
/* zr_system_cmd("sync", 1). */
BASICFUN_API int zr_sync(void);

/* Sets *value to defaultValue, then to the decimal value of the first 32
 * bytes of the file when it opens (0 then, -1 when it does not). */
BASICFUN_API int _zr_ini_readparam(const char* path, int* value, int defaultValue);

/* Free memory in bytes (MemFree of /proc/meminfo); UINT64_MAX on failure. */
BASICFUN_API uint64_t zr_get_free_mem_bytes(void);
/* Available bytes on "/dev/ubi<volume>_0" as df reports them; UINT64_MAX on failure. */
BASICFUN_API uint64_t zr_get_free_flash_bytes(int volume);

/* 1 when a process whose ps line contains name is running, 0 when none, -1
 * when the check cannot run. name is put into a shell command line: only
 * letters, digits and "._+-" are accepted (-1 otherwise). */
BASICFUN_API int zr_check_process_exist(const char* name);

/* Board type from "/sys/class/gpio/gpio<gpio>/value": 1 ("RX") for value 0,
 * 0 ("TX") otherwise, -1 when it cannot be read. */
BASICFUN_API int zr_get_board_type2(int gpio);
/* 1 when GPIO group 6, argument 1 reads 0, else 0 (also when it cannot be read). */
BASICFUN_API int zr_get_board_type(void);

/* MAC address of an IPv4 address (text of 8 to 15 digits and dots) from
 * /proc/net/arp, upper-cased, into two ZR_MAC_TEXT_MAX-byte outputs: with
 * colons and without. An answer that does not fit is refused (-1). */
BASICFUN_API int zr_ip2mac(const char* ip, char* macWithColons, char* macPlain);

/* One or two hexadecimal digits into *out; -1 ("wrong data") otherwise. */
BASICFUN_API int zr_str2hex(const char* text, unsigned char* out);

/* Read / write until count bytes moved, retrying interrupted calls; a read
 * stops early at end of file. The bytes moved, or -1 when none moved. */
BASICFUN_API ssize_t full_read(int fd, void* buf, size_t count);
BASICFUN_API ssize_t full_write(int fd, const void* buf, size_t count);

/* Standard base64 with "=" fill. With dst NULL the output is allocated
 * (release with free()); otherwise dst must hold dstSize bytes, and an output
 * that does not fit (terminator included) is refused: NULL.
 * Encoding gives a NUL-terminated text of 4 characters per 3 bytes.
 * Decoding stops at "=" or the end, skips white space and control
 * characters, fails (NULL) on any other character outside the alphabet,
 * stores the byte count in *outLen (optional) and adds a terminator. */
BASICFUN_API char* zr_s2base64(const unsigned char* src, int srcLen, char* dst, int dstSize);
BASICFUN_API unsigned char* zr_base642s(const char* src, unsigned char* dst, int dstSize, int* outLen);

/* One 32-bit physical register (address a multiple of 4). */
BASICFUN_API int zr_set_reg(uint32_t address, uint32_t value);
BASICFUN_API int zr_get_reg(uint32_t address, uint32_t* value);

/* GPIO group 0 to 14, bit argument 0 to 8. The group's registers start at
 * 0x11090000 + 0x1000 * group; set makes the bits of the argument outputs in
 * the direction register (offset 0x400) and writes them (all set for a
 * nonzero value, else all clear) to the data register at offset 4 * bit;
 * get makes them inputs and returns that data register's low 8 bits, -1 on
 * failure. */
BASICFUN_API int zr_gpio_set(int group, int bit, int value);
BASICFUN_API int zr_gpio_get(int group, int bit);

/* Device and tool paths the functions above use, replaceable for tests so that
 * they run against files instead of hardware. */
enum zr_device_path {
    ZR_PATH_MEM = 0,     /* "/dev/mem" */
    ZR_PATH_GPIO_SYSFS,  /* "/sys/class/gpio" */
    ZR_PATH_ARP,         /* "/proc/net/arp" */
    ZR_PATH_FW_PRINTENV, /* "/usr/sbin/fw_printenv" */
    ZR_PATH_COUNT
};
/* Test-only. NULL restores the default. -1 for an unknown entry, a path of 256
 * bytes or more or with characters other than letters, digits and "/._+-",
 * or, for ZR_PATH_MEM, while windows are still mapped. Changing ZR_PATH_MEM
 * closes the kept descriptor. */
BASICFUN_API int zr_misc_set_device_path(int which, const char* path);

#ifdef __cplusplus
}
#endif

#endif
