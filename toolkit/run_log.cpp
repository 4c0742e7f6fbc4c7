#include "run_log.h"

#include "concat.h"
#include "quote.h"
#include "system.h"

std::string log_line(std::string_view stamp, std::string_view text)
{
    return join_parts({"[", stamp, "] ", text});
}

std::string echo_command(std::string_view line, const char* path, bool replace)
{
    std::string flat(line);
    for (char& c : flat)
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    return join_parts({"echo '", escape_single_quoted(flat), replace ? "' > " : "' >> ", path});
}

void append_line(const std::string& line, const char* path)
{
    shell_run(echo_command(line, path));
}

void replace_with_line(const std::string& line, const char* path)
{
    shell_run(echo_command(line, path, true));
}
