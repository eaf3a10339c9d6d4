#include "lrf_host_doubles.h"

#include <errno.h>

#include <mutex>

int lrf_double_edit_refused;
std::vector<std::string> lrf_double_set_calls;
static std::mutex lrf_double_profiles;

int vesk_persist_edit_begin(void) { return lrf_double_edit_refused ? -EBUSY : 0; }
void vesk_persist_edit_end(void) {}
void vesk_profiles_lock(void) { lrf_double_profiles.lock(); }
void vesk_profiles_unlock(void) { lrf_double_profiles.unlock(); }
void Qel_DevStatusSet(const char *key, int value, int to_defaults)
{
    lrf_double_set_calls.push_back(std::string(key) + "=" + std::to_string(value) + (to_defaults ? " defaults" : ""));
}
