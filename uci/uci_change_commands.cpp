// The commands that change the store: set, delete, add_list, del_list and
// add stage changes; commit applies them; revert drops them.
#include "uci_command_context.h"

namespace uci {

namespace {

int stage_one(context& ctx, config_view& view, const change& c)
{
    std::string message;
    return stage(view, {c}, message) == store_status::ok ? 0 : fail(ctx, message);
}

// Whether the change to section s would change anything; when it would not,
// status says whether that is fine (0) or reported (an option that isn't
// there).
bool changes_anything(context& ctx, section& s, const key& k, change_kind kind, int& status)
{
    status = 0;
    if (kind == change_kind::section)
        return s.type != k.value;
    if (kind != change_kind::remove && kind != change_kind::del_list)
        return true;
    if (!k.has_option)
        return true;
    const option* o = keyed_option(ctx, s, k, status);
    if (!o)
        return false;
    if (kind == change_kind::remove)
        return true;
    bool present = false;
    for_each_value(*o, [&](const std::string& v) { present = present || v == k.value; });
    return present;
}

int commit_one(context& ctx, const std::string& config, bool quiet_missing)
{
    config_view view;
    int status = 1;
    if (!load(ctx, config, view_mode::commit, view, status, quiet_missing))
        return status;
    view_closer closer(view);
    std::string message;
    return commit(ctx.dirs, view, message) == store_status::ok ? 0 : fail(ctx, message);
}

}  // namespace

int cmd_change(context& ctx, change_kind kind)
{
    key k;
    int status = 1;
    if (!key_argument(ctx, kind != change_kind::remove, k, status))
        return status;
    const bool wants_option = kind == change_kind::add_list || kind == change_kind::del_list;
    if (!k.has_section || (wants_option && !k.has_option))
        return fail_invalid(ctx);
    if (kind == change_kind::set && !k.has_option) {
        if (!valid_type(k.value))
            return fail_invalid(ctx);
        kind = change_kind::section;
    }

    config_view view;
    if (!load(ctx, k.config, view_mode::stage, view, status))
        return status;
    view_closer closer(view);
    change c;
    c.kind = kind;
    c.section = k.section;
    c.option = k.option;
    c.value = k.value;
    // Setting a section by its name creates it when it isn't there.
    const bool may_create = kind == change_kind::section && !k.by_index;
    const int i = may_create ? resolve_section(view.pkg, k) : keyed_section(ctx, view.pkg, k, status);
    if (i >= 0) {
        section& s = view.pkg.sections[static_cast<size_t>(i)];
        if (!changes_anything(ctx, s, k, kind, status))
            return status;
        c.section = s.name;
    } else if (!may_create) {
        return status;
    }
    return stage_one(ctx, view, c);
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
    view_closer closer(view);
    unsigned n = view.pkg.created;
    change c;
    c.kind = change_kind::add;
    c.value = type;
    do
        c.section = generated_name(++n, type);
    while (find_section_by_name(view.pkg, c.section));
    status = stage_one(ctx, view, c);
    if (status == 0)
        *ctx.out += c.section + "\n";
    return status;
}

int cmd_commit(context& ctx)
{
    return for_config_or_all(ctx, ctx.dirs.savedir, commit_one);
}

int cmd_revert(context& ctx)
{
    key k;
    int status = 1;
    if (!key_argument(ctx, false, k, status))
        return status;
    config_view view;
    if (!load(ctx, k.config, view_mode::stage, view, status))
        return status;
    view_closer closer(view);
    std::vector<change> kept;
    if (k.has_section) {
        std::string name = k.section;
        if (k.by_index) {
            const int i = keyed_section(ctx, view.pkg, k, status);
            if (i < 0)
                return status;
            name = view.pkg.sections[static_cast<size_t>(i)].name;
        }
        for (const change& c : view.changes)
            if (c.section != name || (k.has_option && c.option != k.option))
                kept.push_back(c);
    }
    std::string message;
    return rewrite_staged(view, kept, message) == store_status::ok ? 0 : fail(ctx, message);
}

}  // namespace uci
