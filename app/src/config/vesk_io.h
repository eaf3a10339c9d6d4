// Durable-write primitives. A file replaced with vesk_io_atomic_replace is
// at every instant either the old or the new version on disk: the new bytes
// go to a temporary file beside it, are fsynced, renamed over the target and
// the directory is fsynced. All return 0 or a negative errno.
#pragma once

#include <stddef.h>
#include <stdio.h>
#include <sys/types.h>

/* tag names the write in checkpoints and the count file. */
int vesk_io_atomic_replace(const char *tag, const char *path, const void *data, size_t length, mode_t mode);
int vesk_io_fsync_dir_of(const char *path);
int vesk_io_fsync_dir(const char *dir);
int vesk_io_write_all(int fd, const void *data, size_t length);
int vesk_io_read_exact(int fd, void *buffer, size_t length);
/* The whole file in a new buffer (free it) with a zero byte after the data. */
int vesk_io_read_file(const char *path, char **out_data, size_t *out_length);
int vesk_io_copy_file(const char *tag, const char *from, const char *to, mode_t mode);
/* Runs write(f, arg) into a memory stream and hands back what it wrote in
 * a new buffer (free it). -EINVAL for null outputs, -errno when the stream
 * cannot be opened, flushed or closed, -EIO on a stream error or when
 * nothing was written. */
int vesk_io_to_memory(void (*write)(FILE *f, const void *arg), const void *arg, char **out_text, size_t *out_length);
/* Removes temporary files "<path>.tmp-<pid>-<tid>" a killed writer left
 * beside path; returns how many were removed. */
int vesk_io_sweep_temps(const char *path);
/* 1 when name is text + ".tmp-" + digits + "-" + digits, else 0. */
int vesk_io_is_temp_of(const char *name, const char *text);
