// What the fuzz targets share: their own System V queues, a scratch folder,
// whole-file writes, queue drains, and a reader that hands out the input's
// bytes a piece at a time.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "vesk_frame.h"

/* User, IPC and mount namespaces of the target's own, with a fresh /tmp:
 * the queues it opens (keys 12345 and 54321) and the files the programs
 * write there ("/tmp/apps.version") are not the host's. Call before any
 * thread starts; when the kernel refuses, the host's are used. */
void fuzz_sandbox(void);
/* Standard output to /dev/null: the routers print a line per frame. */
void fuzz_quiet_stdout(void);
/* A fresh folder under /tmp, made on the first call and removed at exit. */
const std::string &fuzz_scratch(void);
/* Writes size bytes to path, replacing it. */
void fuzz_write_file(const std::string &path, const uint8_t *data, size_t size);
/* A thread that reads and drops every record on the queue of this key, so
 * that senders never meet a full queue. */
void fuzz_drain_queue(int key);

/* The input read front to back; past its end every read gives 0. */
struct fuzz_reader;

/* A frame from the input, into out (512 bytes): after a mode byte with bit
 * 0 set, the rest as it stands; otherwise the rest as object, sub, item,
 * flag and payload of a frame this builds and seals, so that most inputs
 * pass the frame check and reach the handlers. Its size. */
size_t fuzz_frame(fuzz_reader &in, uint8_t *out);

struct fuzz_reader {
    const uint8_t *data;
    size_t size;
    size_t at;
    fuzz_reader(const uint8_t *d, size_t n) : data(d), size(n), at(0) {}
    size_t left() const { return size - at; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    /* Up to n bytes from here on; *got says how many. */
    const uint8_t *take(size_t n, size_t *got)
    {
        *got = n < left() ? n : left();
        const uint8_t *p = data + at;
        at += *got;
        return p;
    }
};
