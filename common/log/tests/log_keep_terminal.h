// The logger takes the process's standard output and error for its records;
// a test or fuzz program that starts it in its own process must still
// report on the terminal, so it takes both back.
#pragma once

#include <stdio.h>
#include <unistd.h>

#include "vesk_log.h"

/* vesk_log_start, then standard output and error (descriptors and streams)
 * given back as they were: vesk_log_start's result. */
inline int vesk_log_start_keeping_terminal(vesk_log_role role, const vesk_log_config *config)
{
    FILE *out = stdout, *err = stderr;
    const int out_fd = dup(STDOUT_FILENO), err_fd = dup(STDERR_FILENO);
    const int rc = vesk_log_start(role, config);
    fflush(stdout);
    stdout = out;
    stderr = err;
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    close(out_fd);
    close(err_fd);
    return rc;
}
