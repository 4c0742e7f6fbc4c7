#include "fake_system.h"

#include "system.h"
#include "system_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace {
struct state_t {
    std::vector<fake::call> calls;
    std::map<std::string, std::deque<std::vector<std::string>>> scripts;
    std::set<std::string> unstartable;
    std::function<std::vector<std::string>(const std::string&)> responder;
    std::function<void(const std::string&)> system_hook;
    struct timeval clock { 0, 0 };
    long long monotonic = 0;  // microseconds; moves with the clock, never set
    bool wait_writes_back = false;
    bool clock_failing = false;
    std::vector<long long> sleeps;
    int interruptions = 0;
    std::set<std::string> files;

    bool refuse_raw = false;
    int next_fd = 900;  // below FD_SETSIZE, far from the test's own descriptors
    std::vector<std::pair<int, int>> raw_sockets;
    std::set<int> open_sockets;
    std::vector<fake::option_call> options;
    std::vector<struct sock_filter> filter;
    int filtered_fd = -1;
    int discards = 0;
    std::deque<fake::packet> incoming;
    std::multimap<long long, fake::packet> later;  // by the monotonic time they arrive
    std::vector<fake::sent_packet> sent;
    std::function<void(const fake::sent_packet&)> send_hook;
    int wait_interruptions = 0;
    int waits_before_failure = -1;
    int wait_error = 0;
    int waits = 0;
    std::map<std::string, unsigned> interfaces;

    std::map<std::string, std::string> texts;
    std::set<std::string> refused_files;
    std::vector<std::string> file_changes;
};

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

void refuse_raw_sockets() { state().refuse_raw = true; }
const std::vector<std::pair<int, int>>& raw_sockets() { return state().raw_sockets; }
std::set<int> open_sockets() { return state().open_sockets; }
const std::vector<option_call>& socket_options() { return state().options; }
const std::vector<struct sock_filter>& attached_filter() { return state().filter; }
int filtered_socket() { return state().filtered_fd; }
int discards() { return state().discards; }
void deliver(const packet& p) { state().incoming.push_back(p); }
void deliver_after(const packet& p, long long microseconds)
{
    state().later.emplace(state().monotonic + microseconds, p);
}
std::size_t queued_packets() { return state().incoming.size(); }
const std::vector<sent_packet>& sent() { return state().sent; }
void set_send_hook(std::function<void(const sent_packet&)> hook) { state().send_hook = std::move(hook); }
void wait_writes_back_time_left(bool writes_back) { state().wait_writes_back = writes_back; }

void interrupt_waits(int n) { state().wait_interruptions = n; }
void fail_waits_after(int n, int error)
{
    state().waits_before_failure = n;
    state().wait_error = error;
}
int waits() { return state().waits; }
void set_interface(const std::string& name, unsigned index) { state().interfaces[name] = index; }

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

// ---- raw sockets ----

int raw_socket_open(int family, int protocol)
{
    if (state().refuse_raw) {
        errno = EPERM;
        return -1;
    }
    state().raw_sockets.emplace_back(family, protocol);
    int fd = state().next_fd++;
    state().open_sockets.insert(fd);
    return fd;
}

int socket_option(int fd, int level, int name, const void* value, socklen_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(value);
    state().options.push_back({fd, level, name, std::vector<unsigned char>(bytes, bytes + length)});
    return state().open_sockets.count(fd) ? 0 : -1;
}

int socket_attach_filter(int fd, const struct sock_filter* code, unsigned short count)
{
    state().filter.assign(code, code + count);
    state().filtered_fd = fd;
    return state().open_sockets.count(fd) ? 0 : -1;
}

void socket_discard_pending(int fd)
{
    if (!state().open_sockets.count(fd))
        return;
    ++state().discards;
    state().incoming.clear();
    state().later.clear();
}

namespace {
std::string address_text(const struct sockaddr* address, unsigned* scope_id)
{
    char text[INET6_ADDRSTRLEN] = "";
    *scope_id = 0;
    if (address && address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const struct sockaddr_in*>(address)->sin_addr, text, sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        const auto* six = reinterpret_cast<const struct sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &six->sin6_addr, text, sizeof text);
        *scope_id = six->sin6_scope_id;
    }
    return text;
}
}  // namespace

