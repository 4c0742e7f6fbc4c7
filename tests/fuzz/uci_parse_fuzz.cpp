// The config file parser and writer on arbitrary texts: whatever parses is
// written in the canonical layout, and that text parses back to the same
// sections and writes identically.
#include "uci_config.h"
#include "uci_names.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool same_package(const uci::package& a, const uci::package& b)
{
    if (a.sections.size() != b.sections.size())
        return false;
    for (std::size_t i = 0; i < a.sections.size(); ++i) {
        const uci::section& x = a.sections[i];
        const uci::section& y = b.sections[i];
        if (x.type != y.type || x.name != y.name || x.anonymous != y.anonymous ||
            x.options.size() != y.options.size())
            return false;
        for (std::size_t j = 0; j < x.options.size(); ++j) {
            const uci::option& o = x.options[j];
            const uci::option& p = y.options[j];
            if (o.name != p.name || o.is_list != p.is_list || o.value != p.value || o.items != p.items)
                return false;
        }
    }
    return true;
}

void fail(const char* what, const std::string& text)
{
    std::fprintf(stderr, "%s\n---\n%s\n---\n", what, text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uci::package first;
    uci::parse_error err;
    if (!uci::parse_config(text, first, err)) {
        if (err.line < 1)
            fail("error without a line", text);
        return 0;
    }
    for (std::size_t i = 0; i < first.sections.size(); ++i) {
        const uci::section& s = first.sections[i];
        if (!uci::valid_type(s.type) || (!s.anonymous && !uci::valid_name(s.name)))
            fail("parser took an invalid name", text);
        for (const uci::option& o : s.options)
            if (!uci::valid_name(o.name) || (o.is_list ? o.items.empty() || !o.value.empty() : !o.items.empty()))
                fail("parser made an invalid option", text);
        uci::display_name(first, i);
    }

    const std::string written = uci::write_config(first);
    uci::package second;
    if (!uci::parse_config(written, second, err))
        fail("written text does not parse", written);
    if (!same_package(first, second))
        fail("written text reads back different", written);
    if (uci::write_config(second) != written)
        fail("second write differs", written);
    return 0;
}
