// The toolkit's own command-line options, told apart from anything else on a command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/afx.h"

namespace {

struct OptionCase {
    std::vector<const char*> args;  // after the program name
    int length;                     // of the option at the first argument
};

class ToolkitOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(ToolkitOptions, TakeTheirValueAndNothingElse) {
    std::vector<const char*> argv{"vantrel"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    EXPECT_EQ(AfxToolkitOptionLength(static_cast<int>(argv.size()), argv.data(), 1), GetParam().length)
        << argv[1];
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolkitOptions,
    testing::Values(OptionCase{{"-platform", "offscreen", "x"}, 2},
                    OptionCase{{"--platform", "offscreen"}, 2}, OptionCase{{"-style", "Fusion"}, 2},
                    OptionCase{{"-style=Fusion"}, 1}, OptionCase{{"-stylesheet=a.qss"}, 1},
                    OptionCase{{"-reverse", "x"}, 1}, OptionCase{{"-display", ":1"}, 2},
                    OptionCase{{"-qwindowtitle", "Bench 3"}, 2},
                    OptionCase{{"-platform"}, 1},  // given last, without its value
                    OptionCase{{"-qmljsdebugger=port:1234"}, 1},
                    // Not the toolkit's: the program refuses these.
                    OptionCase{{"-x"}, 0}, OptionCase{{"bogus"}, 0}, OptionCase{{"--no-such-option"}, 0},
                    OptionCase{{"-style="}, 1}, OptionCase{{"-platforms", "x"}, 0}, OptionCase{{"-"}, 0},
                    OptionCase{{"platform", "x"}, 0}));

TEST(ToolkitOptions, OutsideTheArgumentsIsNone) {
    const char* argv[] = {"vantrel", "-reverse"};
    EXPECT_EQ(AfxToolkitOptionLength(2, argv, 0), 0);
    EXPECT_EQ(AfxToolkitOptionLength(2, argv, 2), 0);
    EXPECT_EQ(AfxToolkitOptionLength(2, argv, 1), 1);
}

}  // namespace
