#include "handlers.h"

// Not built yet: the command runs nothing.
int main_get_wifi_ssid(int, char**)
{
    return 0;
}
