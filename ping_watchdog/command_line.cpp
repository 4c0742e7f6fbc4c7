// The watchdog's command line and its start-up: result file, raw socket,
// target address, then the watch loop.
#include "watchdog.h"

#include "paths.h"
#include "run_log.h"
#include "system_io.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <initializer_list>
#include <cstring>
#include <arpa/inet.h>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {
std::string number_text(unsigned value)
{
    return std::to_string(value);
}

// A name that ifup takes as one word and netifd as an interface: 1 to 15
// letters, digits, '_', '.' and '-'.
bool interface_name(const std::string& text)
{
    return !text.empty() && text.size() <= max_interface_name &&
           text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-") ==
               std::string::npos;
}

// Applies one name=value argument and appends its piece to the run log line.
void apply_argument(const char* argument, const std::string& stamp, watchdog_state& w, std::string& line)
{
    watchdog_settings& settings = w.settings;
    std::string name, value;
    field_of(name, argument, 0, '=');
    field_of(value, argument, 1, '=');

    if (name.find("--app") != std::string::npos) {
        if (value == "pingwdog") {
            line += log_line(stamp, "Running...zel_pingwdog");
            start_watchdog(w);
        }
    } else if (name.find("-ipaddr") != std::string::npos) {
        settings.target_address = value;
        line += log_line(stamp, "ip=[" + settings.target_address + "]");
    } else if (name.find("-interval") != std::string::npos) {
        settings.interval = low16_of_decimal(value);
        line += log_line(stamp, "delay=[" + number_text(settings.interval) + "]");
    } else if (name.find("-delay") != std::string::npos) {
        settings.startup_delay = low16_of_decimal(value);
        line += log_line(stamp, "delay=[" + number_text(settings.startup_delay) + "]");
    } else if (name.find("-failcount") != std::string::npos) {
        settings.failure_count = low16_of_decimal(value);
        line += log_line(stamp, "fcount=[" + number_text(settings.failure_count) + "]");
    } else if (name.find("-maxreboots") != std::string::npos) {
        settings.max_reboots = low16_of_decimal(value);
        line += log_line(stamp, "maxreboots=[" + number_text(settings.max_reboots) + "]");
    } else if (name.find("-reliability") != std::string::npos) {
        settings.reliability = low16_of_decimal(value);
        line += log_line(stamp, "reliability=[" + number_text(settings.reliability) + "]");
    } else if (name.find("-timeout") != std::string::npos) {
        settings.timeout_valid = decimal_in_range(value, 1, max_timeout_seconds, settings.timeout);
        line += log_line(stamp, "timeout=[" + std::to_string(settings.timeout) + "]");
    } else if (name.find("-tries") != std::string::npos) {
        settings.tries_valid = decimal_in_range(value, 1, max_tries, settings.tries);
        line += log_line(stamp, "tries=[" + std::to_string(settings.tries) + "]");
    } else if (name.find("-restartiface") != std::string::npos) {
        settings.restart_interface = value;
        settings.restart_interface_valid = interface_name(value);
        line += log_line(stamp, "restartiface=[" + value + "]");
    }
}
}  // namespace

uint16_t low16_of_decimal(const std::string& text)
{
    // As atoi reads it, but any number of digits is taken modulo 65536
    // instead of overflowing.
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = (value * 10 + static_cast<uint32_t>(text[i] - '0')) & 0xffff;
    if (negative)
        value = (0x10000 - value) & 0xffff;
    return static_cast<uint16_t>(value);
}

bool decimal_in_range(const std::string& text, int low, int high, int& value)
{
    // strtol reads as atoi does, but a number too large for it stops at
    // its limit instead of overflowing.
    long reading = std::strtol(text.c_str(), nullptr, 10);
    value = static_cast<int>(std::clamp(reading, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX)));
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && value >= low &&
           value <= high;
}

int run_command_line(int argc, char** argv, watchdog_state& w)
{
    std::string stamp;
    time_stamp(stamp);
    std::string line;
    if (argc < 2) {
        line = log_line(stamp, "Running...zel_pingwdog");
    } else {
        // Last argument first: only the options after the starting argument
        // are in force when the watchdog starts.
        for (int i = argc - 1; i >= 1; --i)
            apply_argument(argv[i], stamp, w, line);
    }
    append_line(line, paths::pingwdog_log);
    return 0;
}

