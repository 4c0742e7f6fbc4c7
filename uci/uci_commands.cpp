// The uci command line: options, dispatch, and the steps the commands share.
#include "uci_command_context.h"
#include "uci_commands.h"

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

}  // namespace

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

bool load(context& ctx, const std::string& config, view_mode mode, config_view& view, int& status,
          bool quiet_missing)
{
    std::string message;
    const store_status st = load_view(ctx.dirs, config, mode, view, message);
    if (st == store_status::ok)
        return true;
    status = st == store_status::not_found && quiet_missing ? 0 : fail(ctx, message);
    return false;
}

bool read_config(context& ctx, const std::string& config, config_view& view, int& status, bool quiet_missing)
{
    if (!load(ctx, config, view_mode::read, view, status, quiet_missing))
        return false;
    view_closer closer(view);
    return true;
}

bool key_argument(context& ctx, bool with_value, key& k, int& status)
{
    if (ctx.args.size() != 2) {
        status = usage(ctx);
        return false;
    }
    if (!parse_key(ctx.args[1], k) || k.has_value != with_value) {
        status = fail_invalid(ctx);
        return false;
    }
    return true;
}

int keyed_section(context& ctx, const package& p, const key& k, int& status)
{
    const int i = resolve_section(p, k);
    if (i < 0)
        status = fail_missing(ctx);
    return i;
}

option* keyed_option(context& ctx, section& s, const key& k, int& status)
{
    option* o = find_option(s, k.option);
    if (!o)
        status = fail_missing(ctx);
    return o;
}

int for_config_or_all(context& ctx, const std::string& dir,
                      int (*action)(context& ctx, const std::string& config, bool quiet_missing),
                      const char* between)
{
    if (ctx.args.size() > 2)
        return usage(ctx);
    if (ctx.args.size() == 2) {
        if (!valid_config_name(ctx.args[1]))
            return fail_invalid(ctx);
        return action(ctx, ctx.args[1], false);
    }
    std::vector<std::string> names;
    list_configs(dir, names);
    int status = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            *ctx.out += between;
        if (action(ctx, names[i], true) != 0)
            status = 1;
    }
    return status;
}

int run_command(int argc, char** argv, std::string& out, std::string& err, std::optional<show_form> form)
{
    context ctx;
    ctx.out = &out;
    ctx.err = &err;
    ctx.form = form;
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
