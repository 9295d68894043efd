#pragma once
// The application object: prepares the toolkit and runs the main dialog modally.

#include "afx/afx.h"

class CTestApp : public CWinApp {
public:
    CTestApp();

    BOOL InitInstance() override;

protected:
    DECLARE_MESSAGE_MAP()
};
