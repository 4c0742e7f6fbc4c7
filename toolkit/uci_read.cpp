#include "uci_read.h"

#include "concat.h"
#include "quote.h"
#include "system.h"
#include "text.h"

#include <vector>

int uci_get(std::string_view key, std::string& value)
{
    value.clear();
    std::vector<std::string> lines;
    if (shell_read_lines(join_parts({"uci get ", shell_quote_key(key), " -q"}), lines) != 0 || lines.empty())
        return -1;
    value = lines.front();
    return 0;
}

int uci_show_value(std::string_view key, std::string& value)
{
    value.clear();
    std::vector<std::string> lines;
    if (shell_read_lines(join_parts({"uci show ", shell_quote_key(key), " -q"}), lines) != 0 || lines.empty())
        return -1;
    std::size_t dot = key.rfind('.');
    const std::string marker = join_parts({dot == std::string_view::npos ? key : key.substr(dot), "="});
    const std::string& line = lines.front();
    if (line.find(marker) == std::string::npos)
        return -1;
    field_of(value, line, 1, '=');
    return 0;
}
