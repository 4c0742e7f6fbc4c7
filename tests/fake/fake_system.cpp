// The recording fake's shell, clock, sleeps and files; its raw sockets are
// in fake_sockets.cpp.
#include "fake_system.h"
#include "fake_state.h"

#include "system.h"
#include "system_io.h"

#include <cstdlib>
#include <ctime>

namespace fake::detail {

state_t& state()
{
    static state_t s;
    return s;
}

void advance_clock(long long microseconds)
{
    auto& s = state();
    s.monotonic += microseconds;
    auto& c = s.clock;
    long long total = static_cast<long long>(c.tv_sec) * 1000000 + c.tv_usec + microseconds;
    c.tv_sec = static_cast<time_t>(total / 1000000);
    c.tv_usec = static_cast<suseconds_t>(total % 1000000);
    // Packets sent our way meanwhile have arrived.
    while (!s.later.empty() && s.later.begin()->first <= s.monotonic) {
        s.incoming.push_back(s.later.begin()->second);
        s.later.erase(s.later.begin());
    }
}

}  // namespace fake::detail

using fake::detail::advance_clock;
using fake::detail::state;
using fake::detail::state_t;

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


void set_file_text(const std::string& path, const std::string& text) { state().texts[path] = text; }
bool has_file_text(const std::string& path) { return state().texts.count(path) != 0; }
std::string file_text(const std::string& path)
{
    auto found = state().texts.find(path);
    return found == state().texts.end() ? std::string() : found->second;
}
void refuse_file(const std::string& path) { state().refused_files.insert(path); }
const std::vector<std::string>& file_changes() { return state().file_changes; }

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

long long monotonic_microseconds() { return state().monotonic; }

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

int file_exists(const std::string& path)
{
    return state().files.count(path) || state().texts.count(path) ? 0 : -1;
}

// ---- files written by the tools ----

struct text_file {
    std::string path;
};

text_file* text_file_create(const std::string& path)
{
    if (state().refused_files.count(path))
        return nullptr;
    state().texts[path].clear();
    return new text_file{path};
}

void text_file_write(text_file* file, std::string_view text) { state().texts[file->path].append(text); }

long text_file_size(text_file* file) { return static_cast<long>(state().texts[file->path].size()); }

void text_file_close(text_file* file) { delete file; }

int file_read(const std::string& path, std::string& text)
{
    text.clear();
    auto found = state().texts.find(path);
    if (found == state().texts.end())
        return -1;
    text = found->second;
    return 0;
}

int file_write(const std::string& path, std::string_view text)
{
    state().file_changes.push_back("write " + path + " " + std::string(text));
    if (state().refused_files.count(path))
        return -1;
    state().texts[path] = std::string(text);
    return 0;
}

int file_remove(const std::string& path)
{
    state().file_changes.push_back("remove " + path);
    return state().texts.erase(path) ? 0 : -1;
}
