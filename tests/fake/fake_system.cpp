#include "fake_system.h"

#include "system.h"

#include <cstdlib>
#include <ctime>
#include <deque>

namespace {
struct state_t {
    std::vector<fake::call> calls;
    std::map<std::string, std::deque<std::vector<std::string>>> scripts;
    std::set<std::string> unstartable;
    std::function<std::vector<std::string>(const std::string&)> responder;
    std::function<void(const std::string&)> system_hook;
    struct timeval clock { 0, 0 };
    bool clock_failing = false;
    std::vector<long long> sleeps;
    int interruptions = 0;
    std::set<std::string> files;
};

state_t& state()
{
    static state_t s;
    return s;
}

void advance_clock(long long microseconds)
{
    auto& c = state().clock;
    long long total = static_cast<long long>(c.tv_sec) * 1000000 + c.tv_usec + microseconds;
    c.tv_sec = static_cast<time_t>(total / 1000000);
    c.tv_usec = static_cast<suseconds_t>(total % 1000000);
}
}  // namespace

namespace fake {

void reset()
{
    state() = state_t();
    // Time stamps in tests are in UTC whatever the machine's zone.
    setenv("TZ", "UTC", 1);
    tzset();
}

void script(const std::string& command, const std::vector<std::string>& lines)
{
    state().scripts[command].push_back(lines);
}

void unstartable(const std::string& command) { state().unstartable.insert(command); }

void set_responder(std::function<std::vector<std::string>(const std::string&)> responder)
{
    state().responder = std::move(responder);
}

void set_system_hook(std::function<void(const std::string&)> hook) { state().system_hook = std::move(hook); }

const std::vector<call>& calls() { return state().calls; }

std::vector<std::string> system_commands()
{
    std::vector<std::string> out;
    for (const auto& c : state().calls)
        if (c.kind == call::system_call)
            out.push_back(c.command);
    return out;
}

std::vector<std::string> popen_commands()
{
    std::vector<std::string> out;
    for (const auto& c : state().calls)
        if (c.kind == call::popen_call)
            out.push_back(c.command);
    return out;
}

void set_clock(long seconds, long microseconds)
{
    state().clock.tv_sec = seconds;
    state().clock.tv_usec = microseconds;
}

void set_clock_failing(bool failing) { state().clock_failing = failing; }

struct timeval clock_now() { return state().clock; }

const std::vector<long long>& sleeps() { return state().sleeps; }

void interrupt_sleeps(int n) { state().interruptions = n; }

void add_file(const std::string& path) { state().files.insert(path); }

}  // namespace fake

int shell_run(const std::string& command)
{
    state().calls.push_back({fake::call::system_call, command});
    if (state().system_hook)
        state().system_hook(command);
    return 0;
}

int shell_read_lines(const std::string& command, std::vector<std::string>& lines)
{
    lines.clear();
    state().calls.push_back({fake::call::popen_call, command});
    if (state().unstartable.count(command))
        return -1;
    auto found = state().scripts.find(command);
    if (found != state().scripts.end() && !found->second.empty()) {
        lines = found->second.front();
        if (found->second.size() > 1)
            found->second.pop_front();
    } else if (state().responder) {
        lines = state().responder(command);
    }
    return 0;
}

int clock_read(struct timeval& now)
{
    if (state().clock_failing)
        return -1;
    now = state().clock;
    return 0;
}

int sleep_interval(const struct timespec& duration, struct timespec* remaining)
{
    long long us = static_cast<long long>(duration.tv_sec) * 1000000 + duration.tv_nsec / 1000;
    if (state().interruptions > 0) {
        --state().interruptions;
        long long half_ns = (static_cast<long long>(duration.tv_sec) * 1000000000LL + duration.tv_nsec) / 2;
        state().sleeps.push_back(half_ns / 1000000);
        advance_clock(half_ns / 1000);
        if (remaining) {
            remaining->tv_sec = static_cast<time_t>(half_ns / 1000000000LL);
            remaining->tv_nsec = static_cast<long>(half_ns % 1000000000LL);
        }
        return -1;
    }
    state().sleeps.push_back(us / 1000);
    advance_clock(us);
    return 0;
}

void sleep_seconds(unsigned seconds)
{
    state().sleeps.push_back(static_cast<long long>(seconds) * 1000);
    advance_clock(static_cast<long long>(seconds) * 1000000);
}

int file_exists(const std::string& path) { return state().files.count(path) ? 0 : -1; }
