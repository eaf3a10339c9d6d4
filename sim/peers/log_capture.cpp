#include "log_capture.h"

#include <stdio.h>
#include <string.h>

#include <mutex>

#include "vesk_log.h"

static std::mutex s_lock;
static std::vector<log_capture_line> s_lines;

static void keep(int level, const char *tag, std::string text)
{
    std::lock_guard<std::mutex> g(s_lock);
    s_lines.push_back({level, tag ? tag : "", std::move(text)});
}

void log_capture_clear(void)
{
    std::lock_guard<std::mutex> g(s_lock);
    s_lines.clear();
}

std::vector<log_capture_line> log_capture_lines(void)
{
    std::lock_guard<std::mutex> g(s_lock);
    return s_lines;
}

size_t log_capture_count(const char *tag, const char *needle)
{
    std::lock_guard<std::mutex> g(s_lock);
    size_t n = 0;
    for (const auto &l : s_lines) {
        if (tag != nullptr && l.tag != tag) continue;
        if (needle == nullptr || l.text.find(needle) != std::string::npos) n++;
    }
    return n;
}

void vesk_log_vprintf(vesk_log_level level, const char *tag, const char *format, va_list ap)
{
    char buf[1024];
    vsnprintf(buf, sizeof(buf), format, ap);
    keep(level, tag, buf);
}

void vesk_log_write(vesk_log_level level, const char *tag, const char *text, size_t length)
{
    keep(level, tag, std::string(text, length));
}

static std::string hex_of(const void *bytes, size_t length, int result)
{
    std::string s;
    const unsigned char *p = (const unsigned char *)bytes;
    char b[4];
    for (size_t i = 0; p != nullptr && i < length && i < 512; i++) {
        snprintf(b, sizeof(b), "%02X", p[i]);
        s += b;
    }
    return s + " result=" + std::to_string(result);
}

void vesk_log_hex(const char *tag, const void *bytes, size_t length, int result)
{
    keep(VESK_LOG_DETAIL, tag, hex_of(bytes, length, result));
}

void vesk_log_ipc(const char *tag, const void *frame, size_t length, int result)
{
    keep(VESK_LOG_DETAIL, tag, hex_of(frame, length, result));
}
