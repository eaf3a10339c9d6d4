// The board calls that no file in the sandbox can stand in for: the ioctls
// on /dev/hardware, /dev/uart_switch, /dev/rtc0 and the key input device,
// settimeofday, and the file-system test of the Media partition.
//
// The device build makes the real call. The host build appends one line per
// call to the board log (default "/sim/board.log" inside the sandbox; the
// environment variable VESK_BOARD_LOG names another file for unit tests)
// and answers as the board would. Everything else the programs do is the
// real call on the real path.
#pragma once

#include <sys/statfs.h>
#include <sys/time.h>

/* ioctl(fd, request, arg) on a board device node. */
int vesk_board_ioctl(int fd, unsigned long request, void *arg);

/* settimeofday(tv, NULL). */
int vesk_board_settimeofday(const struct timeval *tv);

/* fstatfs(fd, buf); the host build reports the sandbox's Media mount as the
 * FAT file system it is on the board. */
int vesk_board_fstatfs(int fd, struct statfs *buf);