int zelpingwdog_main(int argc, char** argv)
{
    // The packet buffers make the record large: it lives for the whole run.
    static watchdog_state w;
    w.settings.result_dir = paths::pingwdog_result_dir;
    return run_command_line(argc, argv, w);
}

// The protocol number of "icmp" from the protocols database, or -1 when it
// has no such entry. Read here rather than through the C library's resolver,
// which a statically linked program can't load.
static int icmp_protocol_number()
{
    std::string text;
    if (file_read(paths::protocols, text) != 0)
        return -1;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        line.erase(std::min(line.find('#'), line.size()));
        char* save = nullptr;
        char* name = strtok_r(&line[0], " \t\r\n", &save);
        char* value = name ? strtok_r(nullptr, " \t\r\n", &save) : nullptr;
        if (!value)
            continue;
        for (char* word = name; word; word = strtok_r(nullptr, " \t\r\n", &save))
            if (std::strcmp(word, "icmp") == 0)
                return std::atoi(value);
    }
    return -1;
}

int start_watchdog(watchdog_state& w)
{
    const watchdog_settings& settings = w.settings;
    std::string path = settings.result_dir + paths::pingwdog_result_name;

    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, "Running ping watchdog...") + "IP=[" + settings.target_address + "]" +
                    "[interval]=[" + number_text(settings.interval) + "]" + "[startup delay]=[" +
                    number_text(settings.startup_delay) + "]" + "[failure_count]=[" +
                    number_text(settings.failure_count) + "]",
                paths::pingwdog_log);

    int protocol = icmp_protocol_number();
    if (protocol < 0)
        return 1;
    // A path longer than the device's path buffer is refused like a file
    // that can't be opened.
    if (open_result_file(w, path) != 0)
        return 2;
    // Every target is read before a socket opens: a list with an item that
    // is no address literal, an address twice, a reliability that no cycle
    // could meet, a timeout or tries that is no whole number in its range, or
    // an interface to restart that is no interface name is refused like a
    // single address that doesn't convert.
    if (!read_target_list(settings.target_address, w.targets) || settings.reliability == 0 ||
        settings.reliability > w.targets.size() || !settings.timeout_valid || !settings.tries_valid ||
        !settings.restart_interface_valid) {
        close_watchdog(w);
        return -1;
    }
    // IPv6 targets are watched over ICMPv6, whose protocol number is fixed
    // by IPv6 itself; the others over ICMP, as inet_addr reads their
    // addresses. One socket per family in use.
    const watch_target& first = w.targets.front();
    w.family = first.family;
    w.target = first.address;
    w.target_length = first.address_length;
    bool mixed = std::any_of(w.targets.begin(), w.targets.end(),
                             [&](const watch_target& t) { return t.family != first.family; });
    auto open_for = [protocol](int family) {
        return raw_socket_open(family, family == AF_INET6 ? IPPROTO_ICMPV6 : protocol);
    };
    w.socket_fd = open_for(w.family);
    if (w.socket_fd >= 0 && mixed)
        w.second_socket_fd = open_for(other_family(w.family));
    if (w.socket_fd < 0 || (mixed && w.second_socket_fd < 0)) {
        close_watchdog(w);
        return 3;
    }

    // Give up raised privileges once the raw sockets are open.
    if (setuid(getuid()) != 0) {
    }
    int buffer_size = receive_buffer_bytes;
    for (int fd : {w.socket_fd, w.second_socket_fd})
        if (fd != -1)
            socket_option(fd, SOL_SOCKET, SO_RCVBUF, &buffer_size, sizeof buffer_size);

    write_result_text(w, "This is system tools of ping watchdog.\nThe target ip is " + settings.target_address +
                             " and the number of failure to reboot is " + number_text(settings.failure_count) + "\n");

    w.identifier = static_cast<uint16_t>(getpid() & 0xffff);
    for (int fd : {w.socket_fd, w.second_socket_fd}) {
        if (fd == -1)
            continue;
        int family = fd == w.socket_fd ? w.family : other_family(w.family);
        install_reply_filter(fd, family, w.identifier);
        if (family == AF_INET6) {
            // The hop limit of each reply comes as ancillary data.
            int on = 1;
            socket_option(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
        }
    }
    load_reboot_count(w);
    w.sequence_counter = 0;
    // A second start begins its count afresh, not against the marks of the
    // previous run.
    w.sent_mark = 0;
    w.answered_mark = 0;
    w.reply_flag = -1;
    w.event_count = 0;
    w.interface_restarted = false;

    watch_loop(w, settings.failure_count);
    return 0;
}
