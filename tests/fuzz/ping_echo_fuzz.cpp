// examine_reply, and match_reply of the several-target cycle, on arbitrary
// packets of their exact length: the first two bytes choose the identifier
// the process expects, the third the state of the cycle and the family of
// the socket; the rest is the packet as the raw socket delivers it (IPv4
// with its IP header, ICMPv6 without).
#include "fake_system.h"
#include "system_io.h"
#include "watchdog.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
watchdog_state w;
std::vector<watch_target> targets;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    // The result file lives in the fake's memory.
    if (!w.result_file && open_result_file(w, "/var/webspingwatchdog.msg") != 0)
        return 0;
    w.identifier = static_cast<uint16_t>(data[0] << 8 | data[1]);
    w.event_count = data[2] & 1;
    w.reply_flag = data[2] & 2 ? 1 : -1;
    w.family = data[2] & 4 ? AF_INET6 : AF_INET;
    w.hop_limit = data[2] & 8 ? -1 : data[2];
    w.receive_time.tv_sec = 1000 + (data[2] >> 4);
    w.receive_time.tv_usec = 0;
    // A buffer of exactly the packet's length, so that a read beyond it is
    // caught.
    std::vector<unsigned char> packet(data + 3, data + size);
    const int length = static_cast<int>(packet.size());
    const int events_before = w.event_count;
    int result = examine_reply(w, packet.empty() ? nullptr : packet.data(), length);
    if (result != 0 && result != 5 && result != -1)
        std::abort();
    if (result == 0 && (w.reply_flag != 1 || w.event_count != events_before + 1))
        std::abort();
    if (result == -1 && w.event_count != events_before + 1)
        std::abort();
    if (result != -1) {
        // Only an echo reply with our identifier is accepted.
        bool v6 = w.family == AF_INET6;
        int header = v6 ? 0 : (packet[0] & 0x0f) * 4;
        if (length - header < 16 || packet[header] != (v6 ? 129 : 0) ||
            (packet[header + 4] << 8 | packet[header + 5]) != w.identifier)
            std::abort();
    }
    // The result file is kept small: emptied at a reply once past its limit.
    // (Timeouts alone let it grow, one record per cycle until the reboot.)
    if (result == 0 && w.result_file) {
        long size_now = text_file_size(w.result_file);
        if (size_now > result_file_limit + 200)
            std::abort();
    }
    if (!packet.empty())
        internet_checksum(packet.data(), length);

    // The same packet in a cycle with several targets, its source one of
    // them: counted at most when examine_reply accepts it too.
    if (targets.empty() && !read_target_list("10.0.0.1,::1", targets))
        std::abort();
    const watch_target& from = targets[w.family == AF_INET6 ? 1 : 0];
    int index = match_reply(packet.empty() ? nullptr : packet.data(), length, w.family, from.address, w.identifier,
                            static_cast<uint16_t>(data[2] << 8 | data[1]), targets);
    if (index != -1 && (result == -1 || &targets[static_cast<size_t>(index)] != &from))
        std::abort();
    return 0;
}
