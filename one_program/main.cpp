// The four programs in one executable: the base name it was started by
// picks the program, as each is installed under its own name.
#include <cstring>
#include <unistd.h>

#include "dispatch.h"
#include "scheduled_reboot.h"
#include "tx_power_probe.h"
#include "watchdog.h"

namespace {

struct program {
    const char* name;
    int (*main)(int, char**);
};

const program programs[] = {
    {"zelvlan", zelvlan_main},
    {"zelpingwdog", zelpingwdog_main},
    {"zelautoreboot", zelautoreboot_main},
    {"zelmaxtxpower", zelmaxtxpower_main},
};

} // namespace

int main(int argc, char** argv)
{
    const char* name = argc > 0 && argv[0] ? argv[0] : "";
    if (const char* slash = std::strrchr(name, '/'))
        name = slash + 1;
    for (const program& p : programs) {
        if (std::strcmp(name, p.name) == 0)
            return p.main(argc, argv);
    }
    static const char usage[] = "usage: start as zelvlan, zelpingwdog, zelautoreboot or zelmaxtxpower\n";
    ssize_t ignored = write(2, usage, sizeof usage - 1);
    (void)ignored;
    return 1;
}
