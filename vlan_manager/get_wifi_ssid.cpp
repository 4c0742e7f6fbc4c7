#include "handlers.h"

#include "commands.h"
#include "concat.h"
#include "paths.h"
#include "queries.h"
#include "uci_read.h"

namespace {

// Positions 0 to 32 are listed; the list ends earlier at the first position
// without an SSID.
const int last_listed_position = 32;

// The label goes between double quotes in the file: a '"' or '\' inside it
// is written with a backslash before it, so a reader can find where the
// label ends. Ordinary SSIDs are written as they are.
std::string file_label(const std::string& ssid) noexcept
{
    std::string out;
    for (char c : ssid) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

int main_get_wifi_ssid(int, char**) noexcept
{
    // The file always starts with the All Others entry, so with no SSID at
    // position 0 it holds that line alone rather than a stale list.
    command_batch batch;
    write_list_line(batch, "\"All Others\" \"all\"", paths::ssid_list, true);
    for (int position = 0; position <= last_listed_position; ++position) {
        std::string ssid = wifi_ssid_at(position);
        if (ssid == "unknown")
            break;
        write_list_line(batch, join_parts({"\"", file_label(ssid), "\" \"ath", decimal(position), "\""}),
                        paths::ssid_list, false);
    }
    run_batch(batch);
    return 0;
}
