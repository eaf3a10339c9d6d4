#include "qel_compass.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "iniparser_handler.h"
#include "qel_dev_status.h"
#include "vesk_frame.h"
#include "vesk_persist.h"
#include "vesk_worker.h"

#define COMPASS_PI 3.1415926
#define COMPASS_ONE_G 16384.0
#define COMPASS_BUS_TIMEOUT_MS 500
#define COMPASS_CALC_MS 40
#define COMPASS_SAMPLE_MS 10
#define COMPASS_EMPTY_PAUSE_MS 1000
#define COMPASS_EXTREME_START 10000

int16_t accel_raw[3];
int16_t magn_raw[3];
pthread_mutex_t calc_mutex_t = PTHREAD_MUTEX_INITIALIZER;
int16_t AdjustParams[3];
volatile int mag_cali_start, mag_cali_xy, mag_cali_z, mag_cali_clean;

/* One-shot requests from a calibration start: the extremes it collects
 * begin afresh, not from an earlier, abandoned run. */
static volatile int cali_reset_xy, cali_reset_z;

static event_handle *compass_bus;
static vesk_worker compass_worker = VESK_WORKER_INIT;

/* State of the calculation thread only. */
static struct {
    int acc_ring[3][COMPASS_ACC_RING];
    int acc_at;
    int16_t mag_ring[3][COMPASS_MAG_RING];
    int mag_at;
    int16_t mx_min, mx_max, my_min, my_max, mz_min, mz_max;
    int16_t offset_x, offset_y; /* provisional, from the x/y stage */
} calc;

/* ---- sampling threads --------------------------------------------------- */

typedef struct {
    const char *name;          /* "accel", "magn" */
    const char *trigger;       /* "trigger1" */
    const char *device;        /* "iio:device1" */
    const char *const axes[3]; /* scan elements */
    const char *open_failure;
    int16_t *raw;
} compass_sensor;

static const compass_sensor sensors[2] = {
    {"accel",
     "trigger1",
     "iio:device1",
     {"in_accel_x_en", "in_accel_y_en", "in_accel_z_en"},
     "imu_init: open failed",
     accel_raw},
    {"magn",
     "trigger2",
     "iio:device2",
     {"in_magn_x_en", "in_magn_y_en", "in_magn_z_en"},
     "magn_init: open failed",
     magn_raw},
};

void compass_decode_sample(const unsigned char bytes[6], int16_t out[3])
{
    for (int i = 0; i < 3; i++) out[i] = (int16_t)(uint16_t)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

/* The kernel's buffered capture: an hrtimer trigger, the three scan
 * elements, a 32-sample buffer. A board without configfs refuses the
 * trigger; the shell says so and sampling goes on with what the device
 * gives. */
static void sensor_setup(const compass_sensor *s)
{
    char cmd[256];
    const char *base = "/sys/bus/iio/devices";
    snprintf(cmd, sizeof cmd, "mkdir /sys/kernel/config/iio/triggers/hrtimer/%s", s->name);
    (void)!system(cmd);
    snprintf(cmd, sizeof cmd, "echo 6 > %s/%s/sampling_frequency", base, s->trigger);
    (void)!system(cmd);
    snprintf(cmd, sizeof cmd, "echo \"%s\" > %s/%s/trigger/current_trigger", s->name, base, s->device);
    (void)!system(cmd);
    for (const char *axis : s->axes) {
        snprintf(cmd, sizeof cmd, "echo 1 > %s/%s/scan_elements/%s", base, s->device, axis);
        (void)!system(cmd);
    }
    snprintf(cmd, sizeof cmd, "echo 32 > %s/%s/buffer/length", base, s->device);
    (void)!system(cmd);
    snprintf(cmd, sizeof cmd, "echo 1 > %s/%s/buffer/enable", base, s->device);
    (void)!system(cmd);
}

static void *compass_sample_thread(void *arg)
{
    const compass_sensor *s = (const compass_sensor *)arg;
    char path[64];
    prctl(PR_SET_NAME, s->name, 0, 0, 0);
    sensor_setup(s);
    snprintf(path, sizeof path, "/dev/%s", s->device);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        printf("%s\n", s->open_failure);
        return NULL;
    }
    /* A read may end inside a sample; only whole samples are stored. */
    unsigned char sample[6];
    size_t have = 0;
    while (!vesk_worker_stopping(&compass_worker)) {
        /* The buffer is read as a blocking device is: the thread sleeps
         * until a sample comes (or the service stops), with no time-out
         * waking it for nothing. */
        int ready = vesk_worker_wait(&compass_worker, fd, -1);
        if (ready == -1) break;
        if (ready == 0) continue;
        ssize_t n = ready > 0 ? read(fd, sample + have, sizeof sample - have) : -1;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) printf("%s len is 0!\n", s->name);
            if (vesk_worker_sleep(&compass_worker, COMPASS_EMPTY_PAUSE_MS)) break;
            continue;
        }
        have += (size_t)n;
        if (have < sizeof sample) continue;
        have = 0;
        int16_t axes[3];
        compass_decode_sample(sample, axes);
        pthread_mutex_lock(&calc_mutex_t);
        memcpy(s->raw, axes, sizeof axes);
        pthread_mutex_unlock(&calc_mutex_t);
        if (vesk_worker_sleep(&compass_worker, COMPASS_SAMPLE_MS)) break;
    }
    close(fd);
    return NULL;
}

