// The command-line options the toolkit takes for itself, as every program built on it
// accepts them: which platform and style to use, window geometry and title, X11 display.
#include <array>
#include <string_view>

#include "afx/afxwin.h"

namespace {

// Options followed by a value in the next argument (or joined with '=' where noted).
constexpr std::array<std::string_view, 17> kWithValue = {"platform",
                                                         "platformpluginpath",
                                                         "platformtheme",
                                                         "plugin",
                                                         "qwindowgeometry",
                                                         "geometry",
                                                         "qwindowtitle",
                                                         "title",
                                                         "qwindowicon",
                                                         "icon",
                                                         "session",
                                                         "style",
                                                         "stylesheet",
                                                         "display",
                                                         "name",
                                                         "visual",
                                                         "ncols"};
constexpr std::array<std::string_view, 6> kFlags = {"reverse", "widgetcount", "nograb",
                                                    "dograb",  "sync",        "testability"};
constexpr std::array<std::string_view, 3> kJoinedValue = {"style=", "stylesheet=", "qmljsdebugger="};

template <std::size_t N>
bool In(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

}  // namespace

int AfxToolkitOptionLength(int argc, const char* const* argv, int i) {
    if (i <= 0 || i >= argc || !argv[i] || argv[i][0] != '-') return 0;
    std::string_view name(argv[i] + 1);
    // The toolkit reads "--style" as "-style".
    if (!name.empty() && name.front() == '-') name.remove_prefix(1);
    for (std::string_view joined : kJoinedValue)
        if (name.size() >= joined.size() && name.substr(0, joined.size()) == joined) return 1;
    if (In(kFlags, name)) return 1;
    // The toolkit passes over a value-taking option given last, without its value.
    if (In(kWithValue, name)) return i + 1 < argc ? 2 : 1;
    return 0;
}
