// Resource identifiers of the bench tool.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_VANTREL_DIALOG 102
#define IDD_MEASURE_REFS 103
#define IDD_SERIAL_NUMBER 104
#define AFX_IDS_APP_TITLE 57344
