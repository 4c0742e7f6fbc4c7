#include "tx_power_probe.h"

int main(int argc, char** argv)
{
    return zelmaxtxpower_main(argc, argv);
}
