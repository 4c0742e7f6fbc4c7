// zelmaxtxpower on arbitrary argument vectors and command output (the
// input as for zelvlan_args_fuzz). No command may let the interface name or
// an answer start a command, and the interface name can't reach a path
// outside the TX power files.
#include "fuzz_support.h"
#include "text.h"
#include "tx_power_probe.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The switch error goes to standard output; keep it off the fuzzer's.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string arguments, answers;
    fuzz::split_input(data, size, arguments, answers);
    fake::reset();
    fake::set_clock(1780000000, 4120);
    fuzz::script_answers(answers);
    fuzz::argument_vector args = fuzz::arguments_of("zelmaxtxpower", arguments);
    int status = zelmaxtxpower_main(args.argc(), args.argv());
    if (status != 0 && status != -1)
        std::abort();
    fuzz::check_commands(false);
    // A name with a directory in it must not become a file name.
    if (args.argc() > 2) {
        std::string ifname;
        field_of(ifname, args.argv()[2], 1, '=');
        if (ifname.find('/') != std::string::npos)
            for (const std::string& c : fake::system_commands())
                if (c.find("/var/max_txpower_") != std::string::npos) {
                    std::fprintf(stderr, "interface name with '/' in a path: %s\n", c.c_str());
                    std::abort();
                }
    }
    return 0;
}
