// Config file parser and writer, names and keys of the configuration store.
#include <gtest/gtest.h>

#include "uci_config.h"
#include "uci_names.h"

namespace {

uci::package parse_ok(const std::string& text)
{
    uci::package p;
    uci::parse_error err;
    EXPECT_TRUE(uci::parse_config(text, p, err)) << err.reason << " at " << err.line;
    return p;
}

std::string value_of(const uci::package& p, size_t sec, const std::string& opt)
{
    for (const uci::option& o : p.sections.at(sec).options)
        if (o.name == opt) {
            std::string v;
            bool first = true;
            uci::for_each_value(o, [&](const std::string& x) {
                v += (first ? "" : "|") + x;
                first = false;
            });
            return v;
        }
    return "<missing>";
}

struct value_case {
    const char* line;     // an option line as found in a file
    const char* value;
};

class uci_value_forms : public ::testing::TestWithParam<value_case> {};

TEST_P(uci_value_forms, reads_value_and_writes_it_back_identically)
{
    std::string text = std::string("config t 's'\n") + GetParam().line + "\n";
    uci::package p = parse_ok(text);
    ASSERT_EQ(p.sections.size(), 1u);
    EXPECT_EQ(value_of(p, 0, "o"), GetParam().value);
    std::string written = uci::write_config(p);
    uci::package again = parse_ok(written);
    EXPECT_EQ(value_of(again, 0, "o"), GetParam().value);
    EXPECT_EQ(uci::write_config(again), written);
}

INSTANTIATE_TEST_SUITE_P(
    quoting, uci_value_forms,
    ::testing::Values(value_case{"\toption o bare", "bare"},
                      value_case{"\toption o 'single quoted'", "single quoted"},
                      value_case{"\toption o \"double quoted\"", "double quoted"},
                      value_case{"\toption o \"esc \\\"q\\\" \\\\ \\$x\"", "esc \"q\" \\ $x"},
                      value_case{"\toption o 'it'\\''s'", "it's"},
                      value_case{"\toption o 'a'\"b\"c", "abc"},
                      value_case{"\toption o ''", ""},
                      value_case{"\toption o \"\"", ""},
                      value_case{"\toption o 'has # hash'", "has # hash"},
                      value_case{"\toption o value # comment", "value"},
                      value_case{"\toption o value#comment", "value"},
                      value_case{"\toption o 'x;$(reboot)`id`'", "x;$(reboot)`id`"},
                      value_case{"\toption o 'two\nlines'", "two\nlines"},
                      value_case{"\toption o \"two\nlines\"", "two\nlines"},
                      value_case{"\to o short", "short"},
                      value_case{"\toption o 'a b'  ", "a b"},
                      value_case{"\toption o bare\\ blank", "bare blank"},
                      value_case{"\toption o first\n\toption o second", "second"},
                      value_case{"\tlist o a\n\tlist o 'b c'", "a|b c"},
                      value_case{"\tl o a\n\tl o b", "a|b"},
                      value_case{"\toption o one\n\tlist o two", "one|two"},
                      value_case{"\tlist o one\n\toption o two", "two"},
                      value_case{"\toption o 'crlf'\r", "crlf"}));

TEST(uci_parse, reads_sections_comments_and_package_lines)
{
    uci::package p = parse_ok("# head\npackage vlan\n\n"
                              "config vlan\n\toption vlanid 1\n"
                              "c vlan 'lan'   # named\n"
                              "   # indented comment\n"
                              "config \"wifi-iface\" \"\"\n\toption ssid Home\n");
    ASSERT_EQ(p.sections.size(), 3u);
    EXPECT_TRUE(p.sections[0].anonymous);
    EXPECT_EQ(p.sections[0].name, "cfg019c96");
    EXPECT_FALSE(p.sections[1].anonymous);
    EXPECT_EQ(p.sections[1].name, "lan");
    EXPECT_TRUE(p.sections[2].anonymous);
    EXPECT_EQ(p.sections[2].type, "wifi-iface");
    EXPECT_EQ(value_of(p, 2, "ssid"), "Home");
    EXPECT_EQ(p.created, 3u);
}

// Every word of the first statements is made of several pieces, short and
// long, so each one is put together while the statement is still growing.
TEST(uci_parse, words_written_in_pieces)
{
    uci::package p = parse_ok("'con'fig 'wifi'\"-iface\" 'a_rather_long_'\"section_name\"\n"
                              "\t'op'\"tion\" o\\pt 'a value long enough '\"to live on the heap\"\n"
                              "\tlist l\"\"s \"x\\\"\"'y'\n");
    ASSERT_EQ(p.sections.size(), 1u);
    EXPECT_EQ(p.sections[0].type, "wifi-iface");
    EXPECT_EQ(p.sections[0].name, "a_rather_long_section_name");
    EXPECT_EQ(value_of(p, 0, "opt"), "a value long enough to live on the heap");
    EXPECT_EQ(value_of(p, 0, "ls"), "x\"y");
}

TEST(uci_parse, repeated_section_name_continues_the_section)
{
    uci::package p = parse_ok("config a 'x'\n\toption o 1\nconfig b 'y'\nconfig a 'x'\n\toption p 2\n");
    ASSERT_EQ(p.sections.size(), 2u);
    EXPECT_EQ(value_of(p, 0, "o"), "1");
    EXPECT_EQ(value_of(p, 0, "p"), "2");
}

TEST(uci_write, canonical_layout)
{
    uci::package p = parse_ok("config vlan\n option vlanid \"10\"\nlist ports eth0\nlist ports ath0\n"
                              "config interface lan\noption ipaddr 192.168.1.1\n");
    EXPECT_EQ(uci::write_config(p),
              "config vlan\n\toption vlanid '10'\n\tlist ports 'eth0'\n\tlist ports 'ath0'\n"
              "\nconfig interface 'lan'\n\toption ipaddr '192.168.1.1'\n");
    EXPECT_EQ(uci::write_config(parse_ok("")), "");
    EXPECT_EQ(uci::write_config(parse_ok("# only a comment\n\n")), "");
}

TEST(uci_write, hostile_values_round_trip)
{
    uci::package p = parse_ok("config t 's'\n");
    const std::vector<std::string> values = {
        "Bob's \"net\"; reboot", "'", "''", "\\", "\\'", "$(reboot)", "`reboot`", "a\nb\n", "\n",
        "#", "tab\there", std::string("nul\0byte", 8), "trailing blank ", " leading"};
    for (size_t i = 0; i < values.size(); ++i)
        uci::set_option_value(p.sections[0], "o" + std::to_string(i), values[i]);
    uci::package again = parse_ok(uci::write_config(p));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(value_of(again, 0, "o" + std::to_string(i)), values[i]) << i;
    EXPECT_EQ(uci::write_config(again), uci::write_config(p));
}

struct broken_case {
    const char* text;
    int line;
    const char* reason;
};

class uci_broken_files : public ::testing::TestWithParam<broken_case> {};

TEST_P(uci_broken_files, are_rejected_with_their_line)
{
    uci::package p;
    uci::parse_error err;
    EXPECT_FALSE(uci::parse_config(GetParam().text, p, err));
    EXPECT_EQ(err.line, GetParam().line);
    EXPECT_EQ(err.reason, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    errors, uci_broken_files,
    ::testing::Values(broken_case{"option o 1\n", 1, "option outside of a section"},
                      broken_case{"config t\n\n\tbogus x y\n", 3, "invalid command"},
                      broken_case{"config\n", 1, "missing section type"},
                      broken_case{"config t a b\n", 1, "too many arguments"},
                      broken_case{"config t 'bad name'\n", 1, "invalid section name"},
                      broken_case{"config t a.b\n", 1, "invalid section name"},
                      broken_case{"config 't t'\n", 1, "invalid section type"},
                      broken_case{"config t\n\toption 'bad-name' 1\n", 2, "invalid option name"},
                      broken_case{"config t\n\toption o\n", 2, "missing option value"},
                      broken_case{"config t\n\toption o a b\n", 2, "too many arguments"},
                      broken_case{"config t\n\toption o 'open\n\n", 2, "unterminated quote"},
                      broken_case{"config t\n\toption o \"open\\\"\n", 2, "unterminated quote"},
                      broken_case{"config t\n\toption a 'x\ny'\n\tlist 1 2 3\n", 4, "too many arguments"},
                      broken_case{"package\n", 1, "invalid package line"}));

TEST(uci_names, type_hash_and_generated_names)
{
    EXPECT_EQ(uci::type_hash("vlan"), 0x9c96u);
    EXPECT_EQ(uci::generated_name(2, "vlan"), "cfg029c96");
    EXPECT_EQ(uci::generated_name(0x1f4, "vlan"), "cfg1f49c96");
    // Bytes are unsigned and the hash keeps 31 bits before the modulo.
    unsigned h = 5381;
    for (unsigned char c : std::string("wifi-iface\xff"))
        h = (h * 33 + c) & 0x7fffffffu;
    EXPECT_EQ(uci::type_hash("wifi-iface\xff"), h % 65536);
    EXPECT_EQ(uci::type_hash(""), 5381u);
}

TEST(uci_names, second_section_of_vlan_is_the_lan_name)
{
    uci::package p = parse_ok("config vlan\nconfig vlan\n\toption ip 192.168.1.1\n");
    uci::key k;
    ASSERT_TRUE(uci::parse_key("vlan.cfg029c96.ip", k));
    EXPECT_EQ(uci::resolve_section(p, k), 1);
}

struct key_case {
    const char* text;
    bool valid;
};

class uci_key_syntax : public ::testing::TestWithParam<key_case> {};

TEST_P(uci_key_syntax, accepts_only_well_formed_keys)
{
    uci::key k;
    EXPECT_EQ(uci::parse_key(GetParam().text, k), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    keys, uci_key_syntax,
    ::testing::Values(key_case{"network", true}, key_case{"my-conf.s", true},
                      key_case{"network.lan.ipaddr", true}, key_case{"wireless.@wifi-iface[0].ssid", true},
                      key_case{"vlan.@vlan[-1]", true}, key_case{"a.b.c=x=y", true},
                      key_case{"a.b=", true}, key_case{"", false}, key_case{".b", false},
                      key_case{"a.", false}, key_case{"a..c", false}, key_case{"a.b.", false},
                      key_case{"a.b.c.d", false}, key_case{"a/b", false}, key_case{"../x.y", false},
                      key_case{"a.b-c", false}, key_case{"a.b.c-d", false}, key_case{"a.@v", false},
                      key_case{"a.@v[]", false}, key_case{"a.@v[x]", false}, key_case{"a.@[0]", false},
                      key_case{"a.@v[1", false}, key_case{"a.@v[--1]", false},
                      key_case{"a.@v[99999999999]", false}, key_case{"a b.c", false},
                      key_case{"a.b.c d", false}));

TEST(uci_names, key_parts_and_value)
{
    uci::key k;
    ASSERT_TRUE(uci::parse_key("vlan.@vlan[-2].ip=10.0.0.1=x", k));
    EXPECT_EQ(k.config, "vlan");
    EXPECT_TRUE(k.by_index);
    EXPECT_EQ(k.section, "vlan");
    EXPECT_EQ(k.index, -2);
    EXPECT_EQ(k.option, "ip");
    EXPECT_TRUE(k.has_value);
    EXPECT_EQ(k.value, "10.0.0.1=x");
}

struct resolve_case {
    const char* key;
    int index;
};

class uci_resolution : public ::testing::TestWithParam<resolve_case> {};

TEST_P(uci_resolution, finds_sections_by_index_name_and_generated_name)
{
    uci::package p = parse_ok("config vlan\nconfig interface 'lan'\nconfig vlan 'guest'\n"
                              "config vlan\nconfig other\n");
    uci::key k;
    ASSERT_TRUE(uci::parse_key(GetParam().key, k));
    EXPECT_EQ(uci::resolve_section(p, k), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    sections, uci_resolution,
    ::testing::Values(resolve_case{"c.@vlan[0]", 0}, resolve_case{"c.@vlan[1]", 2},
                      resolve_case{"c.@vlan[2]", 3}, resolve_case{"c.@vlan[3]", -1},
                      resolve_case{"c.@vlan[-1]", 3}, resolve_case{"c.@vlan[-3]", 0},
                      resolve_case{"c.@vlan[-4]", -1}, resolve_case{"c.@interface[0]", 1},
                      resolve_case{"c.@nothing[0]", -1}, resolve_case{"c.lan", 1},
                      resolve_case{"c.guest", 2}, resolve_case{"c.cfg019c96", 0},
                      resolve_case{"c.cfg049c96", 3}, resolve_case{"c.cfg029c96", -1},
                      resolve_case{"c.missing", -1}));

TEST(uci_names, display_name_counts_sections_of_the_type)
{
    uci::package p = parse_ok("config vlan\nconfig vlan 'named'\nconfig vlan\n");
    EXPECT_EQ(uci::display_name(p, 0), "@vlan[0]");
    EXPECT_EQ(uci::display_name(p, 1), "named");
    EXPECT_EQ(uci::display_name(p, 2), "@vlan[2]");
}

}  // namespace
