// The profile database: six ballistic profiles and twelve zero points in
// SQLite. A database is accepted only when its tables already have the
// expected shape and data; it is never created here. Only the persistence
// worker and the boot sequence use the process-wide handle.
// All calls return 0 or a negative errno.
#pragma once

#include "vesk_persist.h"

typedef struct sqlite3 sqlite3;

/* Thin wrapper over one connection. */
typedef struct {
    char filename[1024];
    sqlite3 *db;
    int transactions; /* nesting depth of sql_db_begin */
} __sql_db;

/* Opens path (no create), sets the pragmas, verifies and reads it into
 * out (current group from status->reticleParam[5]). Keeps the handle. */
int vesk_device_db_open(const char *path, const Qel_DevStatus *status, vesk_persist_profiles *out);
/* Existence, open, full verification and close; reads nothing. */
int vesk_device_db_validate(const char *path);
/* Writes the six profiles and twelve zero points in one transaction. */
int vesk_device_db_commit(const vesk_persist_profiles *snapshot);
int vesk_device_db_close(void);

/* SQLite result code to a negative errno. */
int vesk_device_db_errno(int sqlite_code);

/* The wrapper. open/close/exec/get_table/begin/commit/rollback return 0 or
 * -1 (errors are printed); the code of the last failure is in the
 * connection (sqlite3_extended_errcode). */
int sql_db_open(__sql_db *h, const char *path, int flags);
int sql_db_close(__sql_db *h);
int sql_db_exec(__sql_db *h, const char *sql, int (*row)(void *, int, char **, char **), void *arg);
int sql_db_get_table(__sql_db *h, const char *sql, char ***result, int *rows, int *columns);
int sql_db_begin(__sql_db *h);
int sql_db_commit(__sql_db *h);
int sql_db_rollback(__sql_db *h);
int sql_db_attach(__sql_db *h, const char *path, const char *schema);
int sql_db_detach(__sql_db *h, const char *schema);
/* The number of tables named name (0 or 1), or -1. */
int sql_db_table_exists(__sql_db *h, const char *name);
/* Whole-database copy through the online backup of "main". */
int sql_db_load(__sql_db *h, const char *from_path);
int sql_db_save(__sql_db *h, const char *to_path);
