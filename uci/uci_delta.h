// Staged changes of one config: their records, text form and application.
#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

#include "uci_config.h"

namespace uci {

enum class change_kind { section, add, set, remove, add_list, del_list };

// Sections are always named by their real or generated name, resolved when
// the change was staged, so later additions do not shift what it means.
struct change {
    change_kind kind = change_kind::set;
    std::string section;
    std::string option;   // empty for section-level changes
    std::string value;    // the type for section and add
};

// Identity of a config file as a commit left it: a staged-changes file that
// ends in a marker matching the config on disk was already applied (the
// committing process stopped before it could clear it).
struct file_identity {
    unsigned long long dev = 0, ino = 0, size = 0, mtime_sec = 0, mtime_nsec = 0;
};
file_identity identity_of(const struct stat& st);

// One line per change, newline-terminated.
void append_change_line(std::string& out, const change& c);
void append_marker_line(std::string& out, const file_identity& id);

// Reads staged changes; everything up to a marker that matches 'current' is
// dropped. Lines that are not understood, and a last line without its line
// end, are skipped.
void parse_changes(const std::string& text, const file_identity& current, std::vector<change>& out);

// Applies one change; false when it no longer fits (its section vanished),
// in which case p is unchanged. Changes meant for a section added under a
// name that was taken meanwhile follow it under its new name.
struct apply_state {
    std::vector<std::pair<std::string, std::string>> renamed;
};
bool apply_change(package& p, const change& c, apply_state& state);
void apply_changes(package& p, const std::vector<change>& changes);

// The "uci changes" line of a change: conf.sec.opt='v', -conf.sec, ...
void append_change_display(std::string& out, const std::string& config, const change& c);

}  // namespace uci
