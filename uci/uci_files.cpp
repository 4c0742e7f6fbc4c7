// The store on disk.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "uci_files.h"
#include "uci_names.h"

namespace uci {

namespace {

std::string config_path(const store_dirs& dirs, const std::string& config)
{
    return dirs.confdir + "/" + config;
}

std::string delta_path(const store_dirs& dirs, const std::string& config)
{
    return dirs.savedir + "/" + config;
}

int lock_fd(int fd, int op)
{
    while (flock(fd, op) != 0)
        if (errno != EINTR)
            return -1;
    return 0;
}

// Opens and locks the file now at 'path'. A commit may rename a new file
// over it while we wait for the lock; then the lock is on a file nobody
// reads any more, and we try again with the new one.
int open_locked(const std::string& path, int op, struct stat& st)
{
    for (;;) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        struct stat now;
        if (lock_fd(fd, op) != 0 || fstat(fd, &st) != 0) {
            int e = errno;
            close(fd);
            errno = e;
            return -1;
        }
        if (stat(path.c_str(), &now) != 0) {
            close(fd);
            errno = ENOENT;
            return -1;
        }
        if (now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            if (!S_ISREG(st.st_mode)) {
                close(fd);
                errno = ENOENT;
                return -1;
            }
            return fd;
        }
        close(fd);
    }
}


bool make_dirs(const std::string& dir)
{
    if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    if (!make_dirs(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string io_message(const char* what, const std::string& path)
{
    return std::string("I/O error (") + what + " " + path + ": " + std::strerror(errno) + ")";
}

// Temporary files of commits that were stopped before their rename. Only
// called with the config's exclusive lock held, so none of them is live.
void remove_stale_temps(const store_dirs& dirs, const std::string& config)
{
    DIR* d = opendir(dirs.confdir.c_str());
    if (!d)
        return;
    std::string prefix = "." + config + ".uci-";
    while (struct dirent* e = readdir(d))
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
            unlinkat(dirfd(d), e->d_name, 0);
    closedir(d);
}

}  // namespace

bool write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

bool read_all(int fd, std::string& out)
{
    // Straight into the string: a bounce buffer would touch as many fresh
    // pages again, and page faults are most of what a short run costs.
    struct stat st;
    size_t want = fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096;
    out.clear();
    size_t used = 0;
    for (;;) {
        if (out.size() == used)
            out.resize(used < want ? want : used * 2);
        ssize_t r = read(fd, &out[used], out.size() - used);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            out.resize(used);
            return false;
        }
        if (r == 0) {
            out.resize(used);
            return true;
        }
        used += static_cast<size_t>(r);
    }
}

bool read_file(const std::string& path, std::string& out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = read_all(fd, out);
    close(fd);
    return ok;
}

void close_view(config_view& view)
{
    if (view.delta_fd >= 0)
        close(view.delta_fd);
    if (view.config_fd >= 0)
        close(view.config_fd);
    view.delta_fd = view.config_fd = -1;
}

store_status load_view(const store_dirs& dirs, const std::string& config, view_mode mode,
                       config_view& view, std::string& message)
{
    close_view(view);
    view.pkg = package();
    view.pkg.name = config;
    view.changes.clear();
    view.delta_empty = true;

    // Every failure below leaves nothing held.
    view_closer closer(view);
    const std::string path = config_path(dirs, config);
    view.config_fd = open_locked(path, mode == view_mode::commit ? LOCK_EX : LOCK_SH, view.config_stat);
    if (view.config_fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            message = "Entry not found";
            return store_status::not_found;
        }
        message = io_message("opening", path);
        return store_status::io_error;
    }
    std::string text;
    if (!read_all(view.config_fd, text)) {
        message = io_message("reading", path);
        return store_status::io_error;
    }
    parse_error perr;
    if (!parse_config(text, view.pkg, perr)) {
        message = "Parse error (" + perr.reason + ") at line " + std::to_string(perr.line) + " in " + path;
        return store_status::parse_failed;
    }

    const std::string dpath = delta_path(dirs, config);
    if (mode == view_mode::stage) {
        if (!make_dirs(dirs.savedir)) {
            message = io_message("creating", dirs.savedir);
            return store_status::io_error;
        }
        view.delta_fd = open(dpath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    } else {
        view.delta_fd = open(dpath.c_str(), (mode == view_mode::commit ? O_RDWR | O_APPEND : O_RDONLY) | O_CLOEXEC);
    }
    if (view.delta_fd < 0) {
        if (errno == ENOENT && mode != view_mode::stage) {
            closer.keep();
            return store_status::ok;
        }
        message = io_message("opening", dpath);
        return store_status::io_error;
    }
    std::string delta;
    if (lock_fd(view.delta_fd, mode == view_mode::read ? LOCK_SH : LOCK_EX) != 0 || !read_all(view.delta_fd, delta)) {
        message = io_message("reading", dpath);
        return store_status::io_error;
    }
    // A write cut short leaves a last line without its end; it is no
    // change, and is cut off before anything is appended after it.
    size_t whole = delta.rfind('\n');
    whole = whole == std::string::npos ? 0 : whole + 1;
    if (mode != view_mode::read && whole < delta.size()) {
        if (ftruncate(view.delta_fd, static_cast<off_t>(whole)) != 0) {
            message = io_message("repairing", dpath);
            return store_status::io_error;
        }
        delta.resize(whole);
    }
    view.delta_empty = delta.empty();
    parse_changes(delta, identity_of(view.config_stat), view.changes);
    apply_changes(view.pkg, view.changes);
    closer.keep();
    return store_status::ok;
}

store_status stage(config_view& view, const std::vector<change>& changes, std::string& message)
{
    std::string text;
    for (const change& c : changes)
        append_change_line(text, c);
    if (!write_all(view.delta_fd, text)) {
        message = std::string("I/O error (staging: ") + std::strerror(errno) + ")";
        return store_status::io_error;
    }
    view.delta_empty = false;
    view.changes.insert(view.changes.end(), changes.begin(), changes.end());
    return store_status::ok;
}

store_status rewrite_staged(config_view& view, const std::vector<change>& kept, std::string& message)
{
    std::string text;
    for (const change& c : kept)
        append_change_line(text, c);
    if (ftruncate(view.delta_fd, 0) != 0 || !write_all(view.delta_fd, text)) {
        message = std::string("I/O error (staging: ") + std::strerror(errno) + ")";
        return store_status::io_error;
    }
    view.changes = kept;
    view.delta_empty = text.empty();
    return store_status::ok;
}

store_status commit(const store_dirs& dirs, config_view& view, std::string& message)
{
    if (view.delta_fd < 0)
        return store_status::ok;
    if (view.changes.empty()) {
        if (!view.delta_empty && ftruncate(view.delta_fd, 0) != 0) {
            message = io_message("clearing", delta_path(dirs, view.pkg.name));
            return store_status::io_error;
        }
        return store_status::ok;
    }
    const std::string path = config_path(dirs, view.pkg.name);
    const std::string text = write_config(view.pkg);
    remove_stale_temps(dirs, view.pkg.name);

    std::string temp = dirs.confdir + "/." + view.pkg.name + ".uci-XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        message = io_message("creating", temp);
        return store_status::io_error;
    }
    struct stat written;
    bool ok = fchmod(fd, view.config_stat.st_mode & 07777) == 0;
    if (ok && fchown(fd, view.config_stat.st_uid, view.config_stat.st_gid) != 0) {
        // Not ours to give away; the file stays ours.
    }
    ok = ok && write_all(fd, text) && fsync(fd) == 0 && fstat(fd, &written) == 0;
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        message = io_message("writing", temp);
        unlink(temp.c_str());
        return store_status::io_error;
    }

    // Mark the changes as applied to exactly this file, so that a commit
    // stopped between the rename and the clearing below is not applied twice.
    std::string marker;
    append_marker_line(marker, identity_of(written));
    if (!write_all(view.delta_fd, marker) || rename(temp.c_str(), path.c_str()) != 0) {
        message = io_message("replacing", path);
        unlink(temp.c_str());
        return store_status::io_error;
    }
    int dir = open(dirs.confdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    if (ftruncate(view.delta_fd, 0) != 0) {
        // The marker keeps the changes from being applied again.
    }
    view.changes.clear();
    view.delta_empty = true;
    return store_status::ok;
}

void list_configs(const std::string& dir, std::vector<std::string>& names)
{
    names.clear();
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (!valid_config_name(name))
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
}

}  // namespace uci
