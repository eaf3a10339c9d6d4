// The profile database. The column tables below are the schema as stored;
// verification, reading and the commit statement all walk them.
#include "vesk_device_db.h"

#include <errno.h>
#include <math.h>
#include <sqlite3.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "vesk_log.h"
#include "vesk_profile_fields.h"

typedef struct {
    int index;
    const char *column_name;
    const char *column_type;
    char is_notnull;
    char is_primary_key;
} TABLE_COLUMN_INFO;

static const TABLE_COLUMN_INFO zero_point_columns[] = {
    {0, "id", "int", 1, 1},       {1, "device_id", "int", 1, 0}, {2, "index_show", "int", 1, 0},
    {3, "distance", "int", 1, 0}, {4, "x", "int", 1, 0},         {5, "y", "int", 1, 0},
    {6, "remark", "text", 0, 0},  {7, "remark2", "text", 0, 0},  {8, "remark3", "text", 0, 0},
    {0, NULL, NULL, 0, 0},
};

/* The "ballistics" columns after "id" and "device_id" are the profile's
 * fields, each at the position its row of vesk_profile_fields names. */
typedef struct {
    const vesk_profile_field *field[VESK_PF_DB_COLUMNS]; /* null for "id" and "device_id" */
    const char *name[VESK_PF_DB_COLUMNS];
} ballistics_columns;

static constexpr ballistics_columns make_ballistics_columns()
{
    ballistics_columns c{};
    c.name[0] = "id";
    c.name[1] = "device_id";
    for (const vesk_profile_field &f : vesk_profile_fields) {
        if (f.db_column < 0) continue;
        c.field[f.db_column] = &f;
        c.name[f.db_column] = f.db_name;
    }
    return c;
}

static constexpr ballistics_columns ballistics_table = make_ballistics_columns();
static const char *const *const ballistics_names = ballistics_table.name;
#define BALLISTICS_COLUMNS VESK_PF_DB_COLUMNS
#define BALLISTICS_LAST_NOT_NULL 34
#define ZERO_POINT_COLUMNS 9
#define ZERO_POINT_LAST_NOT_NULL 6

static __sql_db g_db;
__sql_db *vesk_device_db_handle; /* null when closed */
static char g_reopen_path[1024];

/* ---- wrapper ---------------------------------------------------------- */

int vesk_device_db_errno(int code)
{
    switch (code & 0xFF) {
    case SQLITE_NOMEM:
        return -ENOMEM;
    case SQLITE_FULL:
        return -ENOSPC;
    case SQLITE_READONLY:
        return -EROFS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_ABORT:
        return -EINVAL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return -EBUSY;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return -EACCES;
    default:
        return -EIO;
    }
}

static int last_errno(const __sql_db *h) { return vesk_device_db_errno(sqlite3_extended_errcode(h->db)); }

static void sql_error(const __sql_db *h, const char *func, int line, const char *sql, const char *msg)
{
    printf("%s exec sql: %s\n", h->filename, sql);
    fprintf(stderr, "\033[1;32m%s.%d: %s, SQL error: %s\033[0m\n", func, line, __FILE__, msg ? msg : "");
}

/* How long a statement waits for another connection's lock. */
#define VESK_DB_BUSY_MS 1000

int sql_db_open(__sql_db *h, const char *path, int flags)
{
    memset(h, 0, sizeof *h);
    snprintf(h->filename, sizeof h->filename, "%s", path);
    if (sqlite3_open_v2(path, &h->db, flags, NULL) != SQLITE_OK) {
        printf("Can't open database: %s\n", h->db ? sqlite3_errmsg(h->db) : "out of memory");
        sqlite3_close(h->db);
        h->db = NULL;
        return -1;
    }
    sqlite3_extended_result_codes(h->db, 1);
    /* A reader of the file (a copy over USB, a tool) holds its lock for a
     * moment: wait for it rather than fail the store's write. */
    sqlite3_busy_timeout(h->db, VESK_DB_BUSY_MS);
    return 0;
}

int sql_db_close(__sql_db *h)
{
    if (h->db == NULL) return 0;
    if (sqlite3_close(h->db) != SQLITE_OK) {
        fprintf(stderr, "sql_db_close: %s: %s\n", h->filename, sqlite3_errmsg(h->db));
        return -1;
    }
    h->db = NULL;
    h->transactions = 0;
    return 0;
}

