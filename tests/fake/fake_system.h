// The recording fake of the tool kit's system seam, for unit tests.
// Every command handed to the shell or to popen is recorded in order; popen
// commands answer with scripted lines; the clock and the file test are set
// by the test; sleeps return at once and are recorded.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <sys/time.h>

namespace fake {

struct call {
    enum kind_t { system_call, popen_call } kind;
    std::string command;
};

// Forgets every script, recording, file and clock setting.
void reset();

// popen of exactly this command prints these lines. Several calls for the
// same command queue answers: each run takes the next one, the last stays.
void script(const std::string& command, const std::vector<std::string>& lines);
// popen of this command can't be started.
void unstartable(const std::string& command);
// Called for popen commands that have no script (default: no output).
void set_responder(std::function<std::vector<std::string>(const std::string&)> responder);
// Called for every system() command, e.g. to change scripted answers.
void set_system_hook(std::function<void(const std::string&)> hook);

const std::vector<call>& calls();
// The commands handed to system(), in order.
std::vector<std::string> system_commands();
// The commands started with popen, in order.
std::vector<std::string> popen_commands();

// Clock: the reading that clock_read gives; each sleep advances it.
void set_clock(long seconds, long microseconds);
void set_clock_failing(bool failing);
struct timeval clock_now();

// Sleeps, in milliseconds, in order (sleep_seconds records seconds * 1000).
const std::vector<long long>& sleeps();
// Make the next n nanosleep calls report an interruption after half the time.
void interrupt_sleeps(int n);

// file_exists answers 0 for these paths.
void add_file(const std::string& path);

}  // namespace fake