static void *PthreadAccelEvent(void *arg) { return compass_sample_thread(arg); }

static void *PthreadMagnInputEvent(void *arg) { return compass_sample_thread(arg); }

/* ---- reports ------------------------------------------------------------- */

/* The reports of one calculation pass, posted together after it so that
 * the bus thread is woken once per pass rather than once per value. Only
 * the calculation thread collects; a step run anywhere else posts at once. */
typedef struct {
    uint8_t ev[3][COMPASS_REPORT_SIZE];
    int count;
} compass_outbox;
static thread_local compass_outbox *outbox;

static void compass_post(const compass_outbox *box)
{
    event_payload batch[3];
    for (int i = 0; i < box->count; i++) batch[i] = {box->ev[i], COMPASS_REPORT_SIZE};
    if (compass_bus != NULL && box->count > 0)
        event_broadcast_send_all(compass_bus, 1, batch, box->count, COMPASS_BUS_TIMEOUT_MS);
}

static void compass_report(int item, int sign, int whole, int tenths)
{
    compass_outbox single = {};
    compass_outbox *box = outbox != NULL && outbox->count < 3 ? outbox : &single;
    const uint8_t ev[COMPASS_REPORT_SIZE] = {
        6, 0, (uint8_t)item, (uint8_t)sign, (uint8_t)(whole & 0xFF), (uint8_t)((whole >> 8) & 0xFF), (uint8_t)tenths};
    memcpy(box->ev[box->count++], ev, sizeof ev);
    if (box == &single) compass_post(box);
}

/* Whole degrees and tenths, rounded to the nearest tenth. */
static int tenths_of(float degrees) { return (int)((fabsf(degrees) + 0.05f) * 10); }

/* ---- inclinometer ---------------------------------------------------------- */

int AdFilter_Acce(const int ring[COMPASS_ACC_RING])
{
    int sum = 0, lo = ring[0], hi = ring[0];
    for (int i = 0; i < COMPASS_ACC_RING; i++) {
        sum += ring[i];
        if (ring[i] < lo) lo = ring[i];
        if (ring[i] > hi) hi = ring[i];
    }
    return (sum - lo - hi) / 3;
}

static float unit_g(int value)
{
    float a = (float)(value / COMPASS_ONE_G);
    return a > 1 ? 1 : a < -1 ? -1 : a;
}

/* Degrees, never a negative zero: a level scope shows 0.0, not -0.0. */
static float to_degrees(float rad) { return (float)(rad * 180 / COMPASS_PI) + 0.0f; }

