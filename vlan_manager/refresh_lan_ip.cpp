#include "handlers.h"

// Not built yet: the command runs nothing.
int main_refresh_lan_ip(int, char**)
{
    return 0;
}
