// zelpingwdog: pings one host, or several at once (IPv4 or IPv6), with its
// own ICMP echo requests and reboots the device when a given number of
// cycles in a row go unanswered, at most a given number of times in a row;
// optionally restarts the uplink's interface first, once per outage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>

// The settings of one run, filled from the command line.
struct watchdog_settings {
    // The watched hosts as given: one address, or up to max_targets separated
    // by ','; IPv4, or IPv6 with an optional %interface.
    std::string target_address;
    uint16_t interval = 0;       // seconds slept before every cycle but the first
    uint16_t startup_delay = 0;  // seconds slept before the first cycle
    uint16_t failure_count = 0;  // unanswered requests in a row that trigger the reboot
    uint16_t max_reboots = 0;    // reboots in a row without an answer; 0: no limit
    uint16_t reliability = 1;    // targets that must answer for a cycle to count as answered
    // The budget of a cycle's waits, in seconds, and the requests a silent
    // target gets in one cycle. Refused at start-up when not valid: a whole
    // number within its range.
    int timeout = 1;
    bool timeout_valid = true;
    int tries = 1;
    bool tries_valid = true;
    // The uplink's netifd interface, restarted once per outage before the
    // reboot; empty: none. A name given that is no interface name is
    // refused at start-up.
    std::string restart_interface;
    bool restart_interface_valid = true;
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
constexpr std::size_t max_targets = 8;
constexpr int max_timeout_seconds = 30;
constexpr int max_tries = 10;
// Interface names are at most 15 characters long, as the kernel's are.
constexpr std::size_t max_interface_name = 15;
// Cycles in a row without its reply after which a target of several is
// reported as silent.
constexpr int silent_cycles_to_report = 3;

// One watched host of several.
struct watch_target {
    std::string text;  // as given in the list
    int family = AF_INET;
    struct sockaddr_storage address {};
    socklen_t address_length = 0;
    bool answered = false;  // in the current cycle
    int tries = 1;          // requests sent to it in the current cycle
    int silent_cycles = 0;  // cycles in a row without its reply, counted up to silent_cycles_to_report
};

struct text_file;

// Everything the watchdog keeps for one run: its settings from the command
// line and the state of the echo exchange that start_watchdog sets up. The
// main procedure owns the one record and hands it down by reference.
struct watchdog_state {
    watchdog_settings settings;
    int socket_fd = -1;
    text_file* result_file = nullptr;
    std::string result_path;
    int family = AF_INET;  // of the (first) target and of socket_fd
    struct sockaddr_storage target {};
    socklen_t target_length = sizeof(struct sockaddr_in);
    // The -ipaddr list; one entry for a single address, which is watched
    // with target and socket_fd alone.
    std::vector<watch_target> targets;
    // With targets of both families: the socket of the other family.
    int second_socket_fd = -1;
    uint16_t identifier = 0;
    int32_t sequence_counter = 0;
    // The sequence number of the current cycle's first request (all but the
    // plain cycle; its later tries carry the numbers that follow).
    uint16_t cycle_sequence = 0;
    // Requests sent, and the count at the latest accepted reply or interface
    // restart; in all but the plain cycle, cycles instead of requests.
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
    // The interface was restarted since the latest answered cycle.
    bool interface_restarted = false;
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
// A whole number from low to high written in decimal digits alone: its value
// in value, true. Otherwise false, and value holds atoi's reading of the text
// (for the run log), kept within int.
bool decimal_in_range(const std::string& text, int low, int high, int& value);

// Echo exchange and result file.
int open_result_file(watchdog_state& w, const std::string& path);
// Writes a record to the result file and flushes it; nothing without a file.
// Starts the result file afresh once it has grown past result_file_limit,
// and opens it again when an earlier opening failed. False when there is
// no file to write to.
bool empty_result_file_when_full(watchdog_state& w);
void write_result_text(watchdog_state& w, std::string_view text);
int build_echo_request(watchdog_state& w, int32_t sequence);
int build_echo_request(watchdog_state& w, int32_t sequence, int family);
void send_echo_request(watchdog_state& w);
void receive_reply(watchdog_state& w);
int examine_reply(watchdog_state& w, const unsigned char* packet, int length);
// Where the ICMP message of a packet read on a socket of the family
// starts: after the IPv4 header, or at 0 on an ICMPv6 socket.
int icmp_offset(int family, const unsigned char* packet, int length);
// Writes the record of an accepted reply read from a socket of the family,
// from receive_time, source and hop_limit. False when the result file could
// not be reopened (the record is lost).
bool write_reply_record(watchdog_state& w, int family, const unsigned char* packet, int length);
uint16_t internet_checksum(const unsigned char* bytes, int length);
void timeval_subtract(struct timeval& a, const struct timeval& b);
void close_watchdog(watchdog_state& w);
// Lets only echo replies carrying the identifier reach the socket.
void install_reply_filter(int fd, int family, uint16_t identifier);
// "Request timed out.\r", in a file kept bounded while the reboot limit holds.
void write_timed_out(watchdog_state& w);

// The target address.
inline int other_family(int family)
{
    return family == AF_INET ? AF_INET6 : AF_INET;
}
// AF_INET6 for an IPv6 literal (an optional %interface aside), else AF_INET.
int target_family(const std::string& text);
// Fills the target socket address; false when the text doesn't convert.
bool convert_target(watchdog_state& w, const std::string& text, int family);
// Whether other is the target's host: the same family and address, and for
// a target with an interface (link-local) that same interface.
bool same_host(const struct sockaddr_storage& target, const struct sockaddr_storage& other);
// Reads the -ipaddr list into targets: 1 to max_targets address literals
// separated by ',', no empty item, no address twice. False when refused.
bool read_target_list(const std::string& text, std::vector<watch_target>& targets);

// The cycle.
// Microseconds from the start of a cycle at which try number tries_sent
// (counted from 0) of a silent target is due: the tries are spread evenly
// over the budget. -1 when all tries are sent.
long long next_try_due(int timeout_seconds, int tries, int tries_sent);
// Whether a reply with this sequence number answers one of the tries_sent
// requests of the cycle, which carry first_sequence and the numbers after it.
bool reply_answers_try(uint16_t first_sequence, int tries_sent, uint16_t sequence);
// The target that a packet read in the cycle answers: an echo reply with the
// identifier and the sequence number of one of the cycle's requests to that
// target, from a target that has not answered yet in this cycle. Its index,
// or -1 when it counts for nothing.
int match_reply(const unsigned char* packet, int length, int family, const struct sockaddr_storage& source,
                uint16_t identifier, uint16_t first_sequence, const std::vector<watch_target>& targets);
// Whether at least `reliability` targets answered in the cycle.
bool cycle_answered(const std::vector<watch_target>& targets, int reliability);
// Waits until a descriptor of the set is readable, for at most slice and at
// most what is left of the budget, and takes the time waited, read on the
// monotonic clock, off it; a timeout takes the whole slice. (What select
// leaves in its timeout argument differs between C libraries, so it is
// never read back.) Returns as select does, with its errno.
int wait_within_budget(int highest_fd, fd_set& watched, long long& budget_left, long long slice);
// One cycle: sleep, send, wait for the replies within the budget. Returns
// 0, or -1 when a wait failed (sockets and result file then closed).
int watch_cycle(watchdog_state& w, bool first_cycle, int& highest_fd);
// Counts the cycle for each target and writes a run-log line when one
// stops answering or answers again.
void note_target_answers(watchdog_state& w);

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
// Whether the cycles without an answer since the latest answered one (in
// the plain cycle: the requests since the latest accepted reply) reached the
// failure count. A failure count of 0 never reboots.
bool reboot_due(const watchdog_state& w, uint16_t failure_count);
void reboot_sequence(watchdog_state& w);
int watch_loop(watchdog_state& w, uint16_t failure_count);
