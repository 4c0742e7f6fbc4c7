// Parser of configuration files: the whole text in one pass.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "uci_config.h"
#include "uci_names.h"

namespace uci {

namespace {

// Byte classes of the tokenizer: a plain byte of a bare word, a blank, or
// one that needs a look (line end, '#', quotes, backslash).
enum : unsigned char { plain = 0, blank = 1, special = 2 };

constexpr unsigned char class_of(unsigned c)
{
    return c == ' ' || c == '\t' || c == '\r' ? blank
           : c == '\n' || c == '#' || c == '\'' || c == '"' || c == '\\' ? special
                                                                       : plain;
}

struct byte_classes {
    unsigned char of[256];
};

constexpr byte_classes make_classes()
{
    byte_classes t{};
    for (unsigned c = 0; c < 256; ++c)
        t.of[c] = class_of(c);
    return t;
}

constexpr byte_classes classes = make_classes();

inline unsigned char cls(char c) { return classes.of[static_cast<unsigned char>(c)]; }
inline bool is_blank(char c) { return cls(c) == blank; }
inline bool ends_word(char c) { return cls(c) == blank || c == '\n' || c == '#'; }

int count_line_ends(const char* from, const char* to)
{
    int n = 0;
    while (const void* nl = std::memchr(from, '\n', static_cast<size_t>(to - from))) {
        ++n;
        from = static_cast<const char*>(nl) + 1;
    }
    return n;
}

// The words of one statement. A word written as one piece (a bare word, or
// one quoted without escapes) is a view into the file text; only a word
// made of several pieces is copied together into its buffer. The buffers
// are reused from statement to statement.
struct word_slot {
    std::string buffer;
    bool built = false;
};

struct statement {
    std::vector<std::string_view> words;
    std::vector<word_slot> slots;
    size_t count = 0;
};

// A second or later piece of the word being read: the word goes to its
// buffer.
void add_later_piece(statement& st, const char* p, size_t n)
{
    const size_t w = st.count - 1;
    word_slot& slot = st.slots[w];
    if (!slot.built) {
        slot.buffer.assign(st.words[w].data(), st.words[w].size());
        slot.built = true;
    }
    slot.buffer.append(p, n);
}

inline void add_piece(statement& st, const char* p, size_t n, size_t& pieces)
{
    if (pieces++ == 0)
        st.words[st.count - 1] = std::string_view(p, n);
    else
        add_later_piece(st, p, n);
}

// Reads one statement: the words of one line, where a quoted word may run
// over several lines. Words are bare, '...' (literal) or "..." (backslash
// takes the next byte literally); pieces written together form one word;
// '#' outside quotes starts a comment; a backslash before a line end joins
// the lines. start_line is the line the statement began on.
// Returns 1 for a statement (count may be 0), 0 at the end, -1 on error.
int read_words(const std::string& text, size_t& pos, int& line, int& start_line, statement& st,
               std::string& reason)
{
    st.count = 0;
    const size_t n = text.size();
    const char* t = text.data();
    if (pos >= n)
        return 0;
    start_line = line;
    for (;;) {
        while (pos < n && is_blank(t[pos]))
            ++pos;
        if (pos >= n)
            break;
        char c = t[pos];
        if (c == '\n') {
            ++pos;
            ++line;
            break;
        }
        if (c == '#') {
            const void* nl = std::memchr(t + pos, '\n', n - pos);
            pos = nl ? static_cast<size_t>(static_cast<const char*>(nl) - t) : n;
            continue;
        }
        if (c == '\\' && pos + 1 < n && t[pos + 1] == '\n') {
            pos += 2;
            ++line;
            continue;
        }
        if (st.count == st.words.size()) {
            st.words.emplace_back();
            st.slots.emplace_back();
        }
        st.words[st.count] = std::string_view();
        st.slots[st.count].built = false;
        ++st.count;
        size_t pieces = 0;
        while (pos < n && !ends_word(t[pos])) {
            c = t[pos];
            if (c == '\'') {
                const void* q = std::memchr(t + pos + 1, '\'', n - pos - 1);
                if (!q) {
                    reason = "unterminated quote";
                    return -1;
                }
                size_t close = static_cast<size_t>(static_cast<const char*>(q) - t);
                line += count_line_ends(t + pos + 1, t + close);
                add_piece(st, t + pos + 1, close - pos - 1, pieces);
                pos = close + 1;
            } else if (c == '"') {
                int quote_line = line;
                ++pos;
                for (;;) {
                    size_t run = pos;
                    while (pos < n && t[pos] != '"' && t[pos] != '\\') {
                        if (t[pos] == '\n')
                            ++line;
                        ++pos;
                    }
                    if (pos >= n) {
                        line = quote_line;
                        reason = "unterminated quote";
                        return -1;
                    }
                    if (pos > run)
                        add_piece(st, t + run, pos - run, pieces);
                    if (t[pos] == '"') {
                        ++pos;
                        break;
                    }
                    // A backslash: the next byte stands for itself, a line
                    // end after it is dropped.
                    if (pos + 1 >= n) {
                        ++pos;
                        continue;
                    }
                    if (t[pos + 1] == '\n')
                        ++line;
                    else
                        add_piece(st, t + pos + 1, 1, pieces);
                    pos += 2;
                }
            } else if (c == '\\') {
                if (pos + 1 >= n) {
                    ++pos;
                } else {
                    if (t[pos + 1] == '\n')
                        ++line;
                    else
                        add_piece(st, t + pos + 1, 1, pieces);
                    pos += 2;
                }
            } else {
                size_t begin = pos;
                while (pos < n && cls(t[pos]) == plain)
                    ++pos;
                add_piece(st, t + begin, pos - begin, pieces);
            }
        }
    }
    // Views into the buffers are taken last: the buffers may have moved
    // while the statement grew.
    for (size_t w = 0; w < st.count; ++w)
        if (st.slots[w].built)
            st.words[w] = st.slots[w].buffer;
    return 1;
}

// The statement keywords, short forms included.
enum class keyword { config, option, list, package, other };

keyword keyword_of(std::string_view w)
{
    switch (w.size()) {
    case 1:
        return w[0] == 'c' ? keyword::config : w[0] == 'o' ? keyword::option : w[0] == 'l' ? keyword::list : keyword::other;
    case 4:
        return std::memcmp(w.data(), "list", 4) == 0 ? keyword::list : keyword::other;
    case 6:
        return std::memcmp(w.data(), "option", 6) == 0   ? keyword::option
               : std::memcmp(w.data(), "config", 6) == 0 ? keyword::config
                                                         : keyword::other;
    case 7:
        return std::memcmp(w.data(), "package", 7) == 0 ? keyword::package : keyword::other;
    default:
        return keyword::other;
    }
}

}  // namespace

section& create_section(package& p, std::string_view type, std::string_view name)
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

section* find_section_by_name(package& p, std::string_view name)
{
    for (section& s : p.sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

option* find_option(section& s, std::string_view name)
{
    for (option& o : s.options)
        if (o.name == name)
            return &o;
    return nullptr;
}

namespace {

// The option of that name, added at the end (with is_list as given) when the
// section has none.
option& option_named(section& s, std::string_view name, bool is_list)
{
    if (option* o = find_option(s, name))
        return *o;
    s.options.emplace_back();
    option& o = s.options.back();
    o.name.append(name);
    o.is_list = is_list;
    return o;
}

}  // namespace

void set_option_value(section& s, std::string_view name, std::string value)
{
    option& o = option_named(s, name, false);
    o.is_list = false;
    o.items.clear();
    o.value = std::move(value);
}

void add_list_value(section& s, std::string_view name, std::string value)
{
    option& o = option_named(s, name, true);
    // A single value met by a list item becomes the list's first item.
    if (!o.is_list) {
        o.is_list = true;
        o.items.push_back(std::move(o.value));
        o.value.clear();
    }
    o.items.push_back(std::move(value));
}

bool parse_config(const std::string& text, package& out, parse_error& err)
{
    out.sections.clear();
    out.sections.reserve(text.size() / 128 + 4);
    out.created = 0;
    statement st;
    const std::vector<std::string_view>& words = st.words;
    std::unordered_map<std::string, size_t> named;
    named.reserve(out.sections.capacity());
    size_t pos = 0;
    int line = 1;
    int start = 1;
    long current = -1;
    // Sections of one file tend to have as many options as the one before
    // them: reserved that way, a large file takes fewer fresh pages.
    size_t options_hint = 8;
    auto reject = [&err](const char* reason) {
        err.reason = reason;
        return false;
    };
    for (;;) {
        int r = read_words(text, pos, line, start, st, err.reason);
        const size_t count = st.count;
        if (r < 0) {
            err.line = line;
            return false;
        }
        if (r == 0)
            return true;
        if (count == 0)
            continue;
        err.line = start;
        const keyword kw = keyword_of(words[0]);
        if (kw == keyword::config) {
            if (count < 2)
                return reject("missing section type");
            if (count > 3)
                return reject("too many arguments");
            if (current >= 0)
                options_hint = std::max<size_t>(out.sections[static_cast<size_t>(current)].options.size(), 4);
            if (!valid_type(words[1]))
                return reject("invalid section type");
            std::string name = count == 3 ? std::string(words[2]) : std::string();
            if (!name.empty() && !valid_name(name))
                return reject("invalid section name");
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
        } else if (kw == keyword::option || kw == keyword::list) {
            if (current < 0)
                return reject("option outside of a section");
            if (count < 3)
                return reject("missing option value");
            if (count > 3)
                return reject("too many arguments");
            if (!valid_name(words[1]))
                return reject("invalid option name");
            section& s = out.sections[static_cast<size_t>(current)];
            if (s.options.empty())
                s.options.reserve(options_hint);
            if (kw == keyword::option)
                set_option_value(s, words[1], std::string(words[2]));
            else
                add_list_value(s, words[1], std::string(words[2]));
        } else if (kw == keyword::package) {
            if (count != 2)
                return reject("invalid package line");
        } else {
            return reject("invalid command");
        }
    }
}

}  // namespace uci
