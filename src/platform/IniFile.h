#pragma once
// Settings files in the INI form: [group] headers and key=value lines.

#include <map>
#include <string>
#include <vector>

namespace vantrel::platform {

// The keys and values of one group of an INI file, as text; empty when the file or the
// group is missing.
// Keys whose value the reader takes as a list (an unquoted comma) are named in `lists`, when
// given, and their value is empty.
std::map<std::string, std::string> ReadIniGroup(const std::string& path, const std::string& group,
                                                std::vector<std::string>* lists = nullptr);

// An INI truth value: anything but empty, "0" and "false" (any case) is true.
bool IniTrue(const std::string& value);

}  // namespace vantrel::platform
