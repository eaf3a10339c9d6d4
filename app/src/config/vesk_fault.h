// Test switches of the persistence service, read from the environment at
// the moment a point is reached. With none of the variables set every call
// here does nothing. Tests use them to fail one file operation, or to kill,
// pause, delay and count the service at named points.
#pragma once

/* True exactly once per arming: for the VESK_PERSIST_FAULT_HITS-th call
 * whose operation equals VESK_PERSIST_FAULT_OP. */
bool vesk_fault_should_fail(const char *operation);
/* VESK_PERSIST_FAULT_ERRNO, default EIO. */
int vesk_fault_errno(void);

/* At VESK_PERSIST_TEST_KILL_AT: creates the ready file, never returns. */
void vesk_test_checkpoint(const char *name);
/* At VESK_PERSIST_TEST_PAUSE_AT: creates the ready file and waits for the
 * resume file. */
void vesk_test_pause_point(const char *name);
/* At VESK_PERSIST_TEST_DELAY_AT: sleeps VESK_PERSIST_TEST_DELAY_MS. */
void vesk_test_delay_point(const char *name);
/* Appends tag to VESK_PERSIST_TEST_COUNT_FILE. */
void vesk_test_count(const char *tag);
