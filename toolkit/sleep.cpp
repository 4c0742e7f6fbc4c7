#include "sleep.h"

#include "system.h"

int sleep_ms(uint32_t ms)
{
    struct timespec duration;
    duration.tv_sec = ms / 1000;
    duration.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (sleep_interval(duration, &duration) != 0) {
    }
    return 1;
}
