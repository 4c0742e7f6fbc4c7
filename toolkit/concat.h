// Building command texts from parts with one out-of-line call: a call site
// passes a list of parts (two stores each) instead of a chain of inlined
// std::string operator+ temporaries.
//
//   append_parts(text, {" eth0.", decimal(id)});
//   uci_get(join_parts({"vlan.@vlan[", decimal(k), "].vlanid"}), value);
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// The decimal text of a number (what std::to_string gives), held in place,
// for use as a part: it must outlive the call it is passed to, which a
// temporary in the same expression does.
class decimal {
public:
    explicit decimal(int value) noexcept;
    explicit decimal(unsigned value) noexcept;
    operator std::string_view() const noexcept { return {digits_ + start_, sizeof digits_ - start_}; }

private:
    void fill(unsigned magnitude, bool negative) noexcept;

    char digits_[12];  // "-2147483648" or "4294967295" at the most
    unsigned char start_;
};

// One part: characters the call reads and does not keep.
class text_part {
public:
    // A C string. Always inlined, so that the length of a literal is known
    // when compiling: -Os would otherwise leave a call that measures it.
    [[gnu::always_inline]] text_part(const char* text) noexcept : data_(text), size_(__builtin_strlen(text)) {}
    text_part(const std::string& text) noexcept : data_(text.data()), size_(text.size()) {}
    text_part(std::string_view text) noexcept : data_(text.data()), size_(text.size()) {}
    text_part(const decimal& number) noexcept : text_part(std::string_view(number)) {}

    const char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }

private:
    const char* data_;
    std::size_t size_;
};

// Appends every part to out, in order. A part may be a view of out itself.
void append_parts(std::string& out, std::initializer_list<text_part> parts);

// The parts joined into one text.
std::string join_parts(std::initializer_list<text_part> parts);
