#include "run_log.h"

#include "quote.h"
#include "system.h"

std::string log_line(const std::string& stamp, const std::string& text)
{
    return "[" + stamp + "] " + text;
}

std::string echo_command(const std::string& line, const char* path, bool replace)
{
    std::string flat = line;
    for (char& c : flat)
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    return "echo '" + escape_single_quoted(flat) + (replace ? "' > " : "' >> ") + path;
}

void append_line(const std::string& line, const char* path)
{
    shell_run(echo_command(line, path));
}

void replace_with_line(const std::string& line, const char* path)
{
    shell_run(echo_command(line, path, true));
}
