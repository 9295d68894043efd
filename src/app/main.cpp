// Process entry: the one application object, then the framework's start-up.
#include <string>

#include "app/CTestApp.h"
#include "cmdline/StandardOptions.h"

CTestApp theApp;

namespace {

std::string UsageText() {
    return R"(Usage: vantrel [--help | --version] [TOOLKIT-OPTION...]
Opens the Vantrel main window: the production test and calibration of the data-acquisition
board through its driver library, with the board's reference voltages measured by a Fluke 45
or HP 34401A bench voltmeter on COM1 and written to the board's EEPROM.

The tool takes no other arguments of its own: the board settings start from "Vantrel.ini"
and the operator does the rest in the window.

Options:
  -h, --help       print this text and exit
  --version        print the version and exit
  -platform NAME, -style NAME, -reverse, -display DISPLAY, ...
                   the toolkit's own options, as every Qt program takes them

Files:
  Vantrel.ini      the starting board settings (BASEADD, INTERRUPT, VOLTMETER, BOARDTYPE),
                   read from the current folder at start-up, never written
  hertz.cfg        the scan rate of the Interrupt Test in Hz (default 2000), read from the
                   current folder at each test
  COM1             the meter's serial port: a device or link of that name in the current
                   folder, otherwise /dev/ttyS0
  log.rtf          the console saved as rich text by "Write To log.rtf"
  libbqxdrv.so     the board driver library, looked for in the program's folder, in
                   ../lib/vantrel beside it, then in the current folder
)";
}

}  // namespace

int main(int argc, char** argv) {
    static constexpr vantrel::cmdline::Program kProgram{"vantrel", UsageText};
    if (const auto status = vantrel::cmdline::AnswerHelpOrVersion(argc, argv, kProgram)) return *status;
    // The window is the whole interface: anything on the command line but the toolkit's own
    // options is a mistake.
    for (int i = 1; i < argc;) {
        const int taken = AfxToolkitOptionLength(argc, argv, i);
        if (taken == 0)
            return vantrel::cmdline::RejectCommandLine(kProgram.name,
                                                       vantrel::cmdline::UnexpectedArgument(argv[i]));
        i += taken;
    }
    return AfxWinMain(argc, argv);
}
