#include "concat.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(join_parts, joins_literals_texts_and_views_in_order)
{
    const std::string bridge = "network.vlansw3";
    const char* mask = "255.255.255.0";
    EXPECT_EQ(join_parts({"uci set ", bridge, ".netmask=", mask}), "uci set network.vlansw3.netmask=255.255.255.0");
    EXPECT_EQ(join_parts({}), "");
    EXPECT_EQ(join_parts({"", "a", "", std::string_view("bc", 1)}), "ab");
}

TEST(join_parts, keeps_nul_bytes_of_a_part)
{
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(join_parts({with_nul, "!"}), std::string("a\0b!", 4));
}

TEST(append_parts, appends_after_what_is_there)
{
    std::string batch = "uci set a=interface";
    append_parts(batch, {";uci set ", "a", ".type=bridge"});
    EXPECT_EQ(batch, "uci set a=interface;uci set a.type=bridge");
    append_parts(batch, {});
    EXPECT_EQ(batch, "uci set a=interface;uci set a.type=bridge");
}

TEST(append_parts, takes_parts_that_view_the_text_itself)
{
    // Both while the text grows past its capacity and while it fits.
    std::string text = "abc";
    append_parts(text, {",", text, ",", text});
    EXPECT_EQ(text, "abc,abc,abc");
    std::string roomy = "xy";
    roomy.reserve(100);
    append_parts(roomy, {roomy, std::string_view(roomy).substr(1)});
    EXPECT_EQ(roomy, "xyxyy");
    std::string long_text(40, 'q');
    append_parts(long_text, {long_text, long_text});
    EXPECT_EQ(long_text, std::string(120, 'q'));
}

TEST(decimal, writes_what_to_string_writes)
{
    for (int value : {0, 1, 9, 10, 42, 100, 255, 4095, -1, -10, -2147483647, INT_MAX, INT_MIN})
        EXPECT_EQ(std::string(std::string_view(decimal(value))), std::to_string(value)) << value;
    for (unsigned value : {0U, 7U, 255U, 2147483648U, UINT_MAX})
        EXPECT_EQ(std::string(std::string_view(decimal(value))), std::to_string(value)) << value;
}

TEST(decimal, serves_as_a_part)
{
    const int e = 3;
    EXPECT_EQ(join_parts({"brctl addif br-vlansw", decimal(e), " ath", decimal(e)}), "brctl addif br-vlansw3 ath3");
    EXPECT_EQ(join_parts({"192.168.", decimal(100 + 11)}), "192.168.111");
}

}  // namespace
