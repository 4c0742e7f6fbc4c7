#pragma once

#include <cstdint>

// Sleeps the full duration, resuming after interruptions. Returns 1.
int sleep_ms(uint32_t ms);
