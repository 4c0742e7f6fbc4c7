#include "run_log.h"

#include "commands.h"
#include "concat.h"

std::string log_line(std::string_view stamp, std::string_view text)
{
    return join_parts({"[", stamp, "] ", text});
}

void append_line(const std::string& line, const char* path)
{
    command_batch batch;
    append_line(batch, line, path);
    run_batch(batch);
}

void replace_with_line(const std::string& line, const char* path)
{
    command_batch batch;
    replace_with_line(batch, line, path);
    run_batch(batch);
}
