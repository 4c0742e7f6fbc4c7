// Building command texts from parts with one out-of-line call: a call site
// passes a list of views (a few stores each) instead of a chain of inlined
// std::string operator+ temporaries.
//
//   append_parts(batch, {";uci set ", bridge, ".netmask=", mask});
//   shell_run(join_parts({"brctl addif br-vlansw", decimal(e), " ath", decimal(e)}));
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Appends every part to out, in order. A part may be a view of out itself.
void append_parts(std::string& out, std::initializer_list<std::string_view> parts);

// The parts joined into one text.
std::string join_parts(std::initializer_list<std::string_view> parts);

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
