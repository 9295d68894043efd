// Planted in the board layer: an include of the main dialog, one layer up. It must not compile.
#include "app/CMainTestDlg.h"

int BoardProbeUp() { return 0; }
