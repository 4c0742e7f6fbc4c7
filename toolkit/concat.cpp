#include "concat.h"

void append_parts(std::string& out, std::initializer_list<text_part> parts)
{
    std::size_t size = out.size();
    for (const text_part& part : parts)
        size += part.size();
    if (size > out.capacity()) {
        // Grown apart from out, so a part that views out stays valid.
        std::string grown;
        grown.reserve(size);
        grown.append(out);
        for (const text_part& part : parts)
            grown.append(part.data(), part.size());
        out.swap(grown);
        return;
    }
    // Within the capacity nothing moves and only the end is written.
    for (const text_part& part : parts)
        out.append(part.data(), part.size());
}

std::string join_parts(std::initializer_list<text_part> parts)
{
    std::string out;
    append_parts(out, parts);
    return out;
}

decimal::decimal(int value) noexcept
{
    // The magnitude as unsigned, so the most negative value has one too.
    fill(value < 0 ? 0U - static_cast<unsigned>(value) : static_cast<unsigned>(value), value < 0);
}

decimal::decimal(unsigned value) noexcept
{
    fill(value, false);
}

void decimal::fill(unsigned magnitude, bool negative) noexcept
{
    std::size_t at = sizeof digits_;
    do {
        digits_[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits_[--at] = '-';
    start_ = static_cast<unsigned char>(at);
}
