// Serial lines: open, configure with termios, move bytes. Every line of the
// scope runs 115200 8N1 without flow control; the descriptor belongs to the
// caller. Results are a count or 0, and -1 on failure.
#pragma once

#include <stddef.h>
#include <sys/types.h>

/* Read/write, no controlling terminal, non-blocking; -1 after a perror. */
int uart_open(const char *path);
/* Baud, flow (0 none, 1 hardware, 2 extended bits), data bits 5..8,
 * parity 'N'/'E'/'O' (either case), stop bits 1..2; 0 or -1. */
int uart_set(int fd, int baud, int flow, int bits, char parity, int stop);
/* The attribute changes of uart_set alone, on attributes already read;
 * 0, or -1 after naming the refused argument (opt may then be half done). */
struct termios;
int uart_set_attrs(struct termios *opt, int baud, int flow, int bits, char parity, int stop);
/* Writes all bytes; the count, or -1 (pending output is then flushed). */
int uart_write(int fd, const void *bytes, size_t length);
/* Waits up to 1 s, then reads once; the count, -ENOENT after a quiet
 * second, -1 on failure. */
int uart_read(int fd, void *buffer, size_t length);
int uart_close(int fd);

/* Writes until all is out, retrying on EINTR; 0 for a length of 0, -1 when
 * a write returns 0 or fails. */
ssize_t safe_write(int fd, const void *bytes, size_t length);
/* One read; an interrupted read counts as 0 bytes. */
ssize_t safe_read(int fd, void *buffer, size_t length);
