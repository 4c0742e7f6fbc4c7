// Reading single UCI options through the uci command.
#pragma once

#include <string>
#include <string_view>

// Runs "uci get KEY -q"; 0 and the first printed line, or -1 and the empty
// text when nothing was printed or the command could not be started.
int uci_get(std::string_view key, std::string& value);

// Runs "uci show KEY -q"; 0 and the text after the first '=' run of the first
// line (up to the next '='), when that line holds ".<last part of key>=".
// Otherwise -1 and the empty text.
int uci_show_value(std::string_view key, std::string& value);
