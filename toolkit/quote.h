// Quoting of values pasted into shell commands.
#pragma once

#include <string>

// A value made only of letters, digits and ._-:/@%+,= is returned bare, so
// ordinary commands read as usual; anything else (the empty text included)
// comes back single-quoted with each ' written '\''.
std::string shell_quote(const std::string& value);

// For text placed between single quotes that the command already has
// (echo '...' >> log): each ' becomes '\''.
std::string escape_single_quoted(const std::string& text);

// Like shell_quote, but UCI keys may also hold '@', '[' and ']' bare
// (vlan.@vlan[2].ip), as callers of uci write them.
std::string shell_quote_key(const std::string& key);
