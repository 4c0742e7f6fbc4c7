#include "handlers.h"

// Not built yet: the command runs nothing.
int main_vlan_mgt(int, char**)
{
    return 0;
}