void get_accelerometer_calculate_angle(const int16_t acc[3])
{
    const int axes[3] = {acc[0], acc[1], -(int)acc[2]};
    for (int i = 0; i < 3; i++) calc.acc_ring[i][calc.acc_at] = axes[i];
    calc.acc_at = (calc.acc_at + 1) % COMPASS_ACC_RING;
    Acc_x = unit_g(AdFilter_Acce(calc.acc_ring[0]));
    Acc_y = unit_g(AdFilter_Acce(calc.acc_ring[1]));
    Acc_z = unit_g(AdFilter_Acce(calc.acc_ring[2]));

    float rad = -asinf(Acc_x) + 0.0f;
    float pitch = to_degrees(rad);
    if (pitch > 45 || pitch < -45) {
        /* Near the vertical the other two axes say more. */
        float yz = sqrtf(Acc_y * Acc_y + Acc_z * Acc_z);
        rad = acosf(yz > 1 ? 1 : yz);
        if (pitch < 0) rad = -rad;
        pitch = to_degrees(rad);
    }
    AngelDispVal.Rad_pitch = rad;
    const float zero_pitch = qel_dev_status.f_zero_pitch;
    if (zero_pitch != 0) pitch += zero_pitch;
    if (pitch > 90)
        pitch = 180 - pitch;
    else if (pitch < -90)
        pitch = -(pitch + 180);
    AngelDispVal.Pitch_display = pitch;
    if (!isnan(pitch)) {
        const int v = tenths_of(pitch);
        compass_report(COMPASS_ITEM_PITCH, pitch < 0, (v / 10) & 0xFF, v % 10);
    }

    float roll;
    if (Acc_z != 0) {
        AngelDispVal.Rad_roll = atanf(Acc_y / Acc_z);
        roll = to_degrees(AngelDispVal.Rad_roll);
        if (Acc_z < 0) roll += Acc_y > 0 ? 180 : -180;
    } else {
        roll = Acc_y > 0 ? 90 : Acc_y < 0 ? -90 : 0;
        AngelDispVal.Rad_roll = (float)(roll * COMPASS_PI / 180);
    }
    const float zero_slant = qel_dev_status.f_zero_slant;
    if (zero_slant != 0) roll += zero_slant;
    if (roll > 180)
        roll -= 360;
    else if (roll < -180)
        roll += 360;
    AngelDispVal.Roll_display = roll;
    if (!isnan(roll)) {
        const int v = tenths_of(roll);
        compass_report(COMPASS_ITEM_ROLL, roll < 0 && v != 0, (v / 10) & 0xFF, v % 10);
    }
}

/* ---- heading --------------------------------------------------------------- */

static int cmp_i16(const void *a, const void *b) { return *(const int16_t *)a - *(const int16_t *)b; }

int AdFilter2(const int16_t ring[COMPASS_MAG_RING])
{
    int16_t sorted[COMPASS_MAG_RING];
    memcpy(sorted, ring, sizeof sorted);
    qsort(sorted, COMPASS_MAG_RING, sizeof sorted[0], cmp_i16);
    int sum = 0;
    for (int i = 2; i < COMPASS_MAG_RING - 2; i++) sum += sorted[i];
    return sum / 16;
}

static void mirror_calibration(void)
{
    qel_dev_status.s8MagnCaliStart = (char)mag_cali_start;
    qel_dev_status.s8MagnCaliXY = (char)mag_cali_xy;
    qel_dev_status.s8MagnCaliZ = (char)mag_cali_z;
    qel_dev_status.s8MagnCaliClean = (char)mag_cali_clean;
}

static void track(int16_t v, int16_t *lo, int16_t *hi)
{
    if (v < *lo) *lo = v;
    if (v > *hi) *hi = v;
}

static void reset_extremes(int xy, int z)
{
    if (xy) {
        calc.mx_min = calc.my_min = COMPASS_EXTREME_START;
        calc.mx_max = calc.my_max = -COMPASS_EXTREME_START;
    }
    if (z) {
        calc.mz_min = COMPASS_EXTREME_START;
        calc.mz_max = -COMPASS_EXTREME_START;
    }
}

/* The z stage's end: the three offsets become the ones in use and are
 * stored in the settings and the defaults. Refused while a power-state
 * change is prepared; the next step tries again. */
static void finish_calibration(int16_t mz_offset)
{
    if (vesk_persist_edit_begin() != 0) return;
    AdjustParams[0] = calc.offset_x;
    AdjustParams[1] = calc.offset_y;
    AdjustParams[2] = mz_offset;
    for (int i = 0; i < 3; i++) {
        qel_dev_status.compassParam[i + 1] = AdjustParams[i];
        tevi_compass_save(AdjustParams[i], i + 1, 0);
        tevi_compass_save(AdjustParams[i], i + 1, 1);
    }
    vesk_persist_edit_end();
    mag_cali_z = 0;
    mag_cali_start = 0;
    mirror_calibration();
}

