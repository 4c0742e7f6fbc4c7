// The field functions on arbitrary texts, checked against their definitions.
#include "text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const char delimiter = static_cast<char>(data[0]);
    const uint16_t index = static_cast<uint16_t>(data[1] | (data[2] << 8));
    std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

    int count = 0;
    count_fields(text, count, delimiter);
    std::size_t delimiters = 0;
    for (char c : text)
        delimiters += c == delimiter;
    if (count != static_cast<int>(delimiters) + 1)
        std::abort();

    std::string field;
    field_of(field, text, index, delimiter);
    if (field.find(delimiter) != std::string::npos || field.size() > text.size())
        std::abort();
    if (!field.empty() && text.find(field) == std::string::npos)
        std::abort();

    std::string spliced = text;
    splice_text(spliced, index % (text.size() + 1), static_cast<int16_t>(data[1]), field.c_str());

    std::string date = text;
    reorder_date_text(date);
    uint8_t month = 0;
    month_number(text, month);
    if (month < 1 || month > 13)
        std::abort();
    return 0;
}
