// uci: the configuration store's command.
#include <string>

#include "uci_commands.h"
#include "uci_files.h"

int main(int argc, char** argv)
{
    std::string out, err;
    int status = uci::run_command(argc, argv, out, err);
    uci::write_all(1, out);
    uci::write_all(2, err);
    return status;
}
