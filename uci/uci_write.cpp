// Writer of configuration files in the one canonical layout.
#include "uci_config.h"

namespace uci {

void append_single_quoted(std::string& out, const std::string& text)
{
    out += '\'';
    size_t start = 0;
    for (;;) {
        size_t q = text.find('\'', start);
        if (q == std::string::npos) {
            out.append(text, start, std::string::npos);
            break;
        }
        out.append(text, start, q - start);
        out += "'\\''";
        start = q + 1;
    }
    out += '\'';
}

std::string write_config(const package& p)
{
    std::string out;
    bool first = true;
    for (const section& s : p.sections) {
        if (!first)
            out += '\n';
        first = false;
        out += "config ";
        out += s.type;
        if (!s.anonymous) {
            out += ' ';
            append_single_quoted(out, s.name);
        }
        out += '\n';
        for (const option& o : s.options) {
            for_each_value(o, [&](const std::string& v) {
                out += o.is_list ? "\tlist " : "\toption ";
                out += o.name;
                out += ' ';
                append_single_quoted(out, v);
                out += '\n';
            });
        }
    }
    return out;
}

}  // namespace uci
