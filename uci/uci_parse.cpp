// Parser of configuration files: the whole text in one pass.
#include <unordered_map>

#include "uci_config.h"
#include "uci_names.h"

namespace uci {

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
inline bool ends_word(char c) { return is_blank(c) || c == '\n' || c == '#'; }

}  // namespace

int read_words(const std::string& text, size_t& pos, int& line, int& start_line,
               std::vector<std::string>& words, std::string& reason)
{
    words.clear();
    const size_t n = text.size();
    if (pos >= n)
        return 0;
    start_line = line;
    for (;;) {
        while (pos < n && is_blank(text[pos]))
            ++pos;
        if (pos >= n)
            return 1;
        char c = text[pos];
        if (c == '\n') {
            ++pos;
            ++line;
            return 1;
        }
        if (c == '#') {
            while (pos < n && text[pos] != '\n')
                ++pos;
            continue;
        }
        if (c == '\\' && pos + 1 < n && text[pos + 1] == '\n') {
            pos += 2;
            ++line;
            continue;
        }
        words.emplace_back();
        std::string& word = words.back();
        while (pos < n && !ends_word(text[pos])) {
            c = text[pos];
            if (c == '\'') {
                size_t close = text.find('\'', pos + 1);
                if (close == std::string::npos) {
                    reason = "unterminated quote";
                    return -1;
                }
                for (size_t i = pos + 1; i < close; ++i)
                    if (text[i] == '\n')
                        ++line;
                word.append(text, pos + 1, close - pos - 1);
                pos = close + 1;
            } else if (c == '"') {
                int quote_line = line;
                ++pos;
                for (;;) {
                    if (pos >= n) {
                        line = quote_line;
                        reason = "unterminated quote";
                        return -1;
                    }
                    c = text[pos];
                    if (c == '"') {
                        ++pos;
                        break;
                    }
                    if (c == '\\' && pos + 1 < n) {
                        if (text[pos + 1] == '\n')
                            ++line;
                        else
                            word += text[pos + 1];
                        pos += 2;
                        continue;
                    }
                    if (c == '\n')
                        ++line;
                    word += c;
                    ++pos;
                }
            } else if (c == '\\') {
                if (pos + 1 >= n) {
                    ++pos;
                } else {
                    if (text[pos + 1] == '\n')
                        ++line;
                    else
                        word += text[pos + 1];
                    pos += 2;
                }
            } else {
                size_t start = pos;
                while (pos < n && !ends_word(text[pos]) && text[pos] != '\'' &&
                       text[pos] != '"' && text[pos] != '\\')
                    ++pos;
                word.append(text, start, pos - start);
            }
        }
    }
}

section& create_section(package& p, const std::string& type, const std::string& name)
{
    ++p.created;
    p.sections.emplace_back();
    section& s = p.sections.back();
    s.type = type;
    if (name.empty()) {
        s.anonymous = true;
        s.name = generated_name(p.created, type);
    } else {
        s.name = name;
    }
    return s;
}

section* find_section_by_name(package& p, const std::string& name)
{
    for (section& s : p.sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

option* find_option(section& s, const std::string& name)
{
    for (option& o : s.options)
        if (o.name == name)
            return &o;
    return nullptr;
}

void set_option_value(section& s, const std::string& name, std::string value)
{
    option* o = find_option(s, name);
    if (!o) {
        s.options.emplace_back();
        o = &s.options.back();
        o->name = name;
    }
    o->is_list = false;
    o->values.clear();
    o->values.push_back(std::move(value));
}

void add_list_value(section& s, const std::string& name, std::string value)
{
    option* o = find_option(s, name);
    if (!o) {
        s.options.emplace_back();
        o = &s.options.back();
        o->name = name;
    }
    // A single value met by a list item becomes the list's first item.
    o->is_list = true;
    o->values.push_back(std::move(value));
}

bool parse_config(const std::string& text, package& out, parse_error& err)
{
    out.sections.clear();
    out.created = 0;
    std::vector<std::string> words;
    std::unordered_map<std::string, size_t> named;
    size_t pos = 0;
    int line = 1;
    int start = 1;
    long current = -1;
    for (;;) {
        int r = read_words(text, pos, line, start, words, err.reason);
        if (r < 0) {
            err.line = line;
            return false;
        }
        if (r == 0)
            return true;
        if (words.empty())
            continue;
        err.line = start;
        const std::string& keyword = words[0];
        if (keyword == "config" || keyword == "c") {
            if (words.size() < 2) {
                err.reason = "missing section type";
                return false;
            }
            if (words.size() > 3) {
                err.reason = "too many arguments";
                return false;
            }
            if (!valid_type(words[1])) {
                err.reason = "invalid section type";
                return false;
            }
            std::string name = words.size() == 3 ? words[2] : std::string();
            if (!name.empty() && !valid_name(name)) {
                err.reason = "invalid section name";
                return false;
            }
            if (!name.empty()) {
                auto found = named.find(name);
                if (found != named.end()) {
                    // A repeated name continues the earlier section.
                    current = static_cast<long>(found->second);
                    out.sections[found->second].type = words[1];
                    continue;
                }
                named.emplace(name, out.sections.size());
            }
            create_section(out, words[1], name);
            current = static_cast<long>(out.sections.size()) - 1;
        } else if (keyword == "option" || keyword == "o" || keyword == "list" || keyword == "l") {
            if (current < 0) {
                err.reason = "option outside of a section";
                return false;
            }
            if (words.size() < 3) {
                err.reason = "missing option value";
                return false;
            }
            if (words.size() > 3) {
                err.reason = "too many arguments";
                return false;
            }
            if (!valid_name(words[1])) {
                err.reason = "invalid option name";
                return false;
            }
            section& s = out.sections[static_cast<size_t>(current)];
            if (keyword[0] == 'o')
                set_option_value(s, words[1], std::move(words[2]));
            else
                add_list_value(s, words[1], std::move(words[2]));
        } else if (keyword == "package") {
            if (words.size() != 2) {
                err.reason = "invalid package line";
                return false;
            }
        } else {
            err.reason = "invalid command";
            return false;
        }
    }
}

}  // namespace uci
