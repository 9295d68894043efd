#pragma once
// Who and where the tool runs: the host's name and the login of the user running it.

#include <string>

namespace vantrel::platform {

// The host's name; empty when the system does not tell it.
std::string HostName();

// The login name of the user the tool runs as (not of whoever owns the terminal); empty
// when the user database does not know the user.
std::string LoginName();

}  // namespace vantrel::platform
