// zelautoreboot's command-line walk on arbitrary argument vectors, then the
// scheduling and a bounded countdown instead of the endless one, all through
// the recording shell and the fake clock. The first three bytes choose the
// time of day; the rest are the arguments.
#include "fuzz_support.h"
#include "scheduled_reboot.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    fake::reset();
    const long day_second = static_cast<long>((data[0] << 16 | data[1] << 8 | data[2]) % 86400);
    fake::set_clock(1780000000 - 1780000000 % 86400 + day_second, 4120);
    fuzz::argument_vector args = fuzz::arguments_of("zelautoreboot", std::string(reinterpret_cast<const char*>(data + 3), size - 3));
    std::vector<std::string> words(args.argv() + 1, args.argv() + args.argc());

    std::string stamp = "07-12-2026 02:28:32.004120";
    reboot_schedule schedule;
    std::string line;
    if (walk_arguments(words, stamp, schedule, line) == 1 && schedule_reboot(schedule) == 0)
        run_countdown(schedule, 12);

    fuzz::check_commands(true);
    for (const std::string& c : fake::system_commands()) {
        if (c == "reboot")
            continue;
        if (c.find("echo '[") != 0 || c.find('\n') != std::string::npos ||
            !(ends_with(c, " /var/log/zelautoreboot") || ends_with(c, "' >> /etc/reboot_history"))) {
            std::fprintf(stderr, "unexpected command: %s\n", c.c_str());
            std::abort();
        }
    }
    // The full entry point too, when it can't start the endless countdown.
    if (walk_arguments(words, stamp, schedule, line) == 0) {
        fake::reset();
        zelautoreboot_main(args.argc(), args.argv());
        fuzz::check_commands(false);
    }
    return 0;
}
