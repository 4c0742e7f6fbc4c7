// zelpingwdog: pings one host (IPv4 or IPv6) with its own ICMP echo requests
// and reboots the device when a given number of requests in a row go
// unanswered, at most a given number of times in a row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

// The settings of one run, filled from the command line.
struct watchdog_settings {
    std::string target_address;  // the watched host: IPv4, or IPv6 with an optional %interface
    uint16_t interval = 0;       // seconds slept before every cycle but the first
    uint16_t startup_delay = 0;  // seconds slept before the first cycle
    uint16_t failure_count = 0;  // unanswered requests in a row that trigger the reboot
    uint16_t max_reboots = 0;    // reboots in a row without an answer; 0: no limit
    // Put directly in front of the result file name. On the device it is
    // /var/ (paths::pingwdog_result_dir), beside the other result files:
    // /var/webspingwatchdog.msg.
    std::string result_dir;
};

constexpr std::size_t packet_buffer_size = 4096;
constexpr int echo_data_length = 56;
constexpr int echo_header_length = 8;
// The result path buffer of the device holds 51 characters and a terminator.
constexpr std::size_t result_path_limit = 51;
constexpr long result_file_limit = 20480;
constexpr int receive_buffer_bytes = 10240;

struct text_file;

// Everything the watchdog keeps for one run: its settings from the command
// line and the state of the echo exchange that start_watchdog sets up. The
// main procedure owns the one record and hands it down by reference.
struct watchdog_state {
    watchdog_settings settings;
    int socket_fd = -1;
    text_file* result_file = nullptr;
    std::string result_path;
    int family = AF_INET;  // of the target and the socket
    struct sockaddr_storage target {};
    socklen_t target_length = sizeof(struct sockaddr_in);
    uint16_t identifier = 0;
    int32_t sequence_counter = 0;
    int32_t sent_mark = 0;
    int32_t answered_mark = 0;
    int32_t reply_flag = -1;  // -1 until the current cycle has an accepted reply
    int32_t event_count = 0;  // events of the current cycle
    struct timeval receive_time {};
    struct sockaddr_storage source {};
    int hop_limit = -1;  // of the last IPv6 packet read
    // The reboot limit.
    int reboots_in_row = 0;       // as counted on flash
    bool count_on_flash = false;  // the count file exists
    bool limit_holds = false;     // the limit stopped a reboot; no answer since
    unsigned char send_buffer[packet_buffer_size] {};
    unsigned char receive_buffer[packet_buffer_size] {};
};

// Command line and start-up.
int zelpingwdog_main(int argc, char** argv);
// The walk over the arguments into the record's settings; always 0.
int run_command_line(int argc, char** argv, watchdog_state& w);
int start_watchdog(watchdog_state& w);
// atoi's reading of a decimal text, cut to its low 16 bits (-1 gives 65535).
uint16_t low16_of_decimal(const std::string& text);

// Echo exchange and result file.
int open_result_file(watchdog_state& w, const std::string& path);
// Writes a record to the result file and flushes it; nothing without a file.
// Starts the result file afresh once it has grown past result_file_limit,
// and opens it again when an earlier opening failed. False when there is
// no file to write to.
bool empty_result_file_when_full(watchdog_state& w);
void write_result_text(watchdog_state& w, std::string_view text);
int build_echo_request(watchdog_state& w, int32_t sequence);
void send_echo_request(watchdog_state& w);
void receive_reply(watchdog_state& w);
int examine_reply(watchdog_state& w, const unsigned char* packet, int length);
uint16_t internet_checksum(const unsigned char* bytes, int length);
void timeval_subtract(struct timeval& a, const struct timeval& b);
void close_watchdog(watchdog_state& w);
// Lets only echo replies carrying the identifier reach the socket.
void install_reply_filter(int fd, int family, uint16_t identifier);
// "Request timed out.\r", in a file kept bounded while the reboot limit holds.
void write_timed_out(watchdog_state& w);

// The target address.
// AF_INET6 for an IPv6 literal (an optional %interface aside), else AF_INET.
int target_family(const std::string& text);
// Fills the target socket address; false when the text doesn't convert.
bool convert_target(watchdog_state& w, const std::string& text, int family);

// The reboot limit.
// Reads the count of reboots in a row (only with a limit).
void load_reboot_count(watchdog_state& w);
// A request was answered: the run of reboots is over.
void note_answered(watchdog_state& w);
// Whether the limit stops this reboot; if so, the notice is written.
bool reboot_limit_reached(watchdog_state& w);
// Counts the reboot on flash (only with a limit).
void count_reboot(watchdog_state& w);

// Watch loop.
// One cycle: sleep, send, wait for at most two events within the budget.
// Returns 0, or -1 when a wait failed (socket and result file then closed).
int watch_cycle(watchdog_state& w, bool first_cycle, int& highest_fd);
// Whether the requests sent since the latest accepted reply reached the
// failure count. A failure count of 0 never reboots.
bool reboot_due(const watchdog_state& w, uint16_t failure_count);
void reboot_sequence(watchdog_state& w);
int watch_loop(watchdog_state& w, uint16_t failure_count);
