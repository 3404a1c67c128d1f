#include "agent/shell/AbstractSocketScope.h"

#include <cerrno>
#include <cstdint>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Debian 12's kernel headers predate the scopes; the numbers are fixed by the
// kernel's ABI.
#ifndef SYS_landlock_create_ruleset
#define SYS_landlock_create_ruleset 444
#endif
#ifndef SYS_landlock_restrict_self
#define SYS_landlock_restrict_self 446
#endif

namespace agent::AbstractSocketScope {

namespace {

constexpr unsigned kCreateRulesetVersion = 1U << 0;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0;
constexpr std::uint64_t kScopeSignal = 1ULL << 1;
constexpr long kFirstAbiWithScopes = 6;

// The ruleset's attributes as of the scopes: older kernels take a prefix.
struct RulesetAttributes {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

long abiVersion()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
}

} // namespace

bool available()
{
    static const bool scopes = abiVersion() >= kFirstAbiWithScopes;
    return scopes;
}

platform::UniqueFd prepare(bool withSignals)
{
    if (!available())
        return platform::UniqueFd();
    const RulesetAttributes attributes{0, 0, kScopeAbstractUnixSocket | (withSignals ? kScopeSignal : 0)};
    // The kernel makes it close on exec.
    return platform::UniqueFd(int(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
}

__attribute__((no_sanitize("address", "undefined"))) bool applyToSelf(int ruleset)
{
    if (ruleset < 0)
        return false;
    // Without CAP_SYS_ADMIN the kernel asks for no_new_privs first.
    if (::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0)
        return true;
    if (errno != EPERM || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
}

} // namespace agent::AbstractSocketScope
