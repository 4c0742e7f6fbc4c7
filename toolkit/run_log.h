// Run logs and other one-line text files appended through the shell.
#pragma once

#include <string>
#include <string_view>

// "[stamp] text"
std::string log_line(std::string_view stamp, std::string_view text);

// The command "echo 'LINE' >> PATH" (or "> PATH" to start the file afresh).
// Quotes in the line are escaped and line breaks become blanks, so the file
// always gains exactly one whole line.
std::string echo_command(std::string_view line, const char* path, bool replace = false);

// Runs echo_command through the shell.
void append_line(const std::string& line, const char* path);
void replace_with_line(const std::string& line, const char* path);
