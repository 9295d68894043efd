#include "platform/System.h"

#include <malloc.h>
#include <pwd.h>
#include <unistd.h>

namespace platform {

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

std::string LoginName() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->pw_name;
}

void ReleaseFreeMemory() { ::malloc_trim(0); }

}  // namespace platform
