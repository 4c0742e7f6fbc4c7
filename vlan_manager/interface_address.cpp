#include "interface_address.h"

#include "commands.h"
#include "concat.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// One "%d" of scanf: blanks skipped, an optional sign, digits. Returns the
// position after the number, or nullptr when there is none.
const char* scan_number(const char* text, int& out) noexcept
{
    char* end = nullptr;
    long number = std::strtol(text, &end, 10);
    if (end == text)
        return nullptr;
    out = static_cast<int>(number);
    return end;
}

// "%d.%d.%d.%d": stores as many numbers as it can read, the rest stay as they are.
void scan_quad(const char* text, int numbers[4]) noexcept
{
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (*text != '.')
                return;
            ++text;
        }
        text = scan_number(text, numbers[k]);
        if (!text)
            return;
    }
}

// "%*[^1-9]%d.%d.%d.%d": skips to the first digit 1 to 9, which finds the
// address in a UCI line whatever key or quote precedes it. At least one
// character must be skipped.
void scan_after_skip(const std::string& line, int numbers[4]) noexcept
{
    std::size_t first = line.find_first_of("123456789");
    if (first == std::string::npos || first == 0)
        return;
    scan_quad(line.c_str() + first, numbers);
}

enum class parse_kind { skip_scan, second_dns, ifconfig_field };

const int dhcp_tries = 7;

}  // namespace

int interface_address(const std::string& name, const std::string& quantity, uint32_t& value) noexcept
{
    value = 0;
    int numbers[4] = {0, 0, 0, 0};

    std::string command;
    parse_kind kind = parse_kind::skip_scan;
    const char* marker = nullptr;
    const char* side = name.find("lan") != std::string::npos   ? "lan"
                       : name.find("wan") != std::string::npos ? "wan"
                                                               : nullptr;
    if (quantity == "gateway" && side) {
        command = network_option_query(side, "gateway");
    } else if ((quantity == "dns1" || quantity == "dns2") && side) {
        command = network_option_query(side, "dns");
        if (quantity == "dns2")
            kind = parse_kind::second_dns;
    } else if ((quantity == "ipaddr" || quantity == "netmask") && name == "lan") {
        command = "ifconfig br-lan | grep \"inet addr\"";
        kind = parse_kind::ifconfig_field;
        marker = quantity == "ipaddr" ? "inet addr:" : "Mask:";
    } else {
        return -1;
    }

    std::vector<std::string> lines;
    if (shell_read_lines(command, lines) != 0 || lines.empty())
        return -1;
    const std::string& line = lines.front();

    int result = 0;
    switch (kind) {
    case parse_kind::skip_scan: {
        // The key, its '=' and the value as the bare form prints it.
        std::size_t equals = line.find('=');
        scan_after_skip(equals == std::string::npos ? line
                                                    : join_parts({std::string_view(line).substr(0, equals + 1),
                                                                  show_line_value(line)}),
                        numbers);
        break;
    }
    case parse_kind::second_dns: {
        std::string servers, second;
        field_of(servers, show_line_value(line), 0, '=');
        if (servers.find(' ') == std::string::npos) {
            result = -1;
            break;
        }
        field_of(second, servers, 1, ' ');
        scan_quad(second.c_str(), numbers);
        break;
    }
    case parse_kind::ifconfig_field: {
        std::size_t at = line.find(marker);
        if (at == std::string::npos) {
            result = -1;
            break;
        }
        scan_quad(line.c_str() + at + std::strlen(marker), numbers);
        break;
    }
    }

    // The numbers are joined as they are, without masking.
    value = static_cast<uint32_t>(numbers[0]) << 24 | static_cast<uint32_t>(numbers[1]) << 16 |
            static_cast<uint32_t>(numbers[2]) << 8 | static_cast<uint32_t>(numbers[3]);
    return result;
}

int interface_address_polled(const std::string& name, const std::string& quantity, uint32_t& value,
                             int tries) noexcept
{
    for (int attempt = 1; attempt <= tries; ++attempt) {
        if (interface_address(name, quantity, value) == 0)
            return 0;
        if (attempt < tries)
            sleep_seconds(1);
    }
    return -1;
}

std::string dotted_address(uint32_t value) noexcept
{
    return join_parts({decimal(value >> 24 & 0xff), ".", decimal(value >> 16 & 0xff), ".", decimal(value >> 8 & 0xff),
                       ".", decimal(value & 0xff)});
}

bool set_live_lan_address(command_batch& batch) noexcept
{
    bool set = false;
    uint32_t value = 0;
    if (interface_address_polled("lan", "ipaddr", value, dhcp_tries) == 0) {
        uci_set(batch, "vlan.cfg029c96.ip", dotted_address(value));
        set = true;
    }
    if (interface_address("lan", "netmask", value) == 0) {
        uci_set(batch, "vlan.cfg029c96.netmask", dotted_address(value));
        set = true;
    }
    return set;
}
