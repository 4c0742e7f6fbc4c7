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

namespace {
// Fills address and length from the text; false when it doesn't convert.
bool convert_address(const std::string& text, int family, struct sockaddr_storage& storage, socklen_t& length)
{
    std::memset(&storage, 0, sizeof storage);
    if (family == AF_INET) {
        auto& four = reinterpret_cast<struct sockaddr_in&>(storage);
        four.sin_family = AF_INET;
        length = sizeof four;
        // glibc's inet_addr takes an address followed by a blank and
        // anything after it, musl's refuses it: refused here on both.
        if (text.find_first_of(" \t\n\v\f\r") != std::string::npos)
            return false;
        in_addr_t address = inet_addr(text.c_str());
        if (address == INADDR_NONE)
            return false;
        four.sin_addr.s_addr = address;
        return true;
    }
    auto& six = reinterpret_cast<struct sockaddr_in6&>(storage);
    six.sin6_family = AF_INET6;
    length = sizeof six;
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

}  // namespace

bool convert_target(watchdog_state& w, const std::string& text, int family)
{
    return convert_address(text, family, w.target, w.target_length);
}

bool same_host(const struct sockaddr_storage& target, const struct sockaddr_storage& other)
{
    if (target.ss_family != other.ss_family)
        return false;
    if (target.ss_family == AF_INET)
        return reinterpret_cast<const struct sockaddr_in&>(target).sin_addr.s_addr ==
               reinterpret_cast<const struct sockaddr_in&>(other).sin_addr.s_addr;
    const auto& want = reinterpret_cast<const struct sockaddr_in6&>(target);
    const auto& got = reinterpret_cast<const struct sockaddr_in6&>(other);
    // A link-local target that names its interface is that host there only.
    return std::memcmp(&want.sin6_addr, &got.sin6_addr, sizeof want.sin6_addr) == 0 &&
           (want.sin6_scope_id == 0 || want.sin6_scope_id == got.sin6_scope_id);
}

bool read_target_list(const std::string& text, std::vector<watch_target>& targets)
{
    targets.clear();
    std::size_t at = 0;
    for (;;) {
        std::size_t comma = text.find(',', at);
        watch_target t;
        t.text = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        t.family = target_family(t.text);
        if (targets.size() == max_targets || !convert_address(t.text, t.family, t.address, t.address_length))
            return false;
        for (const watch_target& earlier : targets)
            if (same_host(earlier.address, t.address) || same_host(t.address, earlier.address))
                return false;
        targets.push_back(t);
        if (comma == std::string::npos)
            return true;
        at = comma + 1;
    }
}
