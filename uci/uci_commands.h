// The uci command line: options, commands and their output.
#pragma once

#include <string>

namespace uci {

// Runs one command line (argv[0] is the program). What belongs on standard
// output goes to out, error and usage texts to err; returns the exit status.
int run_command(int argc, char** argv, std::string& out, std::string& err);

}  // namespace uci
