#include "text.h"

#include "fixture.h"

#include <gtest/gtest.h>

namespace {

struct field_case {
    const char* text;
    char delimiter;
    uint16_t index;
    const char* expected;
};

class field_of_test : public ::testing::TestWithParam<field_case> {};

TEST_P(field_of_test, takes_the_strtok_field)
{
    const auto& c = GetParam();
    std::string dest = "stale";
    EXPECT_EQ(field_of(dest, c.text, c.index, c.delimiter), 0);
    EXPECT_EQ(dest, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    examples, field_of_test,
    ::testing::Values(field_case{"--app=get-wifi-ssid", '=', 0, "--app"},
                      field_case{"--app=get-wifi-ssid", '=', 1, "get-wifi-ssid"},
                      field_case{"--app=get-wifi-ssid", '=', 2, ""},
                      field_case{"==a==b", '=', 0, "a"},
                      field_case{"==a==b", '=', 1, "b"},
                      field_case{"", '=', 0, ""},
                      field_case{"", '=', 5, ""},
                      field_case{"a=b=c", '=', 1, "b"},
                      field_case{"ath0  ath1", ' ', 0, "ath0"},
                      field_case{"ath0  ath1", ' ', 1, "ath1"},
                      field_case{"ath0  ath1", ' ', 2, ""},
                      field_case{"0,10,20,0", ',', 1, "10"},
                      field_case{"a;b;", ';', 2, ""}));

struct count_case {
    const char* text;
    char delimiter;
    int expected;
};

class count_fields_test : public ::testing::TestWithParam<count_case> {};

TEST_P(count_fields_test, counts_every_delimiter_plus_one)
{
    const auto& c = GetParam();
    int out = -7;
    EXPECT_EQ(count_fields(c.text, out, c.delimiter), 0);
    EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(examples, count_fields_test,
                         ::testing::Values(count_case{"0,0", ',', 2}, count_case{"ath0  ath1", ' ', 3},
                                           count_case{"a;b;", ';', 3}, count_case{"abc", ';', 1},
                                           count_case{"", ' ', 1}));

TEST(count_fields, counts_past_127_fields)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "eth0." + std::to_string(i) + " ";
    int out = 0;
    count_fields(text, out, ' ');
    EXPECT_EQ(out, 301);
}

TEST(semicolon_helpers, use_the_semicolon)
{
    int n = 0;
    count_semicolon_fields("a;b;;c", n);
    EXPECT_EQ(n, 4);
    std::string field;
    semicolon_field_of(field, "a;b;;c", 2);
    EXPECT_EQ(field, "c");
}

TEST(field_of, carries_ten_thousand_characters_whole)
{
    std::string value(10000, 'x');
    std::string dest;
    field_of(dest, "-ipaddr=" + value, 1, '=');
    EXPECT_EQ(dest, value);
}

struct splice_case {
    const char* text;
    std::size_t pos;
    int16_t n;
    const char* replacement;
    const char* expected;
};

class splice_text_test : public ::testing::TestWithParam<splice_case> {};

TEST_P(splice_text_test, replaces_the_stretch)
{
    const auto& c = GetParam();
    std::string text = c.text;
    EXPECT_EQ(splice_text(text, c.pos, c.n, c.replacement), 0);
    EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    examples, splice_text_test,
    ::testing::Values(splice_case{"a;;b", 1, 2, ";", "a;b"},             // shrink
                      splice_case{"0,10,20,0", 2, 3, nullptr, "0,20,0"},  // null removes
                      splice_case{"0,10,20,0", 2, 3, "", "0,20,0"},       // empty removes
                      splice_case{"abcdef", 1, 2, "XY", "aXYdef"},        // same length overwrites
                      splice_case{"ab", 1, 0, "123", "a123b"},            // grow
                      splice_case{"ab", 1, 5, "", "a"}));                 // clipped at the end

TEST(month_number, maps_the_table_exactly)
{
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        uint8_t out = 0;
        month_number(months[i], out);
        EXPECT_EQ(out, i + 1) << months[i];
    }
    for (const char* bad : {"jan", "January", "", "Ja"}) {
        uint8_t out = 0;
        month_number(bad, out);
        EXPECT_EQ(out, 13) << bad;
    }
}

TEST(reorder_date_text, counts_day_time_and_year_from_the_end)
{
    std::string text = "Mon Dec 07 02:28:32 2026";
    reorder_date_text(text);
    EXPECT_EQ(text, "07-12-2026 02:28:32");

    std::string short_year = "Mon Dec 17 02:28:32 26";
    reorder_date_text(short_year);
    EXPECT_EQ(short_year, "17-12-  26 02:28:32");
}

using time_stamp_test = fixture::fake_test;

TEST_F(time_stamp_test, formats_day_month_year_time_and_microseconds)
{
    fake::set_clock(1796610512, 4120);  // 7 December 2026 02:28:32 UTC
    std::string stamp;
    EXPECT_EQ(time_stamp(stamp), 0);
    EXPECT_EQ(stamp, "07-12-2026 02:28:32.004120");
}

TEST_F(time_stamp_test, two_digit_day_needs_no_repair)
{
    fake::set_clock(1796610512 + 10 * 86400, 999999);
    std::string stamp;
    time_stamp(stamp);
    EXPECT_EQ(stamp, "17-12-2026 02:28:32.999999");
}

TEST_F(time_stamp_test, clock_failure_leaves_the_destination)
{
    fake::set_clock_failing(true);
    std::string stamp = "before";
    testing::internal::CaptureStderr();
    EXPECT_EQ(time_stamp(stamp), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stamp, "before");
    std::string calendar = "unchanged";
    EXPECT_EQ(current_time_text(calendar), -1);
    EXPECT_EQ(calendar, "unchanged");
}

TEST_F(time_stamp_test, current_time_text_is_the_calendar_text)
{
    fake::set_clock(1796610512, 0);
    std::string text;
    EXPECT_EQ(current_time_text(text), 0);
    EXPECT_EQ(text, "Mon Dec  7 02:28:32 2026\n");
}

}  // namespace
