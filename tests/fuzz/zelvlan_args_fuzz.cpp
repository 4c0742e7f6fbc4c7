// zelvlan's whole run on arbitrary argument vectors and arbitrary command
// output: the input is the arguments (separated by NUL bytes), then "\0\0"
// and the answers that the n-th command read gets (see fuzz_support.h), so
// every handler also meets hostile settings. Nothing reaches a real shell;
// no command may let a value start a command of its own, none may reboot,
// and the run ends with the one run-log line.
#include "dispatch.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string arguments, answers;
    fuzz::split_input(data, size, arguments, answers);
    fake::reset();
    fake::set_clock(1780000000, 4120);
    for (int a = 0; a < 4; ++a) {
        const std::string name = "ath" + std::to_string(a);
        fake::add_file("/var/run/wifi-" + name + ".pid");
        fake::add_file("/var/run/hostapd-" + name + ".conf");
        fake::add_file("/var/run/wpa_supplicant-" + name + ".conf");
    }
    fuzz::script_answers(answers);
    fuzz::argument_vector args = fuzz::arguments_of("zelvlan", arguments);
    if (zelvlan_main(args.argc(), args.argv()) != 0)
        std::abort();
    fuzz::check_commands(false);
    const auto commands = fake::system_commands();
    if (commands.empty() || commands.back().find("echo '[") != 0 ||
        commands.back().find("' >> /var/log/zelvlan") == std::string::npos)
        std::abort();
    return 0;
}
