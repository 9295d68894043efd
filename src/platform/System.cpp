#include "platform/System.h"

#include <pwd.h>
#include <unistd.h>

namespace vantrel::platform {

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

}  // namespace vantrel::platform
