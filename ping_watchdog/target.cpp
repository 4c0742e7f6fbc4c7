// The watched host's address: an IPv4 address as inet_addr reads it, or an
// IPv6 literal, with "%interface" for a link-local one.
#include "watchdog.h"

#include "system_io.h"

#include <cstring>
#include <arpa/inet.h>

namespace {
// The text before '%', and the interface name after it ("" without one).
void split_scope(const std::string& text, std::string& address, std::string& scope, bool& has_scope)
{
    std::size_t percent = text.find('%');
    has_scope = percent != std::string::npos;
    address = text.substr(0, percent);
    scope = has_scope ? text.substr(percent + 1) : std::string();
}

// The interface's index; a name made of digits only that names no
// interface is taken as the index itself. 0 when neither.
unsigned scope_index(const std::string& scope)
{
    if (scope.empty())
        return 0;
    unsigned index = interface_index(scope);
    if (index != 0 || scope.size() > 9 || scope.find_first_not_of("0123456789") != std::string::npos)
        return index;
    return static_cast<unsigned>(std::strtoul(scope.c_str(), nullptr, 10));
}
}  // namespace

int target_family(const std::string& text)
{
    std::string address, scope;
    bool has_scope;
    split_scope(text, address, scope, has_scope);
    struct in6_addr six {};
    return inet_pton(AF_INET6, address.c_str(), &six) == 1 ? AF_INET6 : AF_INET;
}

bool convert_target(watchdog_state& w, const std::string& text, int family)
{
    std::memset(&w.target, 0, sizeof w.target);
    if (family == AF_INET) {
        auto& four = reinterpret_cast<struct sockaddr_in&>(w.target);
        four.sin_family = AF_INET;
        w.target_length = sizeof four;
        in_addr_t address = inet_addr(text.c_str());
        if (address == INADDR_NONE)
            return false;
        four.sin_addr.s_addr = address;
        return true;
    }
    auto& six = reinterpret_cast<struct sockaddr_in6&>(w.target);
    six.sin6_family = AF_INET6;
    w.target_length = sizeof six;
    std::string address, scope;
    bool has_scope;
    split_scope(text, address, scope, has_scope);
    if (inet_pton(AF_INET6, address.c_str(), &six.sin6_addr) != 1)
        return false;
    if (has_scope) {
        six.sin6_scope_id = scope_index(scope);
        if (six.sin6_scope_id == 0)
            return false;
    }
    return true;
}
