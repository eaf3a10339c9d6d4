#include "vesk_debug.h"

#include <errno.h>
#include <pthread.h>

/* The epoch is read on every DETAIL call from any thread, so it is a plain
 * atomic word; only switching takes the mutex, to hand out epochs in order. */
static uint64_t vesk_debug_state;
static uint64_t vesk_debug_epoch_counter;
static int vesk_debug_initialized;
static pthread_mutex_t vesk_debug_lock = PTHREAD_MUTEX_INITIALIZER;

int vesk_debug_init(void)
{
    pthread_mutex_lock(&vesk_debug_lock);
    __atomic_store_n(&vesk_debug_state, 0, __ATOMIC_RELEASE);
    vesk_debug_epoch_counter = 0;
    __atomic_store_n(&vesk_debug_initialized, 1, __ATOMIC_RELEASE);
    pthread_mutex_unlock(&vesk_debug_lock);
    return 0;
}

int vesk_debug_set(int on)
{
    if (on != 0 && on != 1) return -EINVAL;
    if (!__atomic_load_n(&vesk_debug_initialized, __ATOMIC_ACQUIRE)) return -ENODEV;
    pthread_mutex_lock(&vesk_debug_lock);
    uint64_t now = __atomic_load_n(&vesk_debug_state, __ATOMIC_ACQUIRE);
    if (on && now == 0) {
        vesk_debug_epoch_counter++;
        if (vesk_debug_epoch_counter == 0) vesk_debug_epoch_counter = 1;
        __atomic_store_n(&vesk_debug_state, vesk_debug_epoch_counter, __ATOMIC_RELEASE);
    } else if (!on && now != 0) {
        __atomic_store_n(&vesk_debug_state, 0, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&vesk_debug_lock);
    return 0;
}

uint64_t vesk_debug_epoch(void) { return __atomic_load_n(&vesk_debug_state, __ATOMIC_ACQUIRE); }

int vesk_debug_enabled(void) { return vesk_debug_epoch() != 0; }

uint64_t vesk_debug_first_epoch(void) { return 1; }
