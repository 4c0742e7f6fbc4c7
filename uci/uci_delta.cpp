// Staged changes: text form and application.
#include <cstdio>
#include <cstdlib>

#include "uci_delta.h"
#include "uci_names.h"

namespace uci {

namespace {

const char* kind_word(change_kind k)
{
    switch (k) {
    case change_kind::section: return "section";
    case change_kind::add: return "add";
    case change_kind::set: return "set";
    case change_kind::remove: return "delete";
    case change_kind::add_list: return "add_list";
    case change_kind::del_list: return "del_list";
    }
    return "";
}

bool kind_of(const std::string& word, change_kind& k)
{
    static const change_kind all[] = {change_kind::section, change_kind::add, change_kind::set,
                                      change_kind::remove, change_kind::add_list, change_kind::del_list};
    for (change_kind c : all)
        if (word == kind_word(c)) {
            k = c;
            return true;
        }
    return false;
}

bool number_of(const std::string& s, unsigned long long& v)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    v = std::strtoull(s.c_str(), &end, 10);
    return *end == '\0';
}

bool same(const file_identity& a, const file_identity& b)
{
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime_sec == b.mtime_sec &&
           a.mtime_nsec == b.mtime_nsec;
}

const std::string& current_name(const apply_state& st, const std::string& name)
{
    for (const auto& r : st.renamed)
        if (r.first == name)
            return r.second;
    return name;
}

}  // namespace

file_identity identity_of(const struct stat& st)
{
    file_identity id;
    id.dev = static_cast<unsigned long long>(st.st_dev);
    id.ino = static_cast<unsigned long long>(st.st_ino);
    id.size = static_cast<unsigned long long>(st.st_size);
    id.mtime_sec = static_cast<unsigned long long>(st.st_mtim.tv_sec);
    id.mtime_nsec = static_cast<unsigned long long>(st.st_mtim.tv_nsec);
    return id;
}

void append_change_line(std::string& out, const change& c)
{
    out += kind_word(c.kind);
    out += ' ';
    out += c.section;
    switch (c.kind) {
    case change_kind::section:
    case change_kind::add:
        out += ' ';
        out += c.value;
        break;
    case change_kind::remove:
        if (!c.option.empty()) {
            out += ' ';
            out += c.option;
        }
        break;
    default:
        out += ' ';
        out += c.option;
        out += ' ';
        // The value is the rest of the line: only '\' and line ends escaped.
        for (char ch : c.value) {
            if (ch == '\\')
                out += "\\\\";
            else if (ch == '\n')
                out += "\\n";
            else
                out += ch;
        }
        break;
    }
    out += '\n';
}

void append_marker_line(std::string& out, const file_identity& id)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "commit %llu %llu %llu %llu %llu\n", id.dev, id.ino, id.size,
                  id.mtime_sec, id.mtime_nsec);
    out += buf;
}

namespace {

// Splits off the next blank-separated field of line[pos, end).
bool next_field(const std::string& text, size_t& pos, size_t end, std::string& field)
{
    if (pos >= end)
        return false;
    size_t blank = text.find(' ', pos);
    if (blank == std::string::npos || blank > end)
        blank = end;
    field.assign(text, pos, blank - pos);
    pos = blank < end ? blank + 1 : end;
    return true;
}

bool parse_change_line(const std::string& text, size_t pos, size_t end, const file_identity& current,
                       std::vector<change>& out)
{
    std::string word;
    if (!next_field(text, pos, end, word))
        return false;
    if (word == "commit") {
        file_identity id;
        std::string f[5];
        for (std::string& x : f)
            if (!next_field(text, pos, end, x))
                return false;
        if (pos == end && number_of(f[0], id.dev) && number_of(f[1], id.ino) && number_of(f[2], id.size) &&
            number_of(f[3], id.mtime_sec) && number_of(f[4], id.mtime_nsec) && same(id, current))
            out.clear();
        return true;
    }
    change c;
    if (!kind_of(word, c.kind) || !next_field(text, pos, end, c.section) || !valid_name(c.section))
        return false;
    switch (c.kind) {
    case change_kind::section:
    case change_kind::add:
        if (!next_field(text, pos, end, c.value) || pos != end || !valid_type(c.value))
            return false;
        break;
    case change_kind::remove:
        if (pos < end && (!next_field(text, pos, end, c.option) || pos != end || !valid_name(c.option)))
            return false;
        break;
    default: {
        if (!next_field(text, pos, end, c.option) || !valid_name(c.option) || text[pos - 1] != ' ')
            return false;
        for (size_t i = pos; i < end; ++i) {
            char ch = text[i];
            if (ch == '\\' && i + 1 < end) {
                ++i;
                c.value += text[i] == 'n' ? '\n' : text[i];
            } else {
                c.value += ch;
            }
        }
        break;
    }
    }
    out.push_back(std::move(c));
    return true;
}

}  // namespace

