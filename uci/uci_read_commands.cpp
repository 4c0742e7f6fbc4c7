// The commands that only read: get, show, changes, export.
#include "uci_command_context.h"

namespace uci {

namespace {

show_form form_of(const context& ctx)
{
    return ctx.form ? *ctx.form : show_form_in(settings_file);
}

int show_all(context& ctx)
{
    std::vector<std::string> names;
    list_configs(ctx.dirs.confdir, names);
    const show_form form = form_of(ctx);
    int status = 0;
    for (const std::string& name : names) {
        config_view view;
        int failed = 0;
        if (!read_config(ctx, name, view, failed)) {
            status = failed;
            continue;
        }
        show_package(*ctx.out, view.pkg, form);
    }
    return status;
}

int changes_of(context& ctx, const std::string& config, bool quiet_missing)
{
    config_view view;
    int status = 1;
    if (!read_config(ctx, config, view, status, quiet_missing))
        return status;
    for (const change& c : view.changes)
        append_change_display(*ctx.out, config, c);
    return 0;
}

// Used for every config in the directory too: one that vanished meanwhile
// is still reported.
int export_one(context& ctx, const std::string& config, bool)
{
    config_view view;
    int status = 1;
    if (!read_config(ctx, config, view, status))
        return status;
    *ctx.out += "package " + config + "\n\n";
    *ctx.out += write_config(view.pkg);
    return 0;
}

}  // namespace

int cmd_get(context& ctx)
{
    key k;
    int status = 1;
    if (!key_argument(ctx, false, k, status))
        return status;
    if (!k.has_section)
        return fail_invalid(ctx);
    config_view view;
    if (!read_config(ctx, k.config, view, status))
        return status;
    const int i = keyed_section(ctx, view.pkg, k, status);
    if (i < 0)
        return status;
    section& s = view.pkg.sections[static_cast<size_t>(i)];
    if (!k.has_option) {
        *ctx.out += s.type;
    } else {
        const option* o = keyed_option(ctx, s, k, status);
        if (!o)
            return status;
        append_values(*ctx.out, *o);
    }
    *ctx.out += '\n';
    return 0;
}

int cmd_show(context& ctx)
{
    if (ctx.args.size() == 1)
        return show_all(ctx);
    key k;
    int status = 1;
    if (!key_argument(ctx, false, k, status))
        return status;
    config_view view;
    if (!read_config(ctx, k.config, view, status))
        return status;
    const show_form form = form_of(ctx);
    if (!k.has_section) {
        show_package(*ctx.out, view.pkg, form);
        return 0;
    }
    const int i = keyed_section(ctx, view.pkg, k, status);
    if (i < 0)
        return status;
    section& s = view.pkg.sections[static_cast<size_t>(i)];
    const std::string prefix = k.config + "." + display_name(view.pkg, static_cast<size_t>(i));
    if (!k.has_option) {
        show_section(*ctx.out, prefix, s, form);
        return 0;
    }
    const option* o = keyed_option(ctx, s, k, status);
    if (!o)
        return status;
    // An option the form leaves out is not there for it.
    return show_option(*ctx.out, prefix, *o, form) ? 0 : fail_missing(ctx);
}

int cmd_changes(context& ctx)
{
    return for_config_or_all(ctx, ctx.dirs.savedir, changes_of);
}

int cmd_export(context& ctx)
{
    return for_config_or_all(ctx, ctx.dirs.confdir, export_one, "\n");
}

}  // namespace uci
