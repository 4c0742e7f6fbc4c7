// In-memory form of one configuration file, and its parser and writer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uci {

// A single value lives in the option itself: most options are single, and
// a vector each would cost one allocation per option line of a file.
struct option {
    std::string name;
    bool is_list = false;
    std::string value;               // when not is_list
    std::vector<std::string> items;  // when is_list: one or more
};

// Calls f with each value of o: its value, or the items of its list.
template <class F>
void for_each_value(const option& o, F f)
{
    if (!o.is_list) {
        f(o.value);
        return;
    }
    for (const std::string& v : o.items)
        f(v);
}

struct section {
    std::string type;
    std::string name;        // generated for anonymous sections
    bool anonymous = false;
    std::vector<option> options;
};

struct package {
    std::string name;
    std::vector<section> sections;
    unsigned created = 0;    // sections created so far, for generated names
};

struct parse_error {
    int line = 0;
    std::string reason;
};

// Parses a whole file. On failure err tells the line and why; out is then
// not to be used.
bool parse_config(const std::string& text, package& out, parse_error& err);

// The canonical file text: "config type 'name'", a tab before option and
// list lines, values in single quotes, a blank line between sections.
std::string write_config(const package& p);

// 'text' with each ' written '\''.
void append_single_quoted(std::string& out, const std::string& text);

// Adds a section the way every creation does: counts it and, when it has no
// name, gives it the generated one.
section& create_section(package& p, std::string_view type, std::string_view name);

section* find_section_by_name(package& p, std::string_view name);
option* find_option(section& s, std::string_view name);

// Option assignment rules shared by the parser and staged changes.
void set_option_value(section& s, std::string_view name, std::string value);
void add_list_value(section& s, std::string_view name, std::string value);

}  // namespace uci
