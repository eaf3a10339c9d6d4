// A small ZIP writer for the tests, the benchmark and the fuzz seeds: it
// writes what an honest archiver writes and, on request, what a broken or
// hostile one does (names with NUL or '\\', any method, the encryption
// flag, Unix file types, DOS attributes, stated sizes and checksums that
// lie). Members are streamed, so a large package costs no memory.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

struct update_zip_entry {
    std::string name;    /* may hold any byte */
    std::string data;    /* the member's bytes (stored or deflated as method says) */
    uint16_t method = 8; /* 0 stored, 8 deflated; others are written as stored bytes */
    uint16_t flags = 0;  /* bit 0: encrypted */
    uint32_t external = 0100644u << 16;
    int64_t stated_size = -1; /* uncompressed size in the directory; -1: the true one */
    uint32_t crc_xor = 0;     /* flips bits of the stated checksum */
};

/* Fills buf with up to n bytes of a member; returns how many (0: done). */
typedef std::function<size_t(char *buf, size_t n)> update_zip_source;

class update_zip_writer {
public:
    explicit update_zip_writer(FILE *out) : out_(out) {}
    /* One member from a source; false on a write error. */
    bool add(const update_zip_entry &entry, const update_zip_source &source);
    bool add(const update_zip_entry &entry);
    /* The central directory and its end record. */
    bool finish();

private:
    struct central {
        update_zip_entry e;
        uint32_t crc;
        uint64_t csize, usize, offset;
    };
    FILE *out_;
    std::vector<central> dir_;
};

/* The whole archive as bytes. */
std::string update_zip_bytes(const std::vector<update_zip_entry> &entries);
/* Writes it to path; false on error. */
bool update_zip_file(const std::string &path, const std::vector<update_zip_entry> &entries);

/* Member names of the three forms, by the package's table. */
extern const std::vector<std::string> update_zip_legacy;
extern const std::vector<std::string> update_zip_single;
extern const std::vector<std::string> update_zip_dual;
/* Entries "<top>/<name>" with a little content each, plus "<top>/" first
 * when with_folder. */
std::vector<update_zip_entry> update_zip_package(const std::string &top, const std::vector<std::string> &names,
                                                 bool with_folder = true);
