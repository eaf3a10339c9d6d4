// The names in a host folder, as the simulated devices and the tests read
// the folders a program leaves behind.
#pragma once

#include <string>
#include <vector>

/* The names in dir but "." and "..", sorted; empty when it cannot be read. */
std::vector<std::string> sim_folder_names(const std::string &dir);
