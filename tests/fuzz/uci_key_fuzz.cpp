// Key resolution on arbitrary keys and configs: the first line of the input
// is a key, the rest a config file. A key that parses names valid parts, and
// a section it resolves to is one that matches it.
#include "uci_config.h"
#include "uci_names.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void fail(const char* what, const std::string& key)
{
    std::fprintf(stderr, "%s: [%s]\n", what, key.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t nl = input.find('\n');
    const std::string text = input.substr(0, nl);
    const std::string file = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    uci::key k;
    if (!uci::parse_key(text, k))
        return 0;
    if (!uci::valid_config_name(k.config))
        fail("invalid config name accepted", text);
    if (k.has_option && !k.has_section)
        fail("option without a section", text);
    if (k.has_option && !uci::valid_name(k.option))
        fail("invalid option name accepted", text);
    if (k.has_section && !k.by_index && !uci::valid_name(k.section))
        fail("invalid section name accepted", text);
    if (k.by_index && !uci::valid_type(k.section))
        fail("invalid section type accepted", text);
    if (k.has_value && text.find('=') == std::string::npos)
        fail("value without '='", text);

    uci::package p;
    uci::parse_error err;
    if (!k.has_section || !uci::parse_config(file, p, err))
        return 0;
    int at = uci::resolve_section(p, k);
    if (at < -1 || at >= static_cast<int>(p.sections.size()))
        fail("resolved outside the config", text);
    if (at < 0)
        return 0;
    const uci::section& s = p.sections[static_cast<std::size_t>(at)];
    if (k.by_index ? s.type != k.section : s.name != k.section)
        fail("resolved to a section that does not match", text);

    // The display name of the section resolves back to it.
    uci::key back;
    const std::string shown = k.config + "." + uci::display_name(p, static_cast<std::size_t>(at));
    if (!uci::parse_key(shown, back))
        fail("display name does not parse", shown);
    int again = uci::resolve_section(p, back);
    if (again < 0 || (!back.by_index && p.sections[static_cast<std::size_t>(again)].name != s.name) ||
        (back.by_index && again != at))
        fail("display name resolves elsewhere", shown);
    return 0;
}
