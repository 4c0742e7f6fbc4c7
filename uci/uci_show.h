// What `uci show` prints: one line per section, "config.section=type", and
// one per option, "config.section.option=value", in one of two forms.
#pragma once

#include <string>

#include "uci_config.h"

namespace uci {

// bare: values as they are, a list as its items joined by blanks.
// quoted: each value, and each item of a list, in single quotes with an
// embedded ' written '\'', items separated by a blank; options whose value
// is empty are left out, as the store that prints this form drops them when
// it reads a file. Section lines are the same in both.
enum class show_form { bare, quoted };

// The device's own settings; a line "show_form quoted" in it selects the
// quoted form.
constexpr char settings_file[] = "/etc/uci.conf";

// The form the settings file at path asks for: quoted when one of its lines
// is "show_form quoted"; bare when there is no such line or the file can't
// be read.
show_form show_form_in(const std::string& path);

// Every section of the package; an anonymous one shows as config.@type[N].
void show_package(std::string& out, const package& p, show_form form);
// prefix is "config.section" as the section shows.
void show_section(std::string& out, const std::string& prefix, const section& s, show_form form);
// False, and nothing printed, when the form leaves the option out.
bool show_option(std::string& out, const std::string& prefix, const option& o, show_form form);

// An option's value as `uci get` prints it in either form: a list as its
// items joined by blanks.
void append_values(std::string& out, const option& o);

}  // namespace uci
