// vesk-factory-image <usrdata-dir>: writes the firmware image's factory
// templates into <usrdata-dir>/out_sightd, as a freshly flashed unit has them.
#include <stdio.h>

#include <string>

#include "sim_factory.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: vesk-factory-image <usrdata-dir>\n");
        return 2;
    }
    std::string error;
    if (sim_factory_image(argv[1], &error) < 0) {
        fprintf(stderr, "vesk-factory-image: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
