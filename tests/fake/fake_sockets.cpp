// The recording fake's raw sockets: what is sent is recorded, what arrives
// is queued by the test, and waits move the fake clock.
#include "fake_system.h"
#include "fake_state.h"

#include "system.h"
#include "system_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <arpa/inet.h>
#include <netinet/in.h>

using fake::detail::advance_clock;
using fake::detail::state;

namespace fake {

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

}  // namespace fake

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
