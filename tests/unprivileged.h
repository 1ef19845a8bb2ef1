#pragma once
// Permissions as a user meets them. Tests that run as root would write where a user
// cannot; while an Unprivileged lives, a root process acts as the user "nobody" (its
// effective ids only, so that it gets root back after). Other users are left as they are.
#include <unistd.h>

struct Unprivileged {
    static constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    const bool ok = !root || (::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0);
    Unprivileged() = default;
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    ~Unprivileged() {
        if (root && ::seteuid(0) == 0) (void)::setegid(0);
    }
};
