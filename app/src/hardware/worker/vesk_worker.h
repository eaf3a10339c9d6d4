// A stop signal for the device threads of sightd: their sleeps and waits
// for input end at once when the service stops, and a signal that breaks
// into a wait never ends a thread (the wait goes on for the time left).
#pragma once

typedef struct {
    int wake[2]; /* pipe: a byte in it means stop; -1 when not open */
    volatile int stop;
} vesk_worker;

#define VESK_WORKER_INIT                                                                                               \
    {                                                                                                                  \
        {-1, -1}, 0                                                                                                    \
    }

/* Opens the wake pipe and clears the stop flag. 0, or -1 with errno. */
int vesk_worker_open(vesk_worker *w);
/* Asks every thread that waits on w to stop; safe from any thread. */
void vesk_worker_stop(vesk_worker *w);
/* Closes the pipe once the threads have been joined. */
void vesk_worker_close(vesk_worker *w);
/* 1 once a stop was asked for. */
int vesk_worker_stopping(const vesk_worker *w);
/* Sleeps ms; 1 when the sleep ended because of a stop, else 0. */
int vesk_worker_sleep(vesk_worker *w, int ms);
/* Waits up to ms (a negative ms: with no time-out) for fd to become
 * readable: 1 readable (or hung up), 0 time out, -1 stop, -2 the wait itself
 * failed (errno kept). */
int vesk_worker_wait(vesk_worker *w, int fd, int ms);