void QMC5883L_Get_Mag(const int16_t mag[3])
{
    const int16_t axes[3] = {mag[1], (int16_t)-mag[0], mag[2]};
    for (int i = 0; i < 3; i++) calc.mag_ring[i][calc.mag_at] = axes[i];
    calc.mag_at = (calc.mag_at + 1) % COMPASS_MAG_RING;
    int mx = AdFilter2(calc.mag_ring[0]);
    int my = AdFilter2(calc.mag_ring[1]);
    int mz = AdFilter2(calc.mag_ring[2]);

    if (mag_cali_clean == 1) reset_extremes(1, 1);
    if (cali_reset_xy) {
        cali_reset_xy = 0;
        reset_extremes(1, 1);
    }
    if (cali_reset_z) {
        cali_reset_z = 0;
        reset_extremes(0, 1);
    }
    if (mag_cali_start != 1) {
        if (mag_cali_xy != 0 || mag_cali_z != 0) {
            mag_cali_xy = mag_cali_z = 0;
            mirror_calibration();
        }
        mx -= AdjustParams[0];
        my -= AdjustParams[1];
        mz -= AdjustParams[2];
    } else {
        if (mag_cali_xy == 1) {
            track((int16_t)mx, &calc.mx_min, &calc.mx_max);
            track((int16_t)my, &calc.my_min, &calc.my_max);
        } else if (mag_cali_xy == 2) {
            calc.offset_x = (int16_t)((calc.mx_max + calc.mx_min) / 2);
            calc.offset_y = (int16_t)((calc.my_max + calc.my_min) / 2);
            mag_cali_xy = 0;
            mirror_calibration();
        }
        if (mag_cali_z == 1)
            track((int16_t)mz, &calc.mz_min, &calc.mz_max);
        else if (mag_cali_z == 2)
            finish_calibration((int16_t)((calc.mz_max + calc.mz_min) / 2));
    }

    float p = Acc_z <= 0 ? -AngelDispVal.Rad_pitch : AngelDispVal.Rad_pitch;
    float r = AngelDispVal.Rad_roll;
    float xh = mx * cosf(p) + my * sinf(p) * sinf(r) + mz * cosf(r) * sinf(p);
    float yh = my * cosf(r) - mz * sinf(r);
    float heading;
    if (xh < 0)
        heading = 180 - to_degrees(atanf(yh / xh));
    else if (xh > 0 && yh < 0)
        heading = -to_degrees(atanf(yh / xh));
    else if (xh > 0 && yh > 0)
        heading = 360 - to_degrees(atanf(yh / xh));
    else if (xh == 0 && yh < 0)
        heading = 90;
    else if (xh == 0 && yh > 0)
        heading = 270;
    else
        heading = 0;

    const float declination = qel_dev_status.compassParam[0];
    if (declination != 0) heading += declination / 10;
    const float zero_azimuth = qel_dev_status.f_zero_azimuth;
    if (zero_azimuth != 0) heading += zero_azimuth;
    if (heading >= 360)
        heading -= 360;
    else if (heading < 0)
        heading += 360;
    if (heading > 359.5f) heading = 0;
    AngelDispVal.Azimuth_display = heading;
    const int v = tenths_of(heading);
    compass_report(COMPASS_ITEM_AZIMUTH, 0, v / 10, v % 10);
}

void compass_calc_bind(event_handle *main_bus)
{
    compass_bus = main_bus;
    memset(&calc, 0, sizeof calc);
    reset_extremes(1, 1);
}

void compass_load_params(void)
{
    for (int i = 0; i < 3; i++) AdjustParams[i] = (int16_t)qel_dev_status.compassParam[i + 1];
    printf("Params: m_offset =[%d  %d  %d] \n", AdjustParams[0], AdjustParams[1], AdjustParams[2]);
}

static void *PthreadCompassCalc(void *arg)
{
    (void)arg;
    prctl(PR_SET_NAME, "compass_calc", 0, 0, 0);
    compass_load_params();
    while (!vesk_worker_sleep(&compass_worker, COMPASS_CALC_MS)) {
        int16_t acc[3], mag[3];
        pthread_mutex_lock(&calc_mutex_t);
        memcpy(acc, accel_raw, sizeof acc);
        memcpy(mag, magn_raw, sizeof mag);
        pthread_mutex_unlock(&calc_mutex_t);
        /* No lock is held across the post. */
        compass_outbox box = {};
        outbox = &box;
        get_accelerometer_calculate_angle(acc);
        QMC5883L_Get_Mag(mag);
        outbox = NULL;
        compass_post(&box);
    }
    return NULL;
}

