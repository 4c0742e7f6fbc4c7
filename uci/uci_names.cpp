// Names, generated names and key resolution.
#include <cstdio>
#include <cstdlib>

#include "uci_names.h"

namespace uci {

namespace {

// 1: allowed in every name; 2: '-', allowed in config names and types.
struct name_classes {
    unsigned char of[256];
};

constexpr name_classes make_name_classes()
{
    name_classes t{};
    for (unsigned c = 0; c < 256; ++c)
        t.of[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ? 1
                  : c == '-'                                                                           ? 2
                                                                                                       : 0;
    return t;
}

constexpr name_classes name_chars = make_name_classes();

bool all_chars(std::string_view s, bool dash)
{
    if (s.empty())
        return false;
    const unsigned char allowed = dash ? 3 : 1;
    for (char c : s)
        if (!(name_chars.of[static_cast<unsigned char>(c)] & allowed))
            return false;
    return true;
}

// "@type[N]" with N an optional '-' and digits.
bool parse_index(const std::string& part, key& k)
{
    size_t open = part.find('[');
    if (open == std::string::npos || part.back() != ']')
        return false;
    std::string type = part.substr(1, open - 1);
    std::string digits = part.substr(open + 1, part.size() - open - 2);
    if (!valid_type(type))
        return false;
    size_t i = digits.size() > 0 && digits[0] == '-' ? 1 : 0;
    if (i == digits.size() || digits.size() - i > 9)
        return false;
    for (size_t j = i; j < digits.size(); ++j)
        if (digits[j] < '0' || digits[j] > '9')
            return false;
    k.by_index = true;
    k.section = type;
    k.index = std::strtol(digits.c_str(), nullptr, 10);
    return true;
}

}  // namespace

bool valid_name(std::string_view s) { return all_chars(s, false); }
bool valid_config_name(std::string_view s) { return all_chars(s, true); }
bool valid_type(std::string_view s) { return all_chars(s, true); }

unsigned type_hash(std::string_view type)
{
    unsigned h = 5381;
    for (unsigned char c : type)
        h = (h * 33 + c) & 0x7fffffffu;
    return h % 65536;
}

std::string generated_name(unsigned count, std::string_view type)
{
    static const char hex[] = "0123456789abcdef";
    char buf[16];
    size_t n = 0;
    unsigned digits = 2;
    while (digits < 8 && (count >> (4 * digits)) != 0)
        ++digits;
    for (unsigned d = digits; d-- > 0;)
        buf[n++] = hex[(count >> (4 * d)) & 15];
    unsigned h = type_hash(type);
    for (int d = 3; d >= 0; --d)
        buf[n++] = hex[(h >> (4 * d)) & 15];
    std::string name("cfg");
    name.append(buf, n);
    return name;
}

bool parse_key(const std::string& text, key& k)
{
    k = key();
    size_t eq = text.find('=');
    std::string path = eq == std::string::npos ? text : text.substr(0, eq);
    if (eq != std::string::npos) {
        k.has_value = true;
        k.value = text.substr(eq + 1);
    }
    size_t dot1 = path.find('.');
    k.config = path.substr(0, dot1);
    if (!valid_config_name(k.config))
        return false;
    if (dot1 == std::string::npos)
        return true;
    size_t dot2 = path.find('.', dot1 + 1);
    std::string sec = path.substr(dot1 + 1, dot2 == std::string::npos ? std::string::npos : dot2 - dot1 - 1);
    k.has_section = true;
    if (!sec.empty() && sec[0] == '@') {
        if (!parse_index(sec, k))
            return false;
    } else if (valid_name(sec)) {
        k.section = sec;
    } else {
        return false;
    }
    if (dot2 == std::string::npos)
        return true;
    k.option = path.substr(dot2 + 1);
    k.has_option = true;
    return valid_name(k.option);
}

int resolve_section(const package& p, const key& k)
{
    const int count = static_cast<int>(p.sections.size());
    if (!k.by_index) {
        for (int i = 0; i < count; ++i)
            if (p.sections[static_cast<size_t>(i)].name == k.section)
                return i;
        return -1;
    }
    int of_type = 0;
    for (const section& s : p.sections)
        if (s.type == k.section)
            ++of_type;
    long want = k.index < 0 ? of_type + k.index : k.index;
    if (want < 0 || want >= of_type)
        return -1;
    for (int i = 0; i < count; ++i)
        if (p.sections[static_cast<size_t>(i)].type == k.section && want-- == 0)
            return i;
    return -1;
}

std::string display_name(const package& p, size_t index)
{
    const section& s = p.sections[index];
    if (!s.anonymous)
        return s.name;
    size_t n = 0;
    for (size_t i = 0; i < index; ++i)
        if (p.sections[i].type == s.type)
            ++n;
    char buf[24];
    std::snprintf(buf, sizeof buf, "[%zu]", n);
    return "@" + s.type + buf;
}

}  // namespace uci
