#include "batch.h"

#include "concat.h"
#include "system.h"
#include "text.h"

int run_batch(std::string& batch)
{
    std::size_t doubled = batch.find(";;");
    if (doubled != std::string::npos)
        splice_text(batch, doubled, 2, ";");
    shell_run(!batch.empty() && batch[0] == ';' ? batch.substr(1) : batch);
    return 0;
}

void run_batch_text(const std::string& batch)
{
    std::string command = !batch.empty() && batch[0] == ';' ? batch.substr(1) : batch;
    if (!command.empty())
        shell_run(command);
}

void batch_append(std::string& batch, std::string_view command)
{
    if (!batch.empty())
        batch += ';';
    batch += command;
}

void batch_append(std::string& batch, std::initializer_list<text_part> command_parts)
{
    if (!batch.empty())
        batch += ';';
    append_parts(batch, command_parts);
}
