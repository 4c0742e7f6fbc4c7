#include "handlers.h"

#include "concat.h"
#include "paths.h"
#include "queries.h"
#include "quote.h"
#include "system.h"

#include <vector>

namespace {

// Positions 0 to 32 are listed; the list ends earlier at the first position
// without an SSID.
const int last_listed_position = 32;

// The SSID of Wi-Fi interface position, or "unknown".
std::string ssid_at(int position) noexcept
{
    std::string ssid = "unknown";
    std::vector<std::string> lines;
    if (shell_read_lines(wifi_ssid_query(position), lines) == 0 && !lines.empty()) {
        const std::string& line = lines.front();
        std::size_t at = line.find("ssid=");
        if (at != std::string::npos)
            ssid = line.substr(at + 5);
    }
    return ssid;
}

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

// One command writing one line to the file. echo is the usual form; a line
// holding a backslash goes through printf, since some shells' echo would
// read the backslash as an escape.
std::string write_line(const std::string& line, const char* redirect) noexcept
{
    const char* command = line.find('\\') != std::string::npos ? "printf '%s\\n' '" : "echo '";
    return join_parts({command, escape_single_quoted(line), "' ", redirect, paths::ssid_list});
}

}  // namespace

int main_get_wifi_ssid(int, char**) noexcept
{
    // The file always starts with the All Others entry, so with no SSID at
    // position 0 it holds that line alone rather than a stale list.
    std::string batch = write_line("\"All Others\" \"all\"", ">");
    for (int position = 0; position <= last_listed_position; ++position) {
        std::string ssid = ssid_at(position);
        if (ssid == "unknown")
            break;
        append_parts(batch,
                     {";", write_line(join_parts({"\"", file_label(ssid), "\" \"ath", decimal(position), "\""}), ">>")});
    }
    shell_run(batch);
    return 0;
}
