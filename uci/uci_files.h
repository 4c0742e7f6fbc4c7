// The store on disk: locked reads of a config and its staged changes,
// staging, commit and revert.
//
// A config file is never written in place: commit writes a temporary file
// beside it and renames it over the config. Locks are flock locks on the
// config file (shared for reading and staging, exclusive for commit) and on
// its staged-changes file in the save directory (shared for reading,
// exclusive for changing it). Locks are always taken config first.
#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

#include "uci_config.h"
#include "uci_delta.h"

namespace uci {

struct store_dirs {
    std::string confdir = "/etc/config";
    std::string savedir = "/tmp/.uci";
};

enum class view_mode { read, stage, commit };

struct config_view {
    int config_fd = -1;
    int delta_fd = -1;
    struct stat config_stat {};
    bool delta_empty = true;
    package pkg;                    // the file with the staged changes applied
    std::vector<change> changes;    // still to be committed
};

// Result codes of the store; the message carries the details.
enum class store_status { ok, not_found, parse_failed, io_error };

// Opens and locks the config and its staged changes for the mode and builds
// the view. On failure nothing is held and message says why.
store_status load_view(const store_dirs& dirs, const std::string& config, view_mode mode,
                       config_view& view, std::string& message);
void close_view(config_view& view);

// Closes a view, and so lets go of its locks, when it goes out of scope;
// keep() hands the open view on instead.
class view_closer {
public:
    explicit view_closer(config_view& view) : view_(&view) {}
    view_closer(const view_closer&) = delete;
    view_closer& operator=(const view_closer&) = delete;
    ~view_closer()
    {
        if (view_)
            close_view(*view_);
    }
    void keep() { view_ = nullptr; }

private:
    config_view* view_;
};

// Appends changes to the staged-changes file (the view must be in stage
// mode) and to the view.
store_status stage(config_view& view, const std::vector<change>& changes, std::string& message);

// Writes the view's package as the new config (commit mode) and clears the
// staged changes.
store_status commit(const store_dirs& dirs, config_view& view, std::string& message);

// Replaces the staged changes by 'kept' (stage mode).
store_status rewrite_staged(config_view& view, const std::vector<change>& kept, std::string& message);

// Config names of a directory: regular files with valid names, sorted.
void list_configs(const std::string& dir, std::vector<std::string>& names);

// Writes the whole text, resuming after interruptions; false on an error.
bool write_all(int fd, const std::string& text);

// The whole content of an open file.
bool read_all(int fd, std::string& out);

// The whole content of the file at path; false when it can't be read.
bool read_file(const std::string& path, std::string& out);

}  // namespace uci
