// The uci command line: options, commands and their output.
#pragma once

#include <optional>
#include <string>

#include "uci_show.h"

namespace uci {

// Runs one command line (argv[0] is the program). What belongs on standard
// output goes to out, error and usage texts to err; returns the exit status.
// show prints in the given form, or, without one, in the form the settings
// file asks for.
int run_command(int argc, char** argv, std::string& out, std::string& err,
                std::optional<show_form> form = std::nullopt);

}  // namespace uci
