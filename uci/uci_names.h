// Names, generated names of anonymous sections and keys.
#pragma once

#include <string>
#include <string_view>

#include "uci_config.h"

namespace uci {

// Section and option names: letters, digits, underscore.
bool valid_name(std::string_view s);
// Config names and section types may also hold '-'.
bool valid_config_name(std::string_view s);
bool valid_type(std::string_view s);

// 5381, h = h*33 + byte for each byte, low 31 bits, modulo 65536.
unsigned type_hash(std::string_view type);
// "cfg" + count (two or more hex digits) + four hex digits of the type hash.
std::string generated_name(unsigned count, std::string_view type);

// config[.section[.option]][=value]; section as a name or @type[N].
struct key {
    std::string config;
    std::string section;      // a name, or the type when by_index
    std::string option;
    std::string value;
    bool has_section = false;
    bool has_option = false;
    bool has_value = false;
    bool by_index = false;
    long index = 0;           // negative counts from the end
};

// False for a malformed key or an invalid name.
bool parse_key(const std::string& text, key& k);

// Index of the section the key names in p, or -1.
int resolve_section(const package& p, const key& k);

// How show prints a section: its name, or @type[N] for an anonymous one.
std::string display_name(const package& p, size_t index);

}  // namespace uci
