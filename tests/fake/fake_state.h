// What the recording fake keeps between a test's calls, shared by its two
// halves: fake_system.cpp (shell, clock, sleeps, files) and fake_sockets.cpp
// (raw sockets and waits). Not for tests: they use fake_system.h.
#pragma once

#include "fake_system.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <sys/time.h>

namespace fake::detail {

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

// The one record, made afresh by fake::reset.
state_t& state();

// Moves the clock and the monotonic clock on; packets due by then arrive.
void advance_clock(long long microseconds);

}  // namespace fake::detail
