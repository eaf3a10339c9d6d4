// A stand-in for the logging library in unit tests: every record is kept in
// memory so that a test can look for the exact line a module logged.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

struct log_capture_line {
    int level;
    std::string tag;
    std::string text; /* for IPC traces: the frame in hex, " result=N" */
};

void log_capture_clear(void);
std::vector<log_capture_line> log_capture_lines(void);
/* Lines under tag (any tag when null) whose text contains needle. */
size_t log_capture_count(const char *tag, const char *needle);
