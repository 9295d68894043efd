// Planted in the board layer: includes of its own layer and of the console below it. They
// compile, so the failure of the upward probe is the layer's doing, not a broken probe.
#include "board/RunContext.h"
#include "console/LogConsole.h"

int BoardProbeDown() { return 0; }