int sql_db_exec(__sql_db *h, const char *sql, int (*row)(void *, int, char **, char **), void *arg)
{
    char *msg = NULL;
    if (sqlite3_exec(h->db, sql, row, arg, &msg) != SQLITE_OK) {
        sql_error(h, __func__, __LINE__, sql, msg ? msg : sqlite3_errmsg(h->db));
        sqlite3_free(msg);
        return -1;
    }
    return 0;
}

int sql_db_get_table(__sql_db *h, const char *sql, char ***result, int *rows, int *columns)
{
    char *msg = NULL;
    if (sqlite3_get_table(h->db, sql, result, rows, columns, &msg) != SQLITE_OK) {
        sql_error(h, __func__, __LINE__, sql, msg ? msg : sqlite3_errmsg(h->db));
        sqlite3_free(msg);
        *result = NULL;
        return -1;
    }
    return 0;
}

int sql_db_begin(__sql_db *h)
{
    if (h->transactions == 0 && sql_db_exec(h, "BEGIN IMMEDIATE", NULL, NULL) != 0) return -1;
    h->transactions++;
    return 0;
}

int sql_db_commit(__sql_db *h)
{
    if (h->transactions == 0) return 0;
    if (h->transactions == 1 && sql_db_exec(h, "COMMIT", NULL, NULL) != 0) return -1;
    h->transactions--;
    return 0;
}

int sql_db_rollback(__sql_db *h)
{
    h->transactions = 0;
    return sql_db_exec(h, "ROLLBACK", NULL, NULL);
}

static int exec_fmt(__sql_db *h, char *sql)
{
    if (sql == NULL) return -1;
    int rc = sql_db_exec(h, sql, NULL, NULL);
    sqlite3_free(sql);
    return rc;
}

int sql_db_attach(__sql_db *h, const char *path, const char *schema)
{
    return exec_fmt(h, sqlite3_mprintf("ATTACH DATABASE '%q' AS %w", path, schema));
}

int sql_db_detach(__sql_db *h, const char *schema)
{
    return exec_fmt(h, sqlite3_mprintf("DETACH DATABASE %w", schema));
}

int sql_db_table_exists(__sql_db *h, const char *name)
{
    char *sql = sqlite3_mprintf("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='%q'", name);
    if (sql == NULL) return -1;
    char **t = NULL;
    int rows = 0, cols = 0;
    int rc = sql_db_get_table(h, sql, &t, &rows, &cols);
    sqlite3_free(sql);
    if (rc != 0) return -1;
    int n = rows == 1 && cols == 1 && t[1] ? atoi(t[1]) : -1;
    sqlite3_free_table(t);
    return n;
}

static int backup(sqlite3 *to, sqlite3 *from)
{
    sqlite3_backup *b = sqlite3_backup_init(to, "main", from, "main");
    if (b == NULL) return -1;
    sqlite3_backup_step(b, -1);
    return sqlite3_backup_finish(b) == SQLITE_OK ? 0 : -1;
}

