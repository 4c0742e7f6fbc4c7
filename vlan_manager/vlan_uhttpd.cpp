// vlan-set-uhttpd: rewrites the web server's listen lists for the VLAN
// switch. Off: the web mode's list is 0.0.0.0:port alone. On: loopback plus
// the address of every VLAN section in use.
#include "handlers.h"

#include "commands.h"
#include "concat.h"
#include "interface_address.h"
#include "paths.h"
#include "queries.h"
#include "run_log.h"
#include "text.h"
#include "uci_read.h"

#include <string>

namespace {

const int default_port = 80;

bool readable(const std::string& key) noexcept
{
    std::string value;
    return uci_get(key, value) == 0;
}

// The list that gets the entries for a web mode; the empty text for a mode
// that has none.
std::string list_of_mode(const std::string& mode) noexcept
{
    if (mode == "HTTP")
        return "uhttpd.main.listen_http";
    if (mode == "HTTPS")
        return "uhttpd.main.listen_https";
    return "";
}

void add_entry(command_batch& batch, const std::string& list, const std::string& address, int port) noexcept
{
    uci_add_list(batch, list, join_parts({address, ":", decimal(port)}));
}

// -webport=N as the third argument; 80 when it is absent or names another option.
int port_of(int argc, char** argv) noexcept
{
    if (argc < 3 || !argv[2])
        return default_port;
    std::string name, value;
    field_of(name, argv[2], 0, '=');
    if (name.find("-webport") == std::string::npos)
        return default_port;
    field_of(value, argv[2], 1, '=');
    return vlan_id_value(value);
}

std::string listen_everywhere(const std::string& mode, int port) noexcept
{
    const std::string own = list_of_mode(mode);
    if (!own.empty()) {
        const std::string other = mode == "HTTP" ? "uhttpd.main.listen_https" : "uhttpd.main.listen_http";
        command_batch batch;
        if (readable(own))
            uci_delete(batch, own);
        add_entry(batch, own, "0.0.0.0", port);
        uci_commit(batch, "uhttpd");
        run_batch(batch);
        if (readable(other)) {
            uci_delete(batch, other);
            uci_commit(batch, "uhttpd");
            run_batch(batch);
        }
    }
    return join_parts({"0.0.0.0:", decimal(port)});
}

// The LAN waiting for DHCP: its live address and netmask go into
// vlan.cfg029c96, with whatever the batch holds so far.
void refresh_dhcp_lan(command_batch& batch) noexcept
{
    std::string proto;
    if (uci_get("network.lan.proto", proto) != 0 || proto.find("dhcp") == std::string::npos)
        return;
    if (set_live_lan_address(batch))
        uci_commit(batch, "vlan");
    run_batch(batch);
}

std::string listen_on_vlans(const std::string& mode, int port) noexcept
{
    const std::string own = list_of_mode(mode);
    command_batch batch;
    std::string addresses;
    // Both lists go; only the web mode's list is filled again.
    if (readable("uhttpd.main.listen_http"))
        uci_delete(batch, "uhttpd.main.listen_http");
    if (readable("uhttpd.main.listen_https"))
        uci_delete(batch, "uhttpd.main.listen_https");

    for (vlan_section section; next_vlan_section("vlan", walk_end::missing_vlanid, section);) {
        std::string used, address;
        if (vlan_id_value(section.vlanid) == 0) {
            if (!own.empty())
                add_entry(batch, own, "127.0.0.1", port);
            addresses += "127.0.0.1 ";
            refresh_dhcp_lan(batch);
        }
        if (section_option(section, "vlan_used", used) != 0 || used.find("on") == std::string::npos)
            continue;
        if (section_option(section, "ip", address) != 0)
            continue;
        if (!own.empty())
            add_entry(batch, own, address, port);
        append_parts(addresses, {address, " "});
        run_batch(batch);
    }
    uci_commit(batch, "uhttpd");
    run_batch(batch);
    return addresses;
}

}  // namespace

int main_vlan_uhttpd(int argc, char** argv) noexcept
{
    std::string mode, enabled;
    uci_get("dropbear.webname.webmode", mode);
    const int port = port_of(argc, argv);
    const bool vlans_on = uci_get("vlanac.activation.enabled", enabled) == 0 && vlan_id_value(enabled) != 0;

    const std::string addresses = vlans_on ? listen_on_vlans(mode, port) : listen_everywhere(mode, port);

    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, join_parts({"Running ", mode, "...[Port]=[", decimal(port), "] at IP=", addresses})),
                paths::vlan_log);
    return 0;
}
