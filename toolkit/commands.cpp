#include "commands.h"

#include "concat.h"
#include "paths.h"
#include "quote.h"
#include "system.h"

namespace {

void add(command_batch& batch, std::initializer_list<text_part> parts) noexcept
{
    if (!batch.text.empty())
        batch.text += ';';
    append_parts(batch.text, parts);
}

// 'VALUE' whatever the value holds.
std::string always_quoted(std::string_view value) noexcept
{
    return join_parts({"'", escape_single_quoted(value), "'"});
}

// The name in a place between double quotes: a bare name has no character
// that means anything there; any other leaves the double quotes for its
// single-quoted form and comes back into them.
std::string in_double_quotes(std::string_view name) noexcept
{
    std::string quoted = shell_quote(name);
    return quoted == name ? quoted : join_parts({"\"", quoted, "\""});
}

}  // namespace

void run_batch(command_batch& batch) noexcept
{
    if (!batch.text.empty())
        shell_run(batch.text);
    batch.text.clear();
}

void uci_set(command_batch& batch, std::string_view key, std::string_view value) noexcept
{
    add(batch, {"uci set ", shell_quote_key(key), "=", shell_quote(value)});
}

void uci_set_members(command_batch& batch, std::string_view key, std::string_view members) noexcept
{
    add(batch, {"uci set ", shell_quote_key(key), "=", always_quoted(members)});
}

void uci_add_list(command_batch& batch, std::string_view key, std::string_view value) noexcept
{
    add(batch, {"uci add_list ", shell_quote_key(key), "=", always_quoted(value)});
}

void uci_delete(command_batch& batch, std::string_view key) noexcept
{
    add(batch, {"uci delete ", shell_quote_key(key)});
}

void uci_commit(command_batch& batch, std::string_view config) noexcept
{
    add(batch, {"uci commit ", shell_quote(config)});
}

void bridge_add_interface(command_batch& batch, std::string_view bridge, std::string_view interface) noexcept
{
    add(batch, {"brctl addif ", shell_quote(bridge), " ", shell_quote(interface)});
}

void vlan_ingress_map(command_batch& batch, std::string_view device, int priority, int qos) noexcept
{
    add(batch, {"vconfig set_ingress_map ", shell_quote(device), " ", decimal(priority), " ", decimal(qos)});
}

void vlan_egress_map(command_batch& batch, std::string_view device, int priority, int qos) noexcept
{
    add(batch, {"vconfig set_egress_map ", shell_quote(device), " ", decimal(priority), " ", decimal(qos)});
}

static void echo_line(command_batch& batch, std::string_view line, const char* path, const char* redirect) noexcept
{
    std::string flat(line);
    for (char& c : flat)
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    add(batch, {"echo '", escape_single_quoted(flat), redirect, path});
}

void append_line(command_batch& batch, std::string_view line, const char* path) noexcept
{
    echo_line(batch, line, path, "' >> ");
}

void replace_with_line(command_batch& batch, std::string_view line, const char* path) noexcept
{
    echo_line(batch, line, path, "' > ");
}

void write_list_line(command_batch& batch, std::string_view line, const char* path, bool start_afresh) noexcept
{
    const char* command = line.find('\\') != std::string_view::npos ? "printf '%s\\n' '" : "echo '";
    add(batch, {command, escape_single_quoted(line), start_afresh ? "' >" : "' >>", path});
}

void set_tx_power(command_batch& batch, std::string_view ifname, int dbm) noexcept
{
    add(batch, {"iwconfig ", shell_quote(ifname), " txpower ", decimal(dbm)});
}

void pause_seconds(command_batch& batch, int seconds) noexcept
{
    add(batch, {"sleep ", decimal(seconds)});
}

void record_tx_power(command_batch& batch, std::string_view ifname, bool own_file) noexcept
{
    const std::string name = shell_quote(ifname);
    add(batch, {"echo \"", in_double_quotes(ifname), ":$(iwconfig ", name,
                " | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > ", own_file ? paths::max_txpower_prefix : "",
                own_file ? std::string_view(name) : std::string_view(paths::max_txpower)});
}

bool plain_name(std::string_view name) noexcept
{
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

bool restart_hostapd(command_batch& batch, std::string_view conf, std::string_view pid,
                     std::string_view bridge) noexcept
{
    if (!plain_name(bridge))
        return false;
    const std::string conf_word = shell_quote(conf), pid_word = shell_quote(pid);
    add(batch, {"sed -i \"s/bridge=br-lan/bridge=br-", bridge, "/g\" ", conf_word});
    add(batch, {"kill `cat ", pid_word, "`"});
    add(batch, {"hostapd -P ", pid_word, " -B ", conf_word});
    return true;
}

bool restart_wpa_supplicant(command_batch& batch, std::string_view ifname, std::string_view conf,
                            std::string_view pid, std::string_view bridge) noexcept
{
    if (!plain_name(bridge))
        return false;
    const std::string pid_word = shell_quote(pid);
    add(batch, {"kill `cat ", pid_word, "`"});
    add(batch, {"wpa_supplicant -b br-", bridge, " -B -P ", pid_word, " -D athr -i ", shell_quote(ifname), " -c ",
                shell_quote(conf)});
    return true;
}

void interface_up(command_batch& batch, std::string_view name) noexcept
{
    add(batch, {"ifup ", shell_quote(name)});
}

void reboot_device() noexcept
{
    shell_run("reboot");
}
