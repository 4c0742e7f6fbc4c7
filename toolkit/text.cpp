#include "text.h"

#include "concat.h"
#include "system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

int splice_text(std::string& text, std::size_t pos, int16_t n, const char* replacement)
{
    if (pos > text.size())
        pos = text.size();
    std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    text.replace(pos, count, replacement ? replacement : "");
    return 0;
}

int count_fields(const std::string& text, int& out, char delimiter)
{
    int hits = 0;
    for (char c : text)
        if (c == delimiter)
            ++hits;
    out = hits + 1;
    return 0;
}

int count_semicolon_fields(const std::string& text, int& out)
{
    return count_fields(text, out, ';');
}

int field_of(std::string& dest, const std::string& text, uint16_t index, char delimiter)
{
    std::size_t pos = 0;
    unsigned number = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        while (pos < size && text[pos] == delimiter)
            ++pos;
        if (pos == size)
            break;
        std::size_t end = text.find(delimiter, pos);
        if (end == std::string::npos)
            end = size;
        if (number == index) {
            dest.assign(text, pos, end - pos);
            return 0;
        }
        ++number;
        pos = end;
    }
    dest.clear();
    return 0;
}

int semicolon_field_of(std::string& dest, const std::string& text, uint16_t index)
{
    return field_of(dest, text, index, ';');
}

static int calendar_text(std::string& dest, time_t seconds)
{
    char buffer[64];
    if (!ctime_r(&seconds, buffer))
        return -1;
    dest = buffer;
    return 0;
}

int current_time_text(std::string& dest)
{
    struct timeval now;
    if (clock_read(now) != 0) {
        errno = errno ? errno : EINVAL;
        std::perror("date: Error in determining the current calender time");
        return -1;
    }
    return calendar_text(dest, now.tv_sec);
}

int month_number(const std::string& name, uint8_t& out)
{
    static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (name == months[i]) {
            out = static_cast<uint8_t>(i + 1);
            return 0;
        }
    }
    out = 13;
    return 0;
}

int reorder_date_text(std::string& text)
{
    int n = 0;
    count_fields(text, n, ' ');
    std::string month_name, day, time_of_day, year;
    field_of(month_name, text, 1, ' ');
    uint8_t month = 13;
    month_number(month_name, month);
    field_of(day, text, static_cast<uint16_t>(n - 3), ' ');
    field_of(time_of_day, text, static_cast<uint16_t>(n - 2), ' ');
    field_of(year, text, static_cast<uint16_t>(n - 1), ' ');
    int day_number = std::atoi(day.c_str()) % 256;
    char head[16];
    std::snprintf(head, sizeof head, "%02d-%02d-", day_number, month);
    std::string padded_year = year.size() < 4 ? std::string(4 - year.size(), ' ') + year : year;
    text = join_parts({head, padded_year, " ", time_of_day});
    return 0;
}

static std::string stamp_from(const std::string& calendar, long microseconds)
{
    std::string text = calendar;
    if (!text.empty())
        text.pop_back();  // the newline
    std::size_t blanks = text.find("  ");
    if (blanks != std::string::npos)
        text[blanks + 1] = '0';
    reorder_date_text(text);
    char micro[16];
    std::snprintf(micro, sizeof micro, ".%06ld", microseconds);
    text += micro;
    return text;
}

std::string time_stamp_of(const struct timeval& when)
{
    std::string calendar;
    if (calendar_text(calendar, when.tv_sec) != 0)
        return std::string();
    return stamp_from(calendar, static_cast<long>(when.tv_usec));
}

// One clock reading gives the date, the seconds and the microseconds, so the
// stamp never pairs the microseconds of one second with the text of the next.
int time_stamp(std::string& dest)
{
    struct timeval now;
    if (clock_read(now) != 0) {
        std::perror("date: Error in determining the current calender time");
        return 0;
    }
    std::string stamp = time_stamp_of(now);
    if (!stamp.empty())
        dest = stamp;
    return 0;
}
