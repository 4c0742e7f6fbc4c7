// The recording fake of the tool kit's system seam, for unit tests.
// Every command handed to the shell or to popen is recorded in order; popen
// commands answer with scripted lines; the clock and the file test are set
// by the test; sleeps return at once and are recorded. Raw sockets are
// scripted: what is sent is recorded, what arrives is queued by the test,
// and a wait with nothing queued times out at once, moving the clock by the
// whole timeout. Like musl's select, a wait leaves its timeout as it was,
// unless told to write back the time left as glibc's does. Files the tools write themselves live in memory.
#pragma once

#include <linux/filter.h>

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

// Clock: the reading that clock_read gives; each sleep and each wait that
// times out advances it, and the monotonic clock with it (set_clock moves
// the time of day alone).
void set_clock(long seconds, long microseconds);
void set_clock_failing(bool failing);
struct timeval clock_now();

// Sleeps, in milliseconds, in order (sleep_seconds records seconds * 1000).
const std::vector<long long>& sleeps();
// Make the next n nanosleep calls report an interruption after half the time.
void interrupt_sleeps(int n);

// file_exists answers 0 for these paths (and for files held in memory).
void add_file(const std::string& path);

// ---- raw sockets ----

// One datagram as the socket delivers it.
struct packet {
    std::vector<unsigned char> bytes;
    std::string source;  // address text, IPv4 or IPv6
    int hop_limit = -1;  // ancillary IPv6 hop limit; -1: none came
};

struct sent_packet {
    int fd;
    std::vector<unsigned char> bytes;
    std::string destination;  // address text
    unsigned scope_id;        // IPv6 scope, 0 for IPv4
};

struct option_call {
    int fd, level, name;
    std::vector<unsigned char> value;
};

// raw_socket_open fails (as without the privilege for raw sockets).
void refuse_raw_sockets();
// The (family, protocol) of every raw socket opened, in order.
const std::vector<std::pair<int, int>>& raw_sockets();
// Descriptors opened and not closed yet.
std::set<int> open_sockets();
const std::vector<option_call>& socket_options();
// The filter program attached last, and the descriptor it went to.
const std::vector<struct sock_filter>& attached_filter();
int filtered_socket();
// How often queued packets were discarded.
int discards();

// Queues a packet for the next reads of any socket.
void deliver(const packet& p);
// Queues it once the clock has moved on by this many microseconds: a wait
// with nothing queued ends when it arrives, if within its timeout.
void deliver_after(const packet& p, long long microseconds);
std::size_t queued_packets();
const std::vector<sent_packet>& sent();
// Called after every send, e.g. to deliver the answer.
void set_send_hook(std::function<void(const sent_packet&)> hook);

// Waits write the time left into their timeout argument, as glibc's select
// does (default: they leave it as it was, as musl's does).
void wait_writes_back_time_left(bool writes_back);
// The next n waits are interrupted (EINTR) after half of what is left of
// their budget.
void interrupt_waits(int n);
// Once n more waits have returned, every wait fails with this error.
void fail_waits_after(int n, int error);
// Every wait so far.
int waits();

// interface_index answers index for this name.
void set_interface(const std::string& name, unsigned index);

// ---- files written by the tools ----

void set_file_text(const std::string& path, const std::string& text);
bool has_file_text(const std::string& path);
std::string file_text(const std::string& path);
// Creating or writing this path fails (a missing directory, a full medium).
void refuse_file(const std::string& path);
// Every file_write and file_remove, in order, as "write PATH TEXT" and
// "remove PATH": what the tools put on the medium themselves.
const std::vector<std::string>& file_changes();

}  // namespace fake
