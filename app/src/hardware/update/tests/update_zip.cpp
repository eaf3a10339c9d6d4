#include "update_zip.h"

#include <string.h>

#include <zlib.h>

static void put16(std::string &s, uint32_t v)
{
    s.push_back((char)(v & 0xff));
    s.push_back((char)((v >> 8) & 0xff));
}

static void put32(std::string &s, uint32_t v)
{
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

static bool write_str(FILE *f, const std::string &s) { return fwrite(s.data(), 1, s.size(), f) == s.size(); }

bool update_zip_writer::add(const update_zip_entry &e, const update_zip_source &source)
{
    central c{e, 0, 0, 0, (uint64_t)ftello(out_)};
    std::string head;
    put32(head, 0x04034b50);
    put16(head, 20);
    put16(head, e.flags);
    put16(head, e.method);
    put32(head, 0); /* time and date */
    put32(head, 0); /* crc, sizes: patched below */
    put32(head, 0);
    put32(head, 0);
    put16(head, (uint32_t)e.name.size());
    put16(head, 0);
    head += e.name;
    if (!write_str(out_, head)) return false;

    z_stream z;
    memset(&z, 0, sizeof z);
    bool deflated = e.method == 8;
    if (deflated && deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    static char in[65536], out[65536];
    uLong crc = crc32(0L, Z_NULL, 0);
    for (bool last = false; !last;) {
        size_t n = source(in, sizeof in);
        last = n == 0;
        crc = crc32(crc, (const Bytef *)in, (uInt)n);
        c.usize += n;
        if (!deflated) {
            if (fwrite(in, 1, n, out_) != n) return false;
            c.csize += n;
            continue;
        }
        z.next_in = (Bytef *)in;
        z.avail_in = (uInt)n;
        do {
            z.next_out = (Bytef *)out;
            z.avail_out = sizeof out;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            size_t have = sizeof out - z.avail_out;
            if (fwrite(out, 1, have, out_) != have) return false;
            c.csize += have;
        } while (z.avail_out == 0);
    }
    if (deflated) deflateEnd(&z);
    c.crc = (uint32_t)crc ^ e.crc_xor;
    if (e.stated_size >= 0) c.usize = (uint64_t)e.stated_size;
    off_t end = ftello(out_);
    std::string sizes;
    put32(sizes, c.crc);
    put32(sizes, (uint32_t)c.csize);
    put32(sizes, (uint32_t)c.usize);
    if (fseeko(out_, (off_t)c.offset + 14, SEEK_SET) != 0 || !write_str(out_, sizes) ||
        fseeko(out_, end, SEEK_SET) != 0)
        return false;
    dir_.push_back(c);
    return true;
}

bool update_zip_writer::add(const update_zip_entry &e)
{
    size_t at = 0;
    return add(e, [&](char *buf, size_t n) {
        size_t k = e.data.size() - at < n ? e.data.size() - at : n;
        memcpy(buf, e.data.data() + at, k);
        at += k;
        return k;
    });
}

bool update_zip_writer::finish()
{
    uint64_t start = (uint64_t)ftello(out_);
    std::string cd;
    for (const central &c : dir_) {
        put32(cd, 0x02014b50);
        put16(cd, (3 << 8) | 20); /* made by Unix */
        put16(cd, 20);
        put16(cd, c.e.flags);
        put16(cd, c.e.method);
        put32(cd, 0);
        put32(cd, c.crc);
        put32(cd, (uint32_t)c.csize);
        put32(cd, (uint32_t)c.usize);
        put16(cd, (uint32_t)c.e.name.size());
        put16(cd, 0);
        put16(cd, 0);
        put16(cd, 0);
        put16(cd, 0);
        put32(cd, c.e.external);
        put32(cd, (uint32_t)c.offset);
        cd += c.e.name;
    }
    uint32_t dir_size = (uint32_t)cd.size();
    put32(cd, 0x06054b50);
    put16(cd, 0);
    put16(cd, 0);
    put16(cd, (uint32_t)dir_.size());
    put16(cd, (uint32_t)dir_.size());
    put32(cd, dir_size);
    put32(cd, (uint32_t)start);
    put16(cd, 0);
    return write_str(out_, cd) && fflush(out_) == 0;
}

std::string update_zip_bytes(const std::vector<update_zip_entry> &entries)
{
    FILE *f = tmpfile();
    if (f == NULL) return "";
    update_zip_writer w(f);
    for (const update_zip_entry &e : entries) w.add(e);
    w.finish();
    std::string out;
    rewind(f);
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    fclose(f);
    return out;
}

bool update_zip_file(const std::string &path, const std::vector<update_zip_entry> &entries)
{
    std::string bytes = update_zip_bytes(entries);
    FILE *f = fopen(path.c_str(), "wb");
    if (f == NULL) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

const std::vector<std::string> update_zip_legacy = {"update.sh", "sightd", "release.tar"};
const std::vector<std::string> update_zip_single = {"update.sh",
                                                    "sightd",
                                                    "libCustBallisticCalculator.so",
                                                    "release.tar",
                                                    "VESK_VERSION.txt",
                                                    "VESK_RELEASE.sha256",
                                                    "VESK_INSTALL.meta",
                                                    "VESK_PAYLOAD.sha256"};
const std::vector<std::string> update_zip_dual = {"update.sh",
                                                  "sightd",
                                                  "libCustBallisticCalculator.so",
                                                  "VESK_INSTALL.meta",
                                                  "VESK_PAYLOAD.sha256",
                                                  "release-640.tar",
                                                  "release-1280.tar",
                                                  "VESK_VERSION-640.txt",
                                                  "VESK_VERSION-1280.txt",
                                                  "VESK_RELEASE-640.sha256",
                                                  "VESK_RELEASE-1280.sha256"};

std::vector<update_zip_entry> update_zip_package(const std::string &top, const std::vector<std::string> &names,
                                                 bool with_folder)
{
    std::vector<update_zip_entry> out;
    if (with_folder) {
        update_zip_entry d;
        d.name = top + "/";
        d.method = 0;
        d.external = (040755u << 16) | 0x10;
        out.push_back(d);
    }
    for (const std::string &n : names) {
        update_zip_entry e;
        e.name = top + "/" + n;
        e.data = "contents of " + n + "\n" + std::string(n.size() * 37, (char)('a' + n.size() % 26));
        out.push_back(e);
    }
    return out;
}
