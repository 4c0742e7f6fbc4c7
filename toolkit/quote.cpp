#include "quote.h"

#include <cstring>

static bool is_plain(std::string_view value, const char* extra)
{
    if (value.empty())
        return false;
    for (unsigned char c : value) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  (c != 0 && std::strchr("._-:/@%+,=", c) != nullptr) ||
                  (c != 0 && extra && std::strchr(extra, c) != nullptr);
        if (!ok)
            return false;
    }
    return true;
}

static void append_escaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
}

std::string escape_single_quoted(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    append_escaped(out, text);
    return out;
}

// The value between single quotes, or bare when it is plain.
static std::string quoted_unless_plain(std::string_view value, const char* extra)
{
    if (is_plain(value, extra))
        return std::string(value);
    std::string out;
    out.reserve(value.size() + 8);
    out += '\'';
    append_escaped(out, value);
    out += '\'';
    return out;
}

std::string shell_quote(std::string_view value)
{
    return quoted_unless_plain(value, nullptr);
}

std::string shell_quote_key(std::string_view key)
{
    return quoted_unless_plain(key, "[]");
}