void parse_changes(const std::string& text, const file_identity& current, std::vector<change>& out)
{
    out.clear();
    size_t pos = 0;
    for (;;) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            break;  // a line without its end was cut short: not a change
        parse_change_line(text, pos, nl, current, out);
        pos = nl + 1;
    }
}

bool apply_change(package& p, const change& c, apply_state& state)
{
    const std::string& name = current_name(state, c.section);
    if (c.kind == change_kind::add) {
        std::string wanted = c.section;
        if (find_section_by_name(p, wanted)) {
            // Taken meanwhile: the next free generated name.
            unsigned n = p.created;
            do
                wanted = generated_name(++n, c.value);
            while (find_section_by_name(p, wanted));
            p.created = n - 1;  // create_section counts this one
            state.renamed.emplace_back(c.section, wanted);
        }
        section& s = create_section(p, c.value, std::string());
        s.name = wanted;
        return true;
    }
    if (c.kind == change_kind::section) {
        if (section* s = find_section_by_name(p, name)) {
            s->type = c.value;
            return true;
        }
        create_section(p, c.value, name);
        return true;
    }
    section* s = find_section_by_name(p, name);
    if (!s)
        return false;
    switch (c.kind) {
    case change_kind::set:
        set_option_value(*s, c.option, c.value);
        return true;
    case change_kind::add_list:
        add_list_value(*s, c.option, c.value);
        return true;
    case change_kind::remove:
        if (c.option.empty()) {
            p.sections.erase(p.sections.begin() + (s - p.sections.data()));
            return true;
        }
        for (size_t i = 0; i < s->options.size(); ++i)
            if (s->options[i].name == c.option) {
                s->options.erase(s->options.begin() + static_cast<long>(i));
                return true;
            }
        return false;
    case change_kind::del_list: {
        option* o = find_option(*s, c.option);
        if (!o)
            return false;
        // A single option goes when its value is the one named.
        if (!o->is_list) {
            if (o->value == c.value)
                s->options.erase(s->options.begin() + (o - s->options.data()));
            return true;
        }
        std::vector<std::string> kept;
        for (std::string& v : o->items)
            if (v != c.value)
                kept.push_back(std::move(v));
        if (kept.empty()) {
            s->options.erase(s->options.begin() + (o - s->options.data()));
        } else {
            o->items = std::move(kept);
        }
        return true;
    }
    default:
        return false;
    }
}

void apply_changes(package& p, const std::vector<change>& changes)
{
    apply_state state;
    for (const change& c : changes)
        apply_change(p, c, state);
}

void append_change_display(std::string& out, const std::string& config, const change& c)
{
    if (c.kind == change_kind::remove)
        out += '-';
    out += config;
    out += '.';
    out += c.section;
    if (!c.option.empty()) {
        out += '.';
        out += c.option;
    }
    switch (c.kind) {
    case change_kind::section:
    case change_kind::add:
        out += '=';
        out += c.value;
        break;
    case change_kind::set:
        out += '=';
        append_single_quoted(out, c.value);
        break;
    case change_kind::add_list:
        out += "+=";
        append_single_quoted(out, c.value);
        break;
    case change_kind::del_list:
        out += "-=";
        append_single_quoted(out, c.value);
        break;
    case change_kind::remove:
        break;
    }
    out += '\n';
}

}  // namespace uci
