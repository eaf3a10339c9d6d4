// The board calls that no file in the sandbox can stand in for: the ioctls
// on /dev/hardware, /dev/uart_switch, /dev/rtc0 and the key input device,
// settimeofday, and the file-system test of the Media partition.
//
// The device build makes the real call. The host build appends one line per
// call to the board log (default "/sim/board.log" inside the sandbox; the
// environment variable VESK_BOARD_LOG names another file for unit tests)
// and answers as the board would. Everything else the programs do is the
// real call on the real path.
//
// Arguments, as the board's drivers take them:
//   /dev/hardware     VESK_BOARD_HW_REQUEST(nr) (write, group 0x17, 8-byte
//                     argument); arg points to the int value.
//                     nr 3 aiming laser, 9 rangefinder serial power,
//                     10 rangefinder laser power; 1 on, 0 off.
//   /dev/uart_switch  VESK_BOARD_UART_SWITCH = _IOW('u', 1, int); arg is the
//                     routing value itself, cast to a pointer.
//   /dev/rtc0         RTC_SET_TIME; arg points to a struct rtc_time.
//   /dev/input/eventN EVIOCSREP (arg points to unsigned int[2]: delay and
//                     period in ms) and EVIOCGBIT(ev, len) (arg points to a
//                     bitmap of len bytes; the result is the bytes filled).
//                     The board's key device reports key codes 1 to 8.
//
// Board log format (host build). One line per call, written with a single
// O_APPEND write so that several processes can share the file. Fields are
// "key=value", separated by one blank; no value contains a blank, because
// blanks, backslashes and non-printing bytes in paths and arguments are
// written as \xHH (two lower-case hex digits). Every line starts with
//   t=<seconds>.<microseconds>  CLOCK_MONOTONIC at the call (6 decimals)
//   pid=<n>                     the caller's process id, as the sandbox sees it
//   call=<name>                 ioctl, settimeofday, fstatfs, tool or boot
// and goes on, per call:
//   call=ioctl node=<path> req=0x<8 hex> dir=<none|W|R|RW> type=0x<2 hex>
//              nr=<dec> size=<dec> <argument fields> rc=<dec> errno=<dec>
//     argument fields, by node and request:
//       /dev/hardware, group 0x17:   value=<int read through the pointer>
//       /dev/uart_switch 'u' 1:      value=<the argument as an int>
//       /dev/rtc0 RTC_SET_TIME:      sec= min= hour= mday= mon= year= wday=
//                                    yday= isdst= (the struct rtc_time fields)
//       key device EVIOCSREP:        delay=<ms> period=<ms>
//       key device EVIOCGBIT:        ev=<event type> len=<bytes>
//       anything else:               arg=0x<hex> (the argument, not followed)
//     A null argument where a pointer is expected is logged as value=null
//     (or fields=null) and answered with EFAULT.
//   call=settimeofday sec=<dec> usec=<dec> rc=<dec> errno=<dec>
//     (tv=null in place of sec and usec for a null time)
//   call=fstatfs node=<path> f_type=0x<hex> media=<0|1> rc=<dec> errno=<dec>
//     (f_type as answered; media=1 when the file lies on the Media mount)
//   call=tool name=<tool> arg=<argument> ...   (a stand-in board tool run
//     inside the sandbox: one arg= field per argument, in order)
//   call=config name=<tool> file=<path> <key>=<value> ... (the settings a
//     stand-in daemon, hostapd or udhcpd, read from its configuration file
//     at start: one field per line of the file, in order; a line that is
//     no key=value is given as line=<text>)
//   call=boot   (the sandbox has started the board: a fresh boot, so every
//     power the log switched on before is off again; the log of a sandbox
//     folder booted again holds one such line per boot)
// rc is the call's result and errno the error it set (0 on success). For
// example, the rangefinder laser switched on reads
//   t=12.345678 pid=7 call=ioctl node=/dev/hardware req=0x4008170a dir=W
//   type=0x17 nr=10 size=8 value=1 rc=0 errno=0         (one line)
//
// VESK_BOARD_ROOT (host build, unit tests only) names a folder that stands
// for "/": a node below it is taken and logged as the path inside it, and
// the Media mount is <root>/usrdata/media.
#pragma once

#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/time.h>

#define VESK_BOARD_HW_GROUP 0x17
#define VESK_BOARD_HW_REQUEST(nr) _IOC(_IOC_WRITE, VESK_BOARD_HW_GROUP, (nr), 8)
#define VESK_BOARD_HW_LASER_SWITCH 3
#define VESK_BOARD_HW_LRF_SERIAL_POWER 9
#define VESK_BOARD_HW_LRF_LASER_POWER 10
#define VESK_BOARD_UART_SWITCH _IOW('u', 1, int)
/* File-system magic the Media partition reports on the board (FAT). */
#define VESK_BOARD_FAT_MAGIC 0x4D44

/* ioctl(fd, request, arg) on a board device node. */
int vesk_board_ioctl(int fd, unsigned long request, void *arg);

/* settimeofday(tv, NULL). */
int vesk_board_settimeofday(const struct timeval *tv);

/* fstatfs(fd, buf); the host build reports the sandbox's Media mount as the
 * FAT file system it is on the board. */
int vesk_board_fstatfs(int fd, struct statfs *buf);

#ifdef VESK_BOARD_HOST
/* Host build only, for the sandbox's stand-in tools: appends the line
 * "t=... pid=... call=<call> <fields>" to the board log. errno is kept. */
void vesk_board_log_line(const char *call, const char *fields);
/* Host build only: copies text into out (always terminated), blanks,
 * backslashes and non-printing bytes as \xHH; returns the length written. */
size_t vesk_board_log_escape(char *out, size_t size, const char *text);
#endif
