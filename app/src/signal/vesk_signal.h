// Signals never stop sightd by themselves: the handler only notes the
// request, and the lifecycle coordinator turns it into an orderly shutdown
// that ends by setting the quit flag.
#pragma once

#include <signal.h>

/* 1 once the lifecycle coordinator has decided that the process ends. */
extern int quit;
/* Set by the signal handler; consumed by the lifecycle coordinator. */
extern volatile sig_atomic_t vesk_exit_requested;

/* Installs vesk_signal_handler for SIGINT and SIGTERM. */
void signal_init(void);
void vesk_signal_handler(int sig);
/* 1 (and clears the request) when a signal arrived since the last call. */
int vesk_signal_consume_exit(void);
/* The quit flag, polled by worker loops. */
int is_signal_exit(void);
