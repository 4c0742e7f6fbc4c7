// Text fields and time stamps: how the tools cut arguments and command output.
#pragma once

#include <cstdint>
#include <string>

// Replaces the n characters at pos by replacement (null counts as empty).
// n beyond the end of the text is clipped to the end.
int splice_text(std::string& text, std::size_t pos, int16_t n, const char* replacement);

// out = number of delimiter characters in the text plus one (every delimiter
// counts, adjacent, leading and trailing ones too).
int count_fields(const std::string& text, int& out, char delimiter);
int count_semicolon_fields(const std::string& text, int& out);

// dest = field number index of the text, split with strtok rules (runs of
// delimiters separate like one, leading ones are skipped, no field is empty),
// or the empty text when there is no such field.
int field_of(std::string& dest, const std::string& text, uint16_t index, char delimiter);
int semicolon_field_of(std::string& dest, const std::string& text, uint16_t index);

// dest = ctime text of the current local time (ends in a newline); -1 with a
// message on stderr when the clock can't be read.
int current_time_text(std::string& dest);

// out = 1..12 for "Jan".."Dec", 13 for anything else (exact, case-sensitive).
int month_number(const std::string& name, uint8_t& out);

// Rewrites 'Www Mmm DD hh:mm:ss yyyy' (single blanks) as 'DD-MM-YYYY hh:mm:ss'.
int reorder_date_text(std::string& text);

// dest = 'DD-MM-YYYY HH:MM:SS.uuuuuu' in local time, from one clock reading.
// On a clock failure dest is left as it was.
int time_stamp(std::string& dest);

// Builds the time stamp text for a given clock reading.
std::string time_stamp_of(const struct timeval& when);
