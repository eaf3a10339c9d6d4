// The settings store: three iniparser dictionaries (current settings,
// defaults, EEPROM record) loaded into qel_dev_status, and the setters every
// module changes a persisted setting through. A setter changes a dictionary
// and marks its store dirty; the persistence worker writes the file. The
// caller updates the matching Qel_DevStatus field itself.
//
// Lock order: persistence edit section, then the settings lock, then the
// persistence service mutex (taken inside vesk_ini_mark_dirty).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qel_dev_status.h"

typedef struct _dictionary_ dictionary;

#define VESK_INI_PATH_MAX 512
#define VESK_INI_DEFAULT_CURRENT "/factory/config.ini"
#define VESK_INI_DEFAULT_DEFAULTS "/factory2/defconfig.ini"
#define VESK_INI_DEFAULT_EEPROM "/sys/bus/nvmem/devices/5-00500/nvmem"

/* Device information for the phone: five terminated strings of 33 bytes. */
typedef struct {
    char sn[33];
    char pn[33];
    char device_code[33];
    char product_name[33];
    char version[33];
} vesk_device_info;
static_assert(sizeof(vesk_device_info) == 165, "g_stDeviceInfo is 165 bytes");
extern vesk_device_info g_stDeviceInfo;

/* The settings lock: guards the three dictionaries and their paths. */
void vesk_ini_state_lock(void);
void vesk_ini_state_unlock(void);

/* Copies each non-null path into its 512-byte buffer. */
void vesk_ini_configure_paths(const char *current, const char *defaults, const char *eeprom);

/* Zeroes status, then tevi_init_config_value(status). */
int Para_init(Qel_DevStatus *status);
/* Frees and reloads the three dictionaries and fills status from them.
 * 0, -ENOENT (current or defaults file missing), -EINVAL, -ENOMEM. */
int tevi_init_config_value(Qel_DevStatus *status);
/* 1 when the last load read the EEPROM record from the device, 0 when the
 * device could not be read and the hardware dictionary is empty. */
int vesk_ini_hardware_loaded(void);

/* Section loaders: fill their fields from d, with defaults for missing
 * keys (d may be an empty dictionary). */
void tevi_ini_ir_callback(const dictionary *d, Qel_DevStatus *status);
void tevi_ini_reticle_callback(const dictionary *d, Qel_DevStatus *status);
void tevi_ini_compass_callback(const dictionary *d, Qel_DevStatus *status);
void tevi_ini_devinfo_callback(const dictionary *d, Qel_DevStatus *status);
void tevi_ini_callback(const dictionary *d, Qel_DevStatus *status);

/* Sets g_stDeviceInfo's device code, product name and version. */
void capabilitySetInit(void);

/* Hands "qeldevstatus:vesk_debug" (0 or 1; anything else is 0) to the
 * debug switch. */
void vesk_ini_apply_debug(void);
/* Who receives the stored debug setting: the debug-mode switch of sightd
 * (which also switches the ballistic calculator's log) registers itself
 * here; until then the logging library's switch takes it. */
void vesk_ini_set_debug_apply(int (*apply)(int on));
/* 1 unless "qeldevstatus:vesk_dynamic_bc" is exactly "0". */
int vesk_dynamic_bc_get(void);
/* value 0 or 1. 0, -EINVAL, the edit refusal, -ENODEV, -ENOMEM. */
int vesk_dynamic_bc_set(int value);

/* 1 when the loader reads value for "section:key" back unchanged, 0 when
 * it would reset or truncate it. Keys no loader reads take any value. */
int vesk_ini_value_ok(const char *section, const char *key, int value);

/* Setters: to_defaults selects the defaults dictionary (store 1) instead
 * of the current one (store 0). Failures are reported, never returned.
 * Indexes out of range, non-finite values and every value that
 * vesk_ini_value_ok refuses are refused: the next boot reads back what a
 * setter stored. */
void tevi_ir_save(int value, int index, int to_defaults);
void tevi_reticle_save(int value, int index, int to_defaults);
void tevi_compass_save(float value, int index, int to_defaults);
/* key: a Qel_DevStatus field name in any case, shorter than 64 characters. */
void Qel_DevStatusSet(const char *key, int value, int to_defaults);

/* Dumps the current (to_defaults 0) or defaults dictionary as INI text into
 * a new buffer the caller frees. -EINVAL, -ENOENT, -errno, -EIO. */
int vesk_ini_serialize(int to_defaults, char **out_text, size_t *out_length);
int vesk_ini_serialize_locked(int to_defaults, char **out_text, size_t *out_length);

/* ASCII capitals to small letters, in place. */
void vesk_ini_key_lower(char *text);

/* Registers the store's load, lock and serialisers with the persistence
 * service; call before vesk_persist_start. */
void vesk_ini_register_persist(void);

/* Forces every dirty store to be written now. */
void Qel_ConfigParam_Save(void);
/* Stages qel_dev_status as the EEPROM record (store 4). */
void Qel_EEPROMParam_Save(void);

/* The EEPROM record text of status, in a new buffer the caller frees.
 * Serial and part numbers are written so that they stay one value on one
 * line. 0, -errno, -EIO. */
int vesk_eeprom_serialize(const Qel_DevStatus *status, char **out_text, size_t *out_length);
