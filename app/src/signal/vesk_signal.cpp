#include "vesk_signal.h"

int quit = 0;
volatile sig_atomic_t vesk_exit_requested = 0;

void vesk_signal_handler(int sig)
{
    (void)sig;
    vesk_exit_requested = 1;
}

void signal_init(void)
{
    signal(SIGINT, vesk_signal_handler);
    signal(SIGTERM, vesk_signal_handler);
}

int vesk_signal_consume_exit(void)
{
    /* Two signals before the coordinator polls are one request. */
    return __atomic_exchange_n(&vesk_exit_requested, 0, __ATOMIC_SEQ_CST) != 0;
}

int is_signal_exit(void) { return __atomic_load_n(&quit, __ATOMIC_SEQ_CST); }