long socket_send(int fd, const void* bytes, std::size_t length, const struct sockaddr* to, socklen_t to_length)
{
    if (!state().open_sockets.count(fd)) {
        errno = EBADF;
        return -1;
    }
    const auto* first = static_cast<const unsigned char*>(bytes);
    fake::sent_packet packet{fd, std::vector<unsigned char>(first, first + length), "", 0};
    if (to_length >= sizeof(struct sockaddr_in))
        packet.destination = address_text(to, &packet.scope_id);
    state().sent.push_back(packet);
    if (state().send_hook)
        state().send_hook(packet);
    return static_cast<long>(length);
}

long socket_receive(int fd, void* buffer, std::size_t size, struct sockaddr_storage& source, int& hop_limit)
{
    hop_limit = -1;
    if (!state().open_sockets.count(fd) || state().incoming.empty()) {
        errno = state().open_sockets.count(fd) ? EAGAIN : EBADF;
        return -1;
    }
    fake::packet p = state().incoming.front();
    state().incoming.pop_front();
    std::size_t length = std::min(size, p.bytes.size());
    if (length)
        std::memcpy(buffer, p.bytes.data(), length);
    std::memset(&source, 0, sizeof source);
    auto* four = reinterpret_cast<struct sockaddr_in*>(&source);
    auto* six = reinterpret_cast<struct sockaddr_in6*>(&source);
    if (inet_pton(AF_INET, p.source.c_str(), &four->sin_addr) == 1)
        four->sin_family = AF_INET;
    else if (inet_pton(AF_INET6, p.source.c_str(), &six->sin6_addr) == 1)
        six->sin6_family = AF_INET6;
    hop_limit = p.hop_limit;
    return static_cast<long>(length);
}

void socket_close(int fd) { state().open_sockets.erase(fd); }

int wait_readable(int highest_fd, fd_set& readable, struct timeval& budget)
{
    auto& s = state();
    ++s.waits;
    if (s.waits_before_failure == 0) {
        errno = s.wait_error;
        return -1;
    }
    if (s.waits_before_failure > 0)
        --s.waits_before_failure;
    if (highest_fd + 1 < 0) {
        errno = EINVAL;
        return -1;
    }
    long long left = static_cast<long long>(budget.tv_sec) * 1000000 + budget.tv_usec;
    if (s.wait_interruptions > 0) {
        --s.wait_interruptions;
        advance_clock(left / 2);
        if (s.wait_writes_back) {
            budget.tv_sec = static_cast<time_t>((left - left / 2) / 1000000);
            budget.tv_usec = static_cast<suseconds_t>((left - left / 2) % 1000000);
        }
        errno = EINTR;
        return -1;
    }
    int ready = 0;
    std::set<int> watched_before;
    for (int fd = 0; fd <= highest_fd && fd < FD_SETSIZE; ++fd) {
        if (!FD_ISSET(fd, &readable))
            continue;
        watched_before.insert(fd);
        if (!s.open_sockets.count(fd)) {
            errno = EBADF;
            return -1;
        }
        if (s.incoming.empty())
            FD_CLR(fd, &readable);
        else
            ++ready;
    }
    // Nothing there yet: the wait ends when the next packet arrives, if it
    // arrives within the timeout.
    if (ready == 0 && !s.later.empty() && s.later.begin()->first <= s.monotonic + left) {
        advance_clock(s.later.begin()->first - s.monotonic);
        for (int fd = 0; fd <= highest_fd && fd < FD_SETSIZE; ++fd)
            if (s.open_sockets.count(fd) && watched_before.count(fd)) {
                FD_SET(fd, &readable);
                ++ready;
            }
    }
    if (ready == 0) {
        advance_clock(left);
        if (s.wait_writes_back)
            budget = {0, 0};
    }
    return ready;
}

unsigned interface_index(const std::string& name)
{
    auto found = state().interfaces.find(name);
    return found == state().interfaces.end() ? 0 : found->second;
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
