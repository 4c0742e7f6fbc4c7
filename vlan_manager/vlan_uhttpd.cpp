// vlan-set-uhttpd: rewrites the web server's listen lists for the VLAN
// switch. Off: the web mode's list is 0.0.0.0:port alone. On: loopback plus
// the address of every VLAN section in use.
#include "handlers.h"

#include "batch.h"
#include "concat.h"
#include "interface_address.h"
#include "paths.h"
#include "queries.h"
#include "quote.h"
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

void append_entry(std::string& batch, const std::string& list, const std::string& address, int port) noexcept
{
    batch_append(batch, {"uci add_list ", list, "='", escape_single_quoted(address), ":", decimal(port), "'"});
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
        std::string batch;
        if (readable(own))
            batch_append(batch, {"uci delete ", own});
        append_entry(batch, own, "0.0.0.0", port);
        batch_append(batch, "uci commit uhttpd");
        run_batch_text(batch);
        if (readable(other))
            run_batch_text(join_parts({"uci delete ", other, ";uci commit uhttpd"}));
    }
    return join_parts({"0.0.0.0:", decimal(port)});
}

// The LAN waiting for DHCP: its live address and netmask go into vlan.cfg029c96.
void append_lan_refresh(std::string& batch) noexcept
{
    std::string proto;
    if (uci_get("network.lan.proto", proto) != 0 || proto.find("dhcp") == std::string::npos)
        return;
    if (append_live_lan_address(batch))
        batch_append(batch, "uci commit vlan");
    run_batch_text(batch);
    batch.clear();
}

std::string listen_on_vlans(const std::string& mode, int port) noexcept
{
    const std::string own = list_of_mode(mode);
    std::string batch, addresses;
    // Both lists go; only the web mode's list is filled again.
    if (readable("uhttpd.main.listen_http"))
        batch_append(batch, "uci delete uhttpd.main.listen_http");
    if (readable("uhttpd.main.listen_https"))
        batch_append(batch, "uci delete uhttpd.main.listen_https");

    for (int n = 0;; ++n) {
        const std::string section = join_parts({"vlan.@vlan[", decimal(n), "]"});
        std::string id, used, address;
        if (uci_get(join_parts({section, ".vlanid"}), id) != 0)
            break;
        if (vlan_id_value(id) == 0) {
            if (!own.empty())
                append_entry(batch, own, "127.0.0.1", port);
            addresses += "127.0.0.1 ";
            append_lan_refresh(batch);
        }
        if (uci_get(join_parts({section, ".vlan_used"}), used) != 0 || used.find("on") == std::string::npos)
            continue;
        if (uci_get(join_parts({section, ".ip"}), address) != 0)
            continue;
        if (!own.empty())
            append_entry(batch, own, address, port);
        append_parts(addresses, {address, " "});
        run_batch_text(batch);
        batch.clear();
    }
    batch_append(batch, "uci commit uhttpd");
    run_batch_text(batch);
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
