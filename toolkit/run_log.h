// Run logs and other one-line text files: the line, and its writing in a
// shell call of its own.
#pragma once

#include <string>
#include <string_view>

// "[stamp] text"
std::string log_line(std::string_view stamp, std::string_view text);

// echo 'LINE' >> PATH (or > PATH), run at once: see append_line in commands.h.
void append_line(const std::string& line, const char* path);
void replace_with_line(const std::string& line, const char* path);