/* ---- commands from the GUI ----------------------------------------------- */

enum { OFF_VALUE = VESK_FRAME_OFF_PAYLOAD };

static void compassSetOffeset(const uint8_t *frame, int size)
{
    if (frame[VESK_FRAME_OFF_ITEM] != 0) return;
    printf("compass Set declination\n");
    if (size < VESK_FRAME_OVERHEAD + 4) return; /* sign, degrees (2), tenths */
    const uint8_t *p = frame + OFF_VALUE;
    const int tenths = (p[1] | (p[2] << 8)) * 10 + p[3];
    const float value = (float)(p[0] ? -tenths : tenths);
    if (vesk_persist_edit_begin() != 0) return;
    qel_dev_status.compassParam[0] = value;
    printf("compassParam[0] = %f\n", value);
    tevi_compass_save(value, 0, 0);
    vesk_persist_edit_end();
}

static void compassStandarding(const uint8_t *frame, int size)
{
    if (size < VESK_FRAME_OVERHEAD + 1) return;
    switch (frame[OFF_VALUE]) {
    case 0: /* start, x/y stage */
        cali_reset_xy = 1;
        mag_cali_clean = 0;
        mag_cali_start = 1;
        mag_cali_xy = 1;
        mag_cali_z = 0;
        break;
    case 1: /* finish x/y */
        mag_cali_clean = 0;
        mag_cali_xy = 2;
        break;
    case 2: /* start z */
        cali_reset_z = 1;
        mag_cali_clean = 0;
        mag_cali_z = 1;
        break;
    case 3: /* finish z */
        mag_cali_clean = 0;
        mag_cali_z = 2;
        break;
    case 4: /* cancel */
        mag_cali_clean = 1;
        mag_cali_start = 0;
        break;
    default:
        return;
    }
    mirror_calibration();
}

typedef void (*compass_handler)(const uint8_t *frame, int size);

static const struct {
    uint8_t sub;
    compass_handler handler;
} compass_handlers[] = {
    {COMPASS_OFFESET_PARAM, compassSetOffeset},
    {COMPASS_CORRECT, compassStandarding},
    {255, NULL},
};

static void msg_CompassHandler(const uint8_t *frame, int size)
{
    for (int i = 0; compass_handlers[i].sub != 255; i++) {
        if (compass_handlers[i].sub == frame[VESK_FRAME_OFF_SUB]) {
            compass_handlers[i].handler(frame, size);
            return;
        }
    }
}

void notifier_compass(event_handle *handle, void *cb_data, int evtype, const void *evdata, int size)
{
    (void)handle;
    (void)cb_data;
    if (evtype != SUB_NOTIFIER_COMPASS || evdata == NULL || size < VESK_FRAME_MIN) return;
    msg_CompassHandler((const uint8_t *)evdata, size);
}

/* ---- start and stop -------------------------------------------------------- */

static pthread_t compass_threads[3];
static int compass_started[3];

int Qel_CompassInit(const char *device, event_handle *main_bus, event_handle *app_bus)
{
    (void)device; /* the sensors are the iio devices */
    compass_calc_bind(main_bus);
    if (vesk_worker_open(&compass_worker) != 0) printf("compass : wake pipe failed!\n");
    static const char *const failures[3] = {"compass : Accel pthread create failed!",
                                            "compass : MagnInput pthread create failed!",
                                            "compass : CompassCalc pthread create failed!"};
    for (int i = 0; i < 3; i++) {
        void *(*fn)(void *) = i == 0 ? PthreadAccelEvent : i == 1 ? PthreadMagnInputEvent : PthreadCompassCalc;
        void *arg = i < 2 ? (void *)&sensors[i] : NULL;
        compass_started[i] = pthread_create(&compass_threads[i], NULL, fn, arg) == 0;
        if (!compass_started[i]) {
            printf("%s\n", failures[i]);
            return -1;
        }
    }
    if (event_receive_register(app_bus, notifier_compass, NULL) != 0) {
        printf("notifier_compass faild\n");
        return -1;
    }
    return 0;
}

void Qel_CompassExit(void)
{
    vesk_worker_stop(&compass_worker);
    for (int i = 0; i < 3; i++) {
        if (compass_started[i]) pthread_join(compass_threads[i], NULL);
        compass_started[i] = 0;
    }
    vesk_worker_close(&compass_worker);
}
