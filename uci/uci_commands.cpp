// The uci commands.
#include <cstring>
#include <string_view>
#include <vector>

#include "uci_commands.h"
#include "uci_files.h"
#include "uci_names.h"

namespace uci {

namespace {

const char usage_text[] =
    "Usage: uci [-q] [-c <confdir>] [-t <savedir>] <command> [<arguments>]\n"
    "\n"
    "Commands:\n"
    "\tget      <config>.<section>[.<option>]\n"
    "\tshow     [<config>[.<section>[.<option>]]]\n"
    "\tset      <config>.<section>[.<option>]=<value>\n"
    "\tdelete   <config>.<section>[.<option>]\n"
    "\tadd_list <config>.<section>.<option>=<value>\n"
    "\tdel_list <config>.<section>.<option>=<value>\n"
    "\tadd      <config> <section-type>\n"
    "\tcommit   [<config>]\n"
    "\trevert   <config>[.<section>[.<option>]]\n"
    "\tchanges  [<config>]\n"
    "\texport   [<config>]\n"
    "\n"
    "Options:\n"
    "\t-q           print no error texts\n"
    "\t-c <confdir> config directory (default /etc/config)\n"
    "\t-t <savedir> directory of staged changes (default /tmp/.uci)\n";

struct context {
    store_dirs dirs;
    bool quiet = false;
    std::vector<std::string> args;
    std::string* out = nullptr;
    std::string* err = nullptr;
};

int usage(context& ctx)
{
    *ctx.err += usage_text;
    return 1;
}

int fail(context& ctx, const std::string& message)
{
    if (!ctx.quiet) {
        *ctx.err += "uci: ";
        *ctx.err += message;
        *ctx.err += '\n';
    }
    return 1;
}

int fail_invalid(context& ctx) { return fail(ctx, "Invalid argument"); }
int fail_missing(context& ctx) { return fail(ctx, "Entry not found"); }

// Loads a view; on failure reports it and returns false.
bool load(context& ctx, const std::string& config, view_mode mode, config_view& view, int& status)
{
    std::string message;
    if (load_view(ctx.dirs, config, mode, view, message) == store_status::ok)
        return true;
    status = fail(ctx, message);
    return false;
}

// show's lines are made in two passes over the same pieces: one adds up
// their length, the other copies them into place. The text is sized once
// and no piece goes through a growing string; a large config shows 40 KB.
struct length_sink {
    size_t n = 0;
    void operator()(std::string_view piece) { n += piece.size(); }
};

struct copy_sink {
    char* at;
    void operator()(std::string_view piece)
    {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
    }
};

template <class Emit>
void append_exact(std::string& out, Emit emit)
{
    length_sink length;
    emit(length);
    const size_t start = out.size();
    out.resize(start + length.n);
    copy_sink copy{&out[start]};
    emit(copy);
}

// An option's value; the items of a list stand separated by blanks.
template <class Sink>
void emit_values(Sink& put, const option& o)
{
    bool first = true;
    for_each_value(o, [&](const std::string& v) {
        if (!first)
            put(" ");
        first = false;
        put(v);
    });
}

// "prefix.name=value\n".
template <class Sink>
void emit_option(Sink& put, std::string_view prefix, const option& o)
{
    put(prefix);
    put(".");
    put(o.name);
    put("=");
    emit_values(put, o);
    put("\n");
}

// "prefix=type\n", then the section's options.
template <class Sink>
void emit_section(Sink& put, std::string_view prefix, const section& s)
{
    put(prefix);
    put("=");
    put(s.type);
    put("\n");
    for (const option& o : s.options)
        emit_option(put, prefix, o);
}

void append_values(std::string& out, const option& o)
{
    append_exact(out, [&](auto& put) { emit_values(put, o); });
}

void show_option(std::string& out, const std::string& prefix, const option& o)
{
    append_exact(out, [&](auto& put) { emit_option(put, prefix, o); });
}

void show_section(std::string& out, const std::string& config, const section& s, const std::string& shown)
{
    const std::string prefix = config + "." + shown;
    append_exact(out, [&](auto& put) { emit_section(put, prefix, s); });
}

void show_package(std::string& out, const package& p)
{
    // "config.name" of each section, or "config.@type[N]" for an anonymous
    // one: N counts the sections of its type, found in one pass.
    std::vector<std::string> prefixes;
    prefixes.reserve(p.sections.size());
    std::vector<std::pair<const std::string*, size_t>> seen;
    for (const section& s : p.sections) {
        size_t n = 0;
        bool found = false;
        for (auto& t : seen)
            if (*t.first == s.type) {
                n = t.second++;
                found = true;
                break;
            }
        if (!found)
            seen.emplace_back(&s.type, 1);
        if (s.anonymous)
            prefixes.push_back(p.name + ".@" + s.type + "[" + std::to_string(n) + "]");
        else
            prefixes.push_back(p.name + "." + s.name);
    }
    append_exact(out, [&](auto& put) {
        for (size_t i = 0; i < p.sections.size(); ++i)
            emit_section(put, prefixes[i], p.sections[i]);
    });
}

// Parses the key argument; false (and reported) when it is malformed.
bool key_arg(context& ctx, const std::string& text, key& k, int& status)
{
    if (!parse_key(text, k)) {
        status = fail_invalid(ctx);
        return false;
    }
    return true;
}

int cmd_get(context& ctx)
{
    if (ctx.args.size() != 2)
        return usage(ctx);
    key k;
    int status = 1;
    if (!key_arg(ctx, ctx.args[1], k, status))
        return status;
    if (!k.has_section || k.has_value)
        return fail_invalid(ctx);
    config_view view;
    if (!load(ctx, k.config, view_mode::read, view, status))
        return status;
    close_view(view);
    int i = resolve_section(view.pkg, k);
    if (i < 0)
        return fail_missing(ctx);
    section& s = view.pkg.sections[static_cast<size_t>(i)];
    if (!k.has_option) {
        *ctx.out += s.type;
    } else {
        option* o = find_option(s, k.option);
        if (!o)
            return fail_missing(ctx);
        append_values(*ctx.out, *o);
    }
    *ctx.out += '\n';
    return 0;
}

int cmd_show(context& ctx)
{
    if (ctx.args.size() > 2)
        return usage(ctx);
    int status = 0;
    if (ctx.args.size() == 1) {
        std::vector<std::string> names;
        list_configs(ctx.dirs.confdir, names);
        for (const std::string& name : names) {
            config_view view;
            int failed = 0;
            if (!load(ctx, name, view_mode::read, view, failed)) {
                status = failed;
                continue;
            }
            close_view(view);
            show_package(*ctx.out, view.pkg);
        }
        return status;
    }
    key k;
    if (!key_arg(ctx, ctx.args[1], k, status))
        return status;
    if (k.has_value)
        return fail_invalid(ctx);
    config_view view;
    if (!load(ctx, k.config, view_mode::read, view, status))
        return status;
    close_view(view);
    if (!k.has_section) {
        show_package(*ctx.out, view.pkg);
        return 0;
    }
    int i = resolve_section(view.pkg, k);
    if (i < 0)
        return fail_missing(ctx);
    section& s = view.pkg.sections[static_cast<size_t>(i)];
    std::string shown = display_name(view.pkg, static_cast<size_t>(i));
    if (!k.has_option) {
        show_section(*ctx.out, k.config, s, shown);
        return 0;
    }
    option* o = find_option(s, k.option);
    if (!o)
        return fail_missing(ctx);
    show_option(*ctx.out, k.config + "." + shown, *o);
    return 0;
}

// Stages the changes and reports a failure to do so.
int stage_or_fail(context& ctx, config_view& view, const std::vector<change>& changes)
{
    std::string message;
    if (!changes.empty() && stage(view, changes, message) != store_status::ok)
        return fail(ctx, message);
    return 0;
}

// set, delete, add_list, del_list: one key argument.
int cmd_change(context& ctx, change_kind kind)
{
    if (ctx.args.size() != 2)
        return usage(ctx);
    key k;
    int status = 1;
    if (!key_arg(ctx, ctx.args[1], k, status))
        return status;
    const bool wants_value = kind != change_kind::remove;
    const bool wants_option = kind == change_kind::add_list || kind == change_kind::del_list;
    if (!k.has_section || k.has_value != wants_value || (wants_option && !k.has_option))
        return fail_invalid(ctx);
    if (kind == change_kind::set && !k.has_option) {
        if (!valid_type(k.value))
            return fail_invalid(ctx);
        kind = change_kind::section;
    }

    config_view view;
    if (!load(ctx, k.config, view_mode::stage, view, status))
        return status;
    change c;
    c.kind = kind;
    c.option = k.option;
    c.value = k.value;
    int i = resolve_section(view.pkg, k);
    if (i < 0) {
        if (kind != change_kind::section || k.by_index) {
            close_view(view);
            return fail_missing(ctx);
        }
        c.section = k.section;
    } else {
        section& s = view.pkg.sections[static_cast<size_t>(i)];
        c.section = s.name;
        if (kind == change_kind::section && s.type == k.value) {
            close_view(view);
            return 0;
        }
        if (kind == change_kind::remove || kind == change_kind::del_list) {
            option* o = k.has_option ? find_option(s, k.option) : nullptr;
            if (k.has_option && !o) {
                close_view(view);
                return fail_missing(ctx);
            }
            if (kind == change_kind::del_list) {
                bool present = false;
                for_each_value(*o, [&](const std::string& v) { present = present || v == k.value; });
                if (!present) {
                    close_view(view);
                    return 0;
                }
            }
        }
    }
    status = stage_or_fail(ctx, view, {c});
    close_view(view);
    return status;
}

int cmd_add(context& ctx)
{
    if (ctx.args.size() != 3)
        return usage(ctx);
    const std::string& config = ctx.args[1];
    const std::string& type = ctx.args[2];
    if (!valid_config_name(config) || !valid_type(type))
        return fail_invalid(ctx);
    config_view view;
    int status = 1;
    if (!load(ctx, config, view_mode::stage, view, status))
        return status;
    unsigned n = view.pkg.created;
    std::string name;
    do
        name = generated_name(++n, type);
    while (find_section_by_name(view.pkg, name));
    change c;
    c.kind = change_kind::add;
    c.section = name;
    c.value = type;
    status = stage_or_fail(ctx, view, {c});
    close_view(view);
    if (status == 0)
        *ctx.out += name + "\n";
    return status;
}

// Configs that have a staged-changes file.
void staged_configs(context& ctx, std::vector<std::string>& names)
{
    list_configs(ctx.dirs.savedir, names);
}

int commit_one(context& ctx, const std::string& config, bool quiet_missing)
{
    config_view view;
    std::string message;
    store_status st = load_view(ctx.dirs, config, view_mode::commit, view, message);
    if (st == store_status::not_found && quiet_missing)
        return 0;
    if (st != store_status::ok)
        return fail(ctx, message);
    st = commit(ctx.dirs, view, message);
    close_view(view);
    return st == store_status::ok ? 0 : fail(ctx, message);
}

// "CMD [<config>]": the named config, or every config with staged changes.
int for_config_or_all_staged(context& ctx, int (*action)(context&, const std::string&, bool))
{
    if (ctx.args.size() > 2)
        return usage(ctx);
    if (ctx.args.size() == 2) {
        if (!valid_config_name(ctx.args[1]))
            return fail_invalid(ctx);
        return action(ctx, ctx.args[1], false);
    }
    std::vector<std::string> names;
    staged_configs(ctx, names);
    int status = 0;
    for (const std::string& name : names)
        if (action(ctx, name, true) != 0)
            status = 1;
    return status;
}

int cmd_commit(context& ctx)
{
    return for_config_or_all_staged(ctx, commit_one);
}

int cmd_revert(context& ctx)
{
    if (ctx.args.size() != 2)
        return usage(ctx);
    key k;
    int status = 1;
    if (!key_arg(ctx, ctx.args[1], k, status))
        return status;
    if (k.has_value)
        return fail_invalid(ctx);
    config_view view;
    if (!load(ctx, k.config, view_mode::stage, view, status))
        return status;
    std::vector<change> kept;
    if (k.has_section) {
        std::string name = k.section;
        if (k.by_index) {
            int i = resolve_section(view.pkg, k);
            if (i < 0) {
                close_view(view);
                return fail_missing(ctx);
            }
            name = view.pkg.sections[static_cast<size_t>(i)].name;
        }
        for (const change& c : view.changes)
            if (c.section != name || (k.has_option && c.option != k.option))
                kept.push_back(c);
    }
    std::string message;
    if (rewrite_staged(view, kept, message) != store_status::ok)
        status = fail(ctx, message);
    else
        status = 0;
    close_view(view);
    return status;
}

int changes_of(context& ctx, const std::string& config, bool quiet_missing)
{
    config_view view;
    std::string message;
    store_status st = load_view(ctx.dirs, config, view_mode::read, view, message);
    close_view(view);
    if (st == store_status::not_found && quiet_missing)
        return 0;
    if (st != store_status::ok)
        return fail(ctx, message);
    for (const change& c : view.changes)
        append_change_display(*ctx.out, config, c);
    return 0;
}

int cmd_changes(context& ctx)
{
    return for_config_or_all_staged(ctx, changes_of);
}

int export_one(context& ctx, const std::string& config)
{
    config_view view;
    int status = 1;
    if (!load(ctx, config, view_mode::read, view, status))
        return status;
    close_view(view);
    *ctx.out += "package " + config + "\n\n";
    *ctx.out += write_config(view.pkg);
    return 0;
}

int cmd_export(context& ctx)
{
    if (ctx.args.size() > 2)
        return usage(ctx);
    if (ctx.args.size() == 2) {
        if (!valid_config_name(ctx.args[1]))
            return fail_invalid(ctx);
        return export_one(ctx, ctx.args[1]);
    }
    std::vector<std::string> names;
    list_configs(ctx.dirs.confdir, names);
    int status = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            *ctx.out += '\n';
        if (export_one(ctx, names[i]) != 0)
            status = 1;
    }
    return status;
}

}  // namespace

