#include "quote.h"

#include <cstring>

static bool is_plain(const std::string& value, const char* extra)
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

std::string escape_single_quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out;
}

std::string shell_quote(const std::string& value)
{
    if (is_plain(value, nullptr))
        return value;
    return "'" + escape_single_quoted(value) + "'";
}

std::string shell_quote_key(const std::string& key)
{
    if (is_plain(key, "[]"))
        return key;
    return "'" + escape_single_quoted(key) + "'";
}
