#pragma once
// The whole windowing layer: types, drawing objects, message maps, windows, dialogs,
// controls, the application object, message boxes and files.

#include "afx/afxfile.h"
#include "afx/afxgdi.h"
#include "afx/afxmsg.h"
#include "afx/afxobj.h"
#include "afx/afxtypes.h"
#include "afx/afxwin.h"
