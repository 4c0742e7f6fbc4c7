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
    // The field up to the next '=', as the bare form has always been read
    // (runs of '=' count as one, leading ones are skipped).
    field_of(value, show_line_value(line), 0, '=');
    return 0;
}

// Reads one quoted item starting at the opening quote at pos into out; pos
// ends after the closing quote. False when the item is not closed.
static bool read_quoted_item(std::string_view text, std::size_t& pos, std::string& out)
{
    ++pos;
    for (;;) {
        std::size_t quote = text.find('\'', pos);
        if (quote == std::string_view::npos)
            return false;
        out.append(text, pos, quote - pos);
        pos = quote + 1;
        // '\'' is an embedded quote: the item goes on after it.
        if (text.compare(pos, 3, "\\''") != 0)
            return true;
        out += '\'';
        pos += 3;
    }
}

std::string show_value(std::string_view printed)
{
    if (printed.empty() || printed[0] != '\'')
        return std::string(printed);
    std::string value;
    std::size_t pos = 0;
    for (;;) {
        if (!read_quoted_item(printed, pos, value))
            return std::string(printed);
        if (pos == printed.size())
            return value;
        // Items of a list: one blank, then the next quoted item.
        if (printed.compare(pos, 2, " '") != 0)
            return std::string(printed);
        value += ' ';
        ++pos;
    }
}

std::string show_line_value(std::string_view line)
{
    std::size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : show_value(line.substr(equals + 1));
}

std::string wifi_ssid_at(int position)
{
    std::vector<std::string> lines;
    if (shell_read_lines(wifi_ssid_query(position), lines) != 0 || lines.empty())
        return "unknown";
    std::size_t at = lines.front().find("ssid=");
    return at == std::string::npos ? "unknown" : show_value(std::string_view(lines.front()).substr(at + 5));
}

std::string wifi_ssid_query(int position)
{
    return join_parts({"uci show wireless | grep \"iface\\[", decimal(position), "\\].ssid=\""});
}

std::string all_ssids_query()
{
    return "uci show wireless | grep \"ssid=\"";
}

std::string section_bridge_query(std::string_view config, int n)
{
    return join_parts({"uci show ", shell_quote(config), " -q | grep \"vlan\\[", decimal(n), "\\].bridge=\""});
}

std::string vlan_interfaces_query()
{
    return "uci show network -q | grep interface | grep vlan";
}

std::string vlansw_interfaces_query()
{
    return "uci show network | grep interface | grep vlansw";
}

std::string members_naming_query(std::string_view kind, std::string_view ifname)
{
    return join_parts({"uci show network | grep ", shell_quote(kind), " | grep ifname | grep ", shell_quote(ifname)});
}

std::string network_option_query(std::string_view side, std::string_view option)
{
    return join_parts({"uci show network | grep ", shell_quote(side), ".", shell_quote(option), "="});
}
