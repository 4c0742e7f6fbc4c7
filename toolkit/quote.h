// Quoting of values pasted into shell commands. Only the command writer
// (commands.cpp) and the UCI readers (uci_read.cpp) quote: handlers say what
// they want done and never build shell syntax themselves.
#pragma once

#include <string>
#include <string_view>

// A value made only of letters, digits and ._-:/@%+,= is returned bare, so
// ordinary commands read as usual; anything else (the empty text included)
// comes back single-quoted with each ' written '\''.
std::string shell_quote(std::string_view value);

// For text placed between single quotes that the command already has
// (echo '...' >> log): each ' becomes '\''.
std::string escape_single_quoted(std::string_view text);

// Like shell_quote, but UCI keys may also hold '@', '[' and ']' bare
// (vlan.@vlan[2].ip), as callers of uci write them.
std::string shell_quote_key(std::string_view key);
