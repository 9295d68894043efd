#pragma once
// What every whole-press benchmark does first: the offscreen application, a bench folder with
// the settings and the simulated board's bench lines, and the simulated driver loaded.

#include "BenchFolder.h"
#include "DialogDriver.h"
#include "platform/DriverLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace benchdialog {

// Returns false, having said why on stderr, when the driver does not load.
inline bool PrepareBench(vantrel::dialogdriver::BenchFolder& bench, int meter,
                         const std::vector<std::string>& benchLines) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vantrel::dialogdriver::EnsureApplication();
    bench.WriteSettings(0x300, 7, meter, 27);
    bench.WriteBench(benchLines);
    if (vantrel::platform::LoadDriverLibrary({VANTREL_DRIVER_DIR})) return true;
    std::fprintf(stderr, "the simulated driver did not load from %s\n", VANTREL_DRIVER_DIR);
    return false;
}

}  // namespace benchdialog
