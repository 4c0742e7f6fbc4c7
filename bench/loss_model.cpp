// False reboots on a lossy link, counted from the watchdog's own cycle
// through the recording fake of the system seam: each request is lost with
// the given chance, and so is each reply (a seeded generator), and a reply
// that survives arrives at once. After a reboot the count starts afresh, as
// a restarted watchdog's does. Beside each count, the rate that follows
// from the loss alone; then the time the same settings take to find an
// uplink that is gone.
//
//   loss_model [CYCLES]     (default 1000000 per setting)
//
// Prints a Markdown table.
#include "watchdog.h"

#include "fake_system.h"
#include "system.h"
#include "system_io.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr uint16_t failure_count = 5;
const std::string result_path = "/var/webspingwatchdog.msg";

// xorshift64*: the same losses for the same seed on every machine.
struct loss_draw {
    uint64_t state;
    bool lost(double chance)
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        uint64_t r = state * 2685821657736338717ULL;
        return static_cast<double>(r >> 11) / 9007199254740992.0 < chance;
    }
};

// The answer of a live host: the request turned into a reply behind an
// IPv4 header.
std::vector<unsigned char> reply_to(const std::vector<unsigned char>& request)
{
    std::vector<unsigned char> reply(20 + request.size(), 0);
    reply[0] = 0x45;
    reply[8] = 64;
    std::copy(request.begin() + 1, request.end(), reply.begin() + 21);
    return reply;
}

// A fresh fake world for the watchdog: the fake records every packet and
// sleep, so a long run starts it over now and then; the watchdog's own
// state goes on.
void open_world(watchdog_state& w, loss_draw& draw, double loss)
{
    fake::reset();
    fake::set_clock(1796610512, 0);
    fake::set_send_hook([&draw, loss](const fake::sent_packet& sent) {
        if (loss >= 1.0 || draw.lost(loss) || draw.lost(loss))
            return;
        fake::deliver({reply_to(sent.bytes), sent.destination, -1});
    });
    w.socket_fd = raw_socket_open(AF_INET, 1);
    w.result_file = nullptr;
    open_result_file(w, result_path);
}

watchdog_state& fresh_watchdog(int tries, int timeout, uint16_t interval)
{
    static watchdog_state w;
    w = watchdog_state();
    w.settings.target_address = "10.99.0.5";
    w.settings.tries = tries;
    w.settings.timeout = timeout;
    w.settings.interval = interval;
    w.identifier = 0x4242;
    read_target_list(w.settings.target_address, w.targets);
    convert_target(w, w.settings.target_address, AF_INET);
    return w;
}

long false_reboots(double loss, int tries, long cycles, uint64_t seed)
{
    watchdog_state& w = fresh_watchdog(tries, 1, 0);
    loss_draw draw{seed};
    long reboots = 0;
    int highest_fd = -2;
    for (long cycle = 0; cycle < cycles; ++cycle) {
        if (cycle % 20000 == 0) {
            close_watchdog(w);
            open_world(w, draw, loss);
            highest_fd = -2;
        }
        watch_cycle(w, cycle == 0, highest_fd);
        if (reboot_due(w, failure_count)) {
            ++reboots;
            w.answered_mark = w.sent_mark;
        }
    }
    close_watchdog(w);
    return reboots;
}

// Seconds from the start to the reboot command with nothing answering.
double seconds_to_find_dead_uplink(int tries, int timeout, uint16_t interval)
{
    watchdog_state& w = fresh_watchdog(tries, timeout, interval);
    loss_draw draw{1};
    open_world(w, draw, 1.0);
    long long reboot_at = -1;
    fake::set_system_hook([&](const std::string& command) {
        if (command == "reboot")
            reboot_at = monotonic_microseconds();
    });
    long long start = monotonic_microseconds();
    watch_loop(w, failure_count);
    return reboot_at < 0 ? -1 : static_cast<double>(reboot_at - start) / 1e6;
}
}  // namespace

int main(int argc, char** argv)
{
    long cycles = argc > 1 ? std::atol(argv[1]) : 1000000;
    std::printf("| loss each way | -tries | false reboots per 1,000,000 cycles | from the loss alone |\n");
    std::printf("|---:|---:|---:|---:|\n");
    for (int percent : {5, 10, 20, 30}) {
        double loss = percent / 100.0;
        for (int tries : {1, 2, 3}) {
            long reboots = false_reboots(loss, tries, cycles, 0x9e3779b97f4a7c15ULL + percent * 16 + tries);
            // A try is answered when neither its request nor its reply is
            // lost; a cycle is not when all its tries are not; a false
            // reboot ends a run of failure_count such cycles.
            double answered = (1 - loss) * (1 - loss);
            double unanswered = std::pow(1 - answered, tries);
            double run = std::pow(unanswered, failure_count);
            double rate = (1 - unanswered) * run / (1 - run) * 1e6;
            std::printf("| %d %% | %d | %ld | %.3g |\n", percent, tries, reboots * 1000000 / cycles, rate);
        }
    }
    std::printf("\nA dead uplink, -failcount=5 -interval=10 -delay=0: seconds from the start to the reboot "
                "command.\n\n");
    std::printf("| -timeout | -tries=1 | -tries=2 | -tries=3 |\n|---:|---:|---:|---:|\n");
    for (int timeout : {1, 3, 5})
        std::printf("| %d | %.0f | %.0f | %.0f |\n", timeout, seconds_to_find_dead_uplink(1, timeout, 10),
                    seconds_to_find_dead_uplink(2, timeout, 10), seconds_to_find_dead_uplink(3, timeout, 10));
    return 0;
}
