// The watchdog's command line and its start-up: result file, raw socket,
// target address, then the watch loop.
#include "watchdog.h"

#include "paths.h"
#include "run_log.h"
#include "text.h"

#include <cctype>
#include <cstring>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

watchdog_settings* active_settings = nullptr;

namespace {
std::string number_text(unsigned value)
{
    return std::to_string(value);
}

// Applies one name=value argument and appends its piece to the run log line.
void apply_argument(const char* argument, const std::string& stamp, watchdog_settings& settings,
                    std::string& line)
{
    std::string name, value;
    field_of(name, argument, 0, '=');
    field_of(value, argument, 1, '=');

    if (name.find("--app") != std::string::npos) {
        if (value == "pingwdog") {
            line += log_line(stamp, "Running...zel_pingwdog");
            start_watchdog();
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

int run_command_line(int argc, char** argv, watchdog_settings& settings)
{
    active_settings = &settings;
    std::string stamp;
    time_stamp(stamp);
    std::string line;
    if (argc < 2) {
        line = log_line(stamp, "Running...zel_pingwdog");
    } else {
        // Last argument first: only the options after the starting argument
        // are in force when the watchdog starts.
        for (int i = argc - 1; i >= 1; --i)
            apply_argument(argv[i], stamp, settings, line);
    }
    append_line(line, paths::pingwdog_log);
    active_settings = nullptr;
    return 0;
}

int zelpingwdog_main(int argc, char** argv)
{
    watchdog_settings settings;
    settings.result_dir = paths::pingwdog_result_dir;
    return run_command_line(argc, argv, settings);
}

// The protocol number of "icmp" from the protocols database, or -1 when it
// has no such entry. Read here rather than through the C library's resolver,
// which a statically linked program can't load.
static int icmp_protocol_number()
{
    FILE* file = std::fopen(paths::protocols, "r");
    if (!file)
        return -1;
    int number = -1;
    char line[512];
    while (number < 0 && std::fgets(line, sizeof line, file)) {
        char* comment = std::strchr(line, '#');
        if (comment)
            *comment = '\0';
        char* save = nullptr;
        char* name = strtok_r(line, " \t\r\n", &save);
        char* value = name ? strtok_r(nullptr, " \t\r\n", &save) : nullptr;
        if (!value)
            continue;
        for (char* word = name; word; word = strtok_r(nullptr, " \t\r\n", &save)) {
            if (std::strcmp(word, "icmp") == 0) {
                number = std::atoi(value);
                break;
            }
        }
    }
    std::fclose(file);
    return number;
}

int start_watchdog()
{
    const watchdog_settings& settings = *active_settings;
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
    if (open_result_file(path) != 0)
        return 2;
    int fd = socket(AF_INET, SOCK_RAW, protocol);
    if (fd < 0) {
        close_watchdog();
        return 3;
    }
    watchdog.socket_fd = fd;

    // Give up raised privileges once the raw socket is open.
    if (setuid(getuid()) != 0) {
    }
    int buffer_size = receive_buffer_bytes;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_size, sizeof buffer_size);

    std::memset(&watchdog.target, 0, sizeof watchdog.target);
    watchdog.target.sin_family = AF_INET;
    in_addr_t address = inet_addr(settings.target_address.c_str());
    if (address == INADDR_NONE) {
        close_watchdog();
        return -1;
    }
    std::fprintf(watchdog.result_file,
                 "This is system tools of ping watchdog.\nThe target ip is %s and the number of failure to reboot is %d\n",
                 settings.target_address.c_str(), static_cast<int>(settings.failure_count));
    watchdog.target.sin_addr.s_addr = address;

    watchdog.identifier = static_cast<uint16_t>(getpid() & 0xffff);
    install_reply_filter(fd, watchdog.identifier);
    std::fflush(watchdog.result_file);
    watchdog.sequence_counter = 0;
    // A second start begins its count afresh, not against the marks of the
    // previous run.
    watchdog.sent_mark = 0;
    watchdog.answered_mark = 0;
    watchdog.reply_flag = -1;
    watchdog.event_count = 0;

    watch_loop(settings.failure_count);
    return 0;
}
