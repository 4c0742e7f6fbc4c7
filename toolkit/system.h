// The seam between the tools and the device: every shell command, clock
// reading, sleep and file test goes through these functions and nowhere else.
// Production links system.cpp; the unit tests link a recording fake.
#pragma once

#include <ctime>
#include <string>
#include <vector>
#include <sys/time.h>

// Hands the command text to the shell (system). Returns the raw status.
int shell_run(const std::string& command);

// Runs the command with popen and reads its whole output, one entry per line.
// Only a trailing line feed is removed from each line. Returns 0 when the
// command could be started, -1 when not (lines then stays empty).
int shell_read_lines(const std::string& command, std::vector<std::string>& lines);

// gettimeofday. Returns 0, or -1 when the clock can't be read.
int clock_read(struct timeval& now);

// Microseconds on the monotonic clock, for measuring how long something
// took: setting the time of day does not move it.
long long monotonic_microseconds();

// nanosleep, with the remaining time written to *remaining when interrupted.
// Returns 0 after the full time, -1 when interrupted.
int sleep_interval(const struct timespec& duration, struct timespec* remaining);

// The C library's sleep() for whole seconds.
void sleep_seconds(unsigned seconds);

// 0 when the path can be opened for reading, -1 when not.
int file_exists(const std::string& path);
