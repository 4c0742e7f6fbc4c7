#include "scheduled_reboot.h"

int main(int argc, char** argv)
{
    return zelautoreboot_main(argc, argv);
}