int sql_db_load(__sql_db *h, const char *from_path)
{
    sqlite3 *from = NULL;
    if (sqlite3_open_v2(from_path, &from, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        sqlite3_close(from);
        return -1;
    }
    sqlite3_busy_timeout(from, VESK_DB_BUSY_MS);
    int rc = backup(h->db, from);
    sqlite3_close(from);
    return rc;
}

int sql_db_save(__sql_db *h, const char *to_path)
{
    sqlite3 *to = NULL;
    if (sqlite3_open_v2(to_path, &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK) {
        sqlite3_close(to);
        return -1;
    }
    sqlite3_busy_timeout(to, VESK_DB_BUSY_MS);
    int rc = backup(to, h->db);
    sqlite3_close(to);
    return rc;
}

/* ---- verification ----------------------------------------------------- */

/* Runs sql (freed here) and hands back its table; maps a failed statement. */
static int table_of(__sql_db *h, char *sql, char ***t, int *rows, int *cols)
{
    if (sql == NULL) return -ENOMEM;
    int rc = sql_db_get_table(h, sql, t, rows, cols) == 0 ? 0 : last_errno(h);
    sqlite3_free(sql);
    return rc;
}

/* One value of a pragma, compared as text. */
static int expect_single(__sql_db *h, const char *sql, const char *want, int mismatch)
{
    char **t = NULL;
    int rows = 0, cols = 0;
    int rc = table_of(h, sqlite3_mprintf("%s", sql), &t, &rows, &cols);
    if (rc < 0) return rc;
    if (rows != 1 || cols != 1 || t[1] == NULL || strcmp(t[1], want) != 0) rc = mismatch;
    sqlite3_free_table(t);
    return rc;
}

static int set_pragmas(__sql_db *h)
{
    int rc = expect_single(h, "PRAGMA journal_mode=DELETE;", "delete", -EIO);
    if (rc < 0) return rc;
    if (sql_db_exec(h, "PRAGMA synchronous=EXTRA;", NULL, NULL) != 0) return last_errno(h);
    return expect_single(h, "PRAGMA synchronous;", "3", -EIO);
}

/* A count query (sql freed here) that must give want; -EINVAL otherwise,
 * -EIO when it does not give exactly one value. */
static int expect_count(__sql_db *h, char *sql, long long want)
{
    char **t = NULL;
    int rows = 0, cols = 0;
    int rc = table_of(h, sql, &t, &rows, &cols);
    if (rc < 0) return rc;
    if (rows != 1 || cols != 1 || t[1] == NULL)
        rc = -EIO;
    else if (atoll(t[1]) != want)
        rc = -EINVAL;
    sqlite3_free_table(t);
    return rc;
}

static int check_columns(__sql_db *h, const char *table, const char *const *names, int count)
{
    char **t = NULL;
    int rows = 0, cols = 0;
    int rc = table_of(h, sqlite3_mprintf("PRAGMA table_info(%s);", table), &t, &rows, &cols);
    if (rc < 0) return rc;
    if (cols != 6 || rows < count) rc = -EINVAL;
    for (int i = 0; rc == 0 && i < count; i++) {
        const char *name = t[(i + 1) * cols + 1]; /* cid, name, type, notnull, dflt, pk */
        if (name == NULL || strcmp(name, names[i]) != 0) rc = -EINVAL;
    }
    sqlite3_free_table(t);
    return rc;
}

static const char *zero_point_names[ZERO_POINT_COLUMNS];

static void init_names(void)
{
    for (int i = 0; i < ZERO_POINT_COLUMNS; i++) zero_point_names[i] = zero_point_columns[i].column_name;
}

static int verify(__sql_db *h)
{
    init_names();
    int rc = expect_single(h, "PRAGMA integrity_check;", "ok", -EINVAL);
    if (rc < 0) return rc;
    static const char *const tables[] = {"device", "ballistics", "zero_point"};
    for (const char *name : tables) {
        rc = expect_count(
            h, sqlite3_mprintf("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '%q';", name), 1);
        if (rc < 0) return rc;
    }
    rc = check_columns(h, "ballistics", ballistics_names, BALLISTICS_COLUMNS);
    if (rc == 0) rc = check_columns(h, "zero_point", zero_point_names, ZERO_POINT_COLUMNS);
    for (int i = 1; rc == 0 && i <= BALLISTICS_LAST_NOT_NULL; i++)
        rc = expect_count(
            h, sqlite3_mprintf("SELECT count(*) FROM \"%w\" WHERE \"%w\" IS NULL;", "ballistics", ballistics_names[i]),
            0);
    for (int i = 1; rc == 0 && i <= ZERO_POINT_LAST_NOT_NULL; i++)
        rc = expect_count(
            h, sqlite3_mprintf("SELECT count(*) FROM \"%w\" WHERE \"%w\" IS NULL;", "zero_point", zero_point_names[i]),
            0);
    if (rc == 0)
        rc = expect_count(h,
                          sqlite3_mprintf("SELECT count(*) FROM ballistics WHERE typeof(device_id) <> 'integer' OR "
                                          "device_id NOT BETWEEN 1 AND %d;",
                                          VESK_PROFILE_COUNT),
                          0);
    if (rc == 0) rc = expect_count(h, sqlite3_mprintf("SELECT count(*) FROM ballistics;"), VESK_PROFILE_COUNT);
    if (rc == 0)
        rc = expect_count(h, sqlite3_mprintf("SELECT count(DISTINCT device_id) FROM ballistics;"), VESK_PROFILE_COUNT);
    if (rc == 0)
        rc = expect_count(h,
                          sqlite3_mprintf("SELECT count(*) FROM zero_point WHERE typeof(device_id) <> 'integer' OR "
                                          "typeof(index_show) <> 'integer' OR device_id NOT BETWEEN 1 AND %d OR "
                                          "index_show < 0;",
                                          VESK_PROFILE_COUNT),
                          0);
    if (rc == 0)
        rc = expect_count(h,
                          sqlite3_mprintf("SELECT count(*) FROM (SELECT 1 FROM zero_point GROUP BY device_id, "
                                          "index_show HAVING count(*) > 1);"),
                          0);
    for (int d = 1; rc == 0 && d <= VESK_PROFILE_COUNT; d++)
        rc = expect_count(h,
                          sqlite3_mprintf("SELECT count(*) FROM zero_point WHERE device_id = %d AND index_show BETWEEN "
                                          "0 AND %d;",
                                          d, VESK_ZERO_COUNT - 1),
                          VESK_ZERO_COUNT);
    return rc;
}

/* ---- reading ---------------------------------------------------------- */

/* A whole decimal number: optional '-', digits, nothing after. */
static int parse_whole(const char *text, long *out)
{
    if (text == NULL) return 0;
    const char *p = text + (*text == '-');
    if (*p == '\0') return 0;
    for (const char *c = p; *c; c++)
        if (*c < '0' || *c > '9') return 0;
    *out = strtol(text, NULL, 10);
    return 1;
}

static int row_names_match(int n, char **names, const char *const *want, int count)
{
    if (n < count) return 0;
    for (int i = 0; i < count; i++)
        if (names[i] == NULL || strcmp(names[i], want[i]) != 0) return 0;
    return 1;
}

static int not_null(char **values, int last)
{
    for (int i = 1; i <= last; i++)
        if (values[i] == NULL) return 0;
    return 1;
}

/* A stored "nan" or "inf" must not reach the solver: it reads as 0. */
static double finite_or_zero(const char *text)
{
    double v = text ? atof(text) : 0.0;
    return isfinite(v) ? v : 0.0;
}

typedef struct {
    vesk_persist_profiles *out;
    int bad;
} read_ctx;

static int zero_point_row(void *arg, int n, char **values, char **names)
{
    read_ctx *ctx = (read_ctx *)arg;
    long device = 0, slot = 0;
    if (!row_names_match(n, names, zero_point_names, ZERO_POINT_COLUMNS) ||
        !not_null(values, ZERO_POINT_LAST_NOT_NULL) || !parse_whole(values[1], &device) || device < 1 ||
        device > VESK_PROFILE_COUNT || !parse_whole(values[2], &slot) || slot < 0) {
        ctx->bad = 1;
        return 1;
    }
    if (slot >= VESK_ZERO_COUNT) return 0;
    Qel_Cursor_Zero *z = &ctx->out->vesk_cursor.group[device - 1].zero[slot];
    z->u16IrCursorDistance = (short)atoi(values[3]);
    z->s8IrCursorCurrentX = (short)atoi(values[4]);
    z->s8IrCursorCurrentY = (short)atoi(values[5]);
    z->u16IrCursorDistanceYD = (short)(values[6] ? atoi(values[6]) : 0);
    z->flIrCursorOffsetX = (float)finite_or_zero(values[7]);
    z->flIrCursorOffsetY = (float)finite_or_zero(values[8]);
    return 0;
}

static void store_column(Info_ballistics *b, const vesk_profile_field *f, const char *text)
{
    switch (f->type) {
    case VESK_PF_U8:
    case VESK_PF_S16:
    case VESK_PF_I32:
        vesk_pf_set_int(b, f, text ? atoi(text) : 0);
        break;
    case VESK_PF_ENUM:
        vesk_pf_set_int(b, f, text && atoi(text) != 0 ? 1 : 0); /* RIGHT / MRAD */
        break;
    case VESK_PF_F32:
    case VESK_PF_F64:
        vesk_pf_set_real(b, f, finite_or_zero(text));
        break;
    }
}

static int ballistics_row(void *arg, int n, char **values, char **names)
{
    read_ctx *ctx = (read_ctx *)arg;
    long device = 0;
    if (!row_names_match(n, names, ballistics_names, BALLISTICS_COLUMNS) ||
        !not_null(values, BALLISTICS_LAST_NOT_NULL) || !parse_whole(values[1], &device) || device < 1 ||
        device > VESK_PROFILE_COUNT) {
        ctx->bad = 1;
        return 1;
    }
    Info_ballistics *b = &ctx->out->vesk_ballistics.ballistics[device - 1];
    memset(b, 0, sizeof *b);
    for (int i = 2; i < BALLISTICS_COLUMNS; i++) store_column(b, ballistics_table.field[i], values[i]);
    return 0;
}

static int read_rows(__sql_db *h, const char *sql, int (*row)(void *, int, char **, char **), read_ctx *ctx)
{
    if (sql_db_exec(h, sql, row, ctx) == 0) return 0;
    return ctx->bad ? -EINVAL : last_errno(h);
}

static int read_profiles(__sql_db *h, const Qel_DevStatus *status, vesk_persist_profiles *out)
{
    memset(out, 0, sizeof *out);
    int group = status->reticleParam[VESK_RETICLE_GROUP_INDEX];
    if (group < 0 || group >= VESK_PROFILE_COUNT) {
        printf("vesk_device_db_open: reticle group index %d out of range [0,%d); using group 0\n", group,
               VESK_PROFILE_COUNT);
        group = 0;
    }
    out->vesk_cursor.u8CurrentGroup = (uint8_t)group;
    read_ctx ctx = {out, 0};
    int rc = read_rows(h, "SELECT * FROM zero_point;", zero_point_row, &ctx);
    if (rc == 0) rc = read_rows(h, "SELECT * FROM ballistics;", ballistics_row, &ctx);
    out->vesk_ballistics.u8CurrentBallistics = out->vesk_cursor.u8CurrentGroup;
    return rc;
}

/* ---- public ----------------------------------------------------------- */

static int exists(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 ? 0 : -errno;
}

static int open_checked(__sql_db *h, const char *path, int flags)
{
    int rc = exists(path);
    if (rc < 0) return rc;
    if (sql_db_open(h, path, flags) != 0) return -EIO;
    return 0;
}

int vesk_device_db_open(const char *path, const Qel_DevStatus *status, vesk_persist_profiles *out)
{
    if (path == NULL || status == NULL || out == NULL) return -EINVAL;
    if (vesk_device_db_handle != NULL) return -EBUSY;
    int rc = open_checked(&g_db, path, SQLITE_OPEN_READWRITE);
    if (rc < 0) return rc;
    rc = set_pragmas(&g_db);
    if (rc == 0) rc = verify(&g_db);
    if (rc == 0) rc = read_profiles(&g_db, status, out);
    if (rc < 0) {
        sql_db_close(&g_db);
        return rc;
    }
    vesk_device_db_handle = &g_db;
    g_reopen_path[0] = '\0';
    return 0;
}

int vesk_device_db_validate(const char *path)
{
    if (path == NULL) return -EINVAL;
    __sql_db h;
    int rc = open_checked(&h, path, SQLITE_OPEN_READONLY);
    if (rc < 0) return rc;
    rc = verify(&h);
    if (sql_db_close(&h) != 0) {
        sqlite3_close_v2(h.db);
        if (rc == 0) rc = -EIO;
    }
    return rc;
}

int vesk_device_db_close(void)
{
    g_reopen_path[0] = '\0';
    if (vesk_device_db_handle == NULL) return 0;
    if (sql_db_close(vesk_device_db_handle) != 0) return -EIO;
    vesk_device_db_handle = NULL;
    return 0;
}

static int reopen(void)
{
    if (getenv("VESK_DEVICE_DB_TEST_FAIL_REOPEN_PRAGMAS") != NULL) return -EIO;
    if (open_checked(&g_db, g_reopen_path, SQLITE_OPEN_READWRITE) < 0) return -EIO;
    if (set_pragmas(&g_db) < 0) {
        sql_db_close(&g_db);
        return -EIO;
    }
    vesk_device_db_handle = &g_db;
    g_reopen_path[0] = '\0';
    return 0;
}

static int update_profile(__sql_db *h, const Info_ballistics *b, int device)
{
    sqlite3_str *s = sqlite3_str_new(h->db);
    sqlite3_str_appendall(s, "UPDATE ballistics SET ");
    for (int i = 2; i < BALLISTICS_COLUMNS; i++) {
        const vesk_profile_field *f = ballistics_table.field[i];
        if (i > 2) sqlite3_str_appendall(s, ", ");
        if (f->type == VESK_PF_F32 || f->type == VESK_PF_F64)
            sqlite3_str_appendf(s, "%s = %f", f->db_name, vesk_pf_get(b, f));
        else
            sqlite3_str_appendf(s, "%s = %d", f->db_name, (int)vesk_pf_get_int(b, f));
    }
    sqlite3_str_appendf(s, " where device_id = %d;", device);
    char *sql = sqlite3_str_finish(s);
    if (sql == NULL) return -ENOMEM;
    int rc = sql_db_exec(h, sql, NULL, NULL);
    sqlite3_free(sql);
    if (rc != 0) {
        printf("vesk_device_db_commit: UPDATE ballistics device %d failed: %s\n", device, sqlite3_errmsg(h->db));
        return -EIO;
    }
    return 0;
}

static int update_zero(__sql_db *h, const Qel_Cursor_Zero *z, int device, int slot)
{
    char *sql =
        sqlite3_mprintf("UPDATE zero_point SET distance = %d, remark = %d, x = %d, y = %d, remark2 = %f, "
                        "remark3 = %f where device_id = %d AND index_show = %d;",
                        z->u16IrCursorDistance, z->u16IrCursorDistanceYD, z->s8IrCursorCurrentX, z->s8IrCursorCurrentY,
                        (double)z->flIrCursorOffsetX, (double)z->flIrCursorOffsetY, device, slot);
    if (sql == NULL) return -ENOMEM;
    int rc = sql_db_exec(h, sql, NULL, NULL);
    sqlite3_free(sql);
    if (rc != 0) {
        printf("vesk_device_db_commit: UPDATE zero_point device %d index %d failed: %s\n", device, slot,
               sqlite3_errmsg(h->db));
        return -EIO;
    }
    return 0;
}

int vesk_device_db_commit(const vesk_persist_profiles *snapshot)
{
    if (snapshot == NULL) return -EINVAL;
    if (vesk_device_db_handle == NULL && (g_reopen_path[0] == '\0' || reopen() < 0)) return -ENOTCONN;
    __sql_db *h = vesk_device_db_handle;
    if (h->db == NULL) return -ENOTCONN;
    if (sql_db_begin(h) != 0) {
        printf("vesk_device_db_commit: BEGIN IMMEDIATE failed: %s\n", sqlite3_errmsg(h->db));
        return -EIO;
    }
    int rc = 0;
    for (int p = 0; rc == 0 && p < VESK_PROFILE_COUNT; p++)
        rc = update_profile(h, &snapshot->vesk_ballistics.ballistics[p], p + 1);
    for (int g = 0; rc == 0 && g < VESK_PROFILE_COUNT; g++)
        for (int z = 0; rc == 0 && z < VESK_ZERO_COUNT; z++)
            rc = update_zero(h, &snapshot->vesk_cursor.group[g].zero[z], g + 1, z);
    if (rc == 0 && sql_db_commit(h) != 0) {
        printf("vesk_device_db_commit: COMMIT failed: %s\n", sqlite3_errmsg(h->db));
        rc = -EIO;
    }
    if (rc == 0) return 0;
    if (sql_db_rollback(h) == 0) return rc;
    printf("vesk_device_db_commit: ROLLBACK failed after error %d: %s\n", rc, sqlite3_errmsg(h->db));
    snprintf(g_reopen_path, sizeof g_reopen_path, "%s", h->filename);
    if (sql_db_close(h) != 0) sqlite3_close_v2(h->db);
    h->db = NULL;
    vesk_device_db_handle = NULL;
    if (reopen() == 0) return rc;
    printf("vesk_device_db_commit: reopen after failed ROLLBACK also failed; will retry on the next commit "
           "attempt\n");
    return -EIO;
}
