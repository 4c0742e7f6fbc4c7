// What the command procedures share: the parsed command line, error texts,
// and the steps of every command that loads a config or takes a key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "uci_delta.h"
#include "uci_files.h"
#include "uci_names.h"
#include "uci_show.h"

namespace uci {

struct context {
    store_dirs dirs;
    bool quiet = false;
    std::optional<show_form> form;  // unset: as the settings file says
    std::vector<std::string> args;  // the command and its arguments
    std::string* out = nullptr;
    std::string* err = nullptr;
};

int usage(context& ctx);
// Reports "uci: <message>" unless quiet; returns the failure status.
int fail(context& ctx, const std::string& message);
int fail_invalid(context& ctx);
int fail_missing(context& ctx);

// Loads a view. On failure reports it and returns false with status set;
// a missing config counts as nothing to do (status 0, no text) when
// quiet_missing.
bool load(context& ctx, const std::string& config, view_mode mode, config_view& view, int& status,
          bool quiet_missing = false);
// The same for reading: the view keeps what it read and its locks are let
// go at once.
bool read_config(context& ctx, const std::string& config, config_view& view, int& status,
                 bool quiet_missing = false);

// The single key argument of get, show, set, delete, add_list, del_list
// and revert, which carries "=value" exactly when with_value; false
// (reported) when there isn't exactly one or it doesn't fit.
bool key_argument(context& ctx, bool with_value, key& k, int& status);
// Index of the section the key names; -1, reported as not found, when none.
int keyed_section(context& ctx, const package& p, const key& k, int& status);
// The option the key names in s; null, reported as not found, when none.
option* keyed_option(context& ctx, section& s, const key& k, int& status);

// "CMD [<config>]": the named config, or each config listed in dir (a
// missing one is then quiet), with between printed between two of them.
int for_config_or_all(context& ctx, const std::string& dir,
                      int (*action)(context& ctx, const std::string& config, bool quiet_missing),
                      const char* between = "");

int cmd_get(context& ctx);
int cmd_show(context& ctx);
int cmd_changes(context& ctx);
int cmd_export(context& ctx);
// set, delete, add_list, del_list.
int cmd_change(context& ctx, change_kind kind);
int cmd_add(context& ctx);
int cmd_commit(context& ctx);
int cmd_revert(context& ctx);

}  // namespace uci
