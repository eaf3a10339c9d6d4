// Test switches, read from the environment each time a point is reached so
// that a test can change them between operations of one process.
#include "vesk_fault.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t g_fault_mutex = PTHREAD_MUTEX_INITIALIZER;
static int64_t g_fault_hits_left;
static char g_fault_key[160];

static const char *env_or_empty(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

static int env_matches(const char *name, const char *point)
{
    const char *v = getenv(name);
    return v != NULL && point != NULL && strcmp(v, point) == 0;
}

bool vesk_fault_should_fail(const char *operation)
{
    if (!env_matches("VESK_PERSIST_FAULT_OP", operation)) return false;
    int saved = errno;
    const char *hits = env_or_empty("VESK_PERSIST_FAULT_HITS");
    char key[160];
    snprintf(key, sizeof key, "%s:%s:%s", operation, hits, env_or_empty("VESK_PERSIST_FAULT_NONCE"));

    pthread_mutex_lock(&g_fault_mutex);
    if (strcmp(key, g_fault_key) != 0) {
        snprintf(g_fault_key, sizeof g_fault_key, "%s", key);
        long long n = strtoll(hits, NULL, 10);
        g_fault_hits_left = n < 1 ? 1 : n;
    }
    bool fail = false;
    if (g_fault_hits_left > 0) fail = --g_fault_hits_left == 0;
    pthread_mutex_unlock(&g_fault_mutex);
    errno = saved;
    return fail;
}

int vesk_fault_errno(void)
{
    const char *v = getenv("VESK_PERSIST_FAULT_ERRNO");
    if (v == NULL || *v == '\0') return EIO;
    int e = atoi(v);
    return e > 0 ? e : EIO;
}

static void touch_ready_file(void)
{
    const char *path = getenv("VESK_PERSIST_TEST_READY_FILE");
    if (path == NULL || *path == '\0') return;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
}

void vesk_test_checkpoint(const char *name)
{
    if (!env_matches("VESK_PERSIST_TEST_KILL_AT", name)) return;
    touch_ready_file();
    /* Stop here for good: the test kills the process, as a power cut would. */
    for (;;) pause();
}

void vesk_test_pause_point(const char *name)
{
    if (!env_matches("VESK_PERSIST_TEST_PAUSE_AT", name)) return;
    int saved = errno;
    touch_ready_file();
    const char *resume = getenv("VESK_PERSIST_TEST_RESUME_FILE");
    if (resume != NULL && *resume != '\0')
        while (access(resume, F_OK) != 0) sleep_ms(1);
    errno = saved;
}

void vesk_test_delay_point(const char *name)
{
    if (!env_matches("VESK_PERSIST_TEST_DELAY_AT", name)) return;
    long ms = atol(env_or_empty("VESK_PERSIST_TEST_DELAY_MS"));
    if (ms <= 0) return;
    int saved = errno;
    sleep_ms(ms);
    errno = saved;
}

void vesk_test_count(const char *tag)
{
    const char *path = getenv("VESK_PERSIST_TEST_COUNT_FILE");
    if (path == NULL || *path == '\0' || tag == NULL) return;
    int saved = errno;
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char line[200];
        int n = snprintf(line, sizeof line, "%s\n", tag);
        if (n > 0 && (size_t)n < sizeof line && write(fd, line, (size_t)n) < 0) {
            /* a lost count line only weakens a test's evidence */
        }
        close(fd);
    }
    errno = saved;
}