int run_command(int argc, char** argv, std::string& out, std::string& err)
{
    context ctx;
    ctx.out = &out;
    ctx.err = &err;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-q") {
            ctx.quiet = true;
        } else if (a == "-c" || a == "-t") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usage(ctx);
            (a == "-c" ? ctx.dirs.confdir : ctx.dirs.savedir) = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usage(ctx);
        } else {
            ctx.args.push_back(std::move(a));
        }
    }
    if (ctx.args.empty())
        return usage(ctx);
    const std::string& cmd = ctx.args[0];
    if (cmd == "get")
        return cmd_get(ctx);
    if (cmd == "show")
        return cmd_show(ctx);
    if (cmd == "set")
        return cmd_change(ctx, change_kind::set);
    if (cmd == "delete")
        return cmd_change(ctx, change_kind::remove);
    if (cmd == "add_list")
        return cmd_change(ctx, change_kind::add_list);
    if (cmd == "del_list")
        return cmd_change(ctx, change_kind::del_list);
    if (cmd == "add")
        return cmd_add(ctx);
    if (cmd == "commit")
        return cmd_commit(ctx);
    if (cmd == "revert")
        return cmd_revert(ctx);
    if (cmd == "changes")
        return cmd_changes(ctx);
    if (cmd == "export")
        return cmd_export(ctx);
    return usage(ctx);
}

}  // namespace uci
