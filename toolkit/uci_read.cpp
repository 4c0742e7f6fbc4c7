#include "uci_read.h"

#include "quote.h"
#include "system.h"
#include "text.h"

#include <vector>

int uci_get(const std::string& key, std::string& value)
{
    value.clear();
    std::vector<std::string> lines;
    if (shell_read_lines("uci get " + shell_quote_key(key) + " -q", lines) != 0 || lines.empty())
        return -1;
    value = lines.front();
    return 0;
}

int uci_show_value(const std::string& key, std::string& value)
{
    value.clear();
    std::vector<std::string> lines;
    if (shell_read_lines("uci show " + shell_quote_key(key) + " -q", lines) != 0 || lines.empty())
        return -1;
    std::size_t dot = key.rfind('.');
    std::string marker = (dot == std::string::npos ? key : key.substr(dot)) + "=";
    const std::string& line = lines.front();
    if (line.find(marker) == std::string::npos)
        return -1;
    field_of(value, line, 1, '=');
    return 0;
}
