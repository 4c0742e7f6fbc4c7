// zelpingwdog's command-line walk on arbitrary argument vectors, through
// the recording shell. The fake has no protocols database, so a starting
// argument ("--app=pingwdog") runs the start-up only up to the protocol
// lookup: the start line is written and the walk goes on, but no result
// file, no socket and no watch loop is reached.
#include "fuzz_support.h"
#include "text.h"
#include "watchdog.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fake::reset();
    fake::set_clock(1780000000, 4120);
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::argument_vector args = fuzz::arguments_of("zelpingwdog", text, 64);
    int starts = 0;
    for (int i = 1; i < args.argc(); ++i) {
        std::string name, value;
        field_of(name, args.argv()[i], 0, '=');
        field_of(value, args.argv()[i], 1, '=');
        starts += name.find("--app") != std::string::npos && value == "pingwdog";
        low16_of_decimal(value);
    }
    static watchdog_state w;
    w.settings = watchdog_settings();
    w.settings.result_dir = "/nonexistent/zelpingwdog-fuzz/";
    if (run_command_line(args.argc(), args.argv(), w) != 0)
        std::abort();
    fuzz::check_commands(false);
    const auto commands = fake::system_commands();
    // A start line per start, then the one line of the walk (empty when no
    // argument matched an option); all whole lines appended to the run log.
    if (commands.size() != static_cast<std::size_t>(starts) + 1)
        std::abort();
    for (const std::string& c : commands)
        if ((c.find("echo '[") != 0 && c.find("echo '' ") != 0) || c.find('\n') != std::string::npos ||
            c.size() < 26 || c.compare(c.size() - 25, 25, "' >> /var/log/zelpingwdog") != 0)
            std::abort();
    if (w.socket_fd != -1 || w.result_file || !fake::raw_sockets().empty())
        std::abort();
    return 0;
}
