// show's output, in the bare or the quoted form.
#include <cstring>
#include <string_view>
#include <vector>

#include "uci_files.h"
#include "uci_show.h"

namespace uci {

namespace {

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

bool shown(const option& o, show_form form)
{
    return form == show_form::bare || o.is_list || !o.value.empty();
}

// One value: as it is, or between single quotes with each ' as '\''.
template <class Sink>
void emit_value(Sink& put, std::string_view v, show_form form)
{
    if (form == show_form::bare) {
        put(v);
        return;
    }
    put("'");
    for (size_t q; (q = v.find('\'')) != std::string_view::npos; v.remove_prefix(q + 1)) {
        put(v.substr(0, q));
        put("'\\''");
    }
    put(v);
    put("'");
}

// An option's value; the items of a list stand separated by blanks.
template <class Sink>
void emit_values(Sink& put, const option& o, show_form form)
{
    bool first = true;
    for_each_value(o, [&](const std::string& v) {
        if (!first)
            put(" ");
        first = false;
        emit_value(put, v, form);
    });
}

// "prefix.name=value\n".
template <class Sink>
void emit_option(Sink& put, std::string_view prefix, const option& o, show_form form)
{
    put(prefix);
    put(".");
    put(o.name);
    put("=");
    emit_values(put, o, form);
    put("\n");
}

// "prefix=type\n", then the section's options.
template <class Sink>
void emit_section(Sink& put, std::string_view prefix, const section& s, show_form form)
{
    put(prefix);
    put("=");
    put(s.type);
    put("\n");
    for (const option& o : s.options)
        if (shown(o, form))
            emit_option(put, prefix, o, form);
}

}  // namespace

show_form show_form_in(const std::string& path)
{
    std::string text;
    if (!read_file(path, text))
        return show_form::bare;
    const std::string_view wanted = "show_form quoted";
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (std::string_view(text).substr(pos, end - pos) == wanted)
            return show_form::quoted;
        pos = end + 1;
    }
    return show_form::bare;
}

void append_values(std::string& out, const option& o)
{
    append_exact(out, [&](auto& put) { emit_values(put, o, show_form::bare); });
}

bool show_option(std::string& out, const std::string& prefix, const option& o, show_form form)
{
    if (!shown(o, form))
        return false;
    append_exact(out, [&](auto& put) { emit_option(put, prefix, o, form); });
    return true;
}

void show_section(std::string& out, const std::string& prefix, const section& s, show_form form)
{
    append_exact(out, [&](auto& put) { emit_section(put, prefix, s, form); });
}

void show_package(std::string& out, const package& p, show_form form)
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
            emit_section(put, prefixes[i], p.sections[i], form);
    });
}

}  // namespace uci
