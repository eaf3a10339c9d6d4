// Stand-ins for the persistence service, for the rangefinder's tests and
// benchmark that run outside the sandbox: edit sections that can be
// refused, a profiles lock, a settings setter that records its calls, and
// the ballistic thread's flag.
#pragma once

#include <string>
#include <vector>

extern int lrf_double_edit_refused;
extern std::vector<std::string> lrf_double_set_calls;
