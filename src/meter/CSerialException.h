#pragma once
// Failure of a serial-port call, carrying the system's error code.

#include "afx/afxobj.h"

#include <string>

// Created on the heap by RaiseSerialError and thrown as a pointer; the catcher calls Delete().
class CSerialException : public CException {
    DECLARE_DYNAMIC(CSerialException)
public:
    explicit CSerialException(DWORD dwError = 0);
    ~CSerialException() override;

    // The system's text for m_dwError, cut to nMaxError characters including the terminator.
    // False with an empty text when the system has none.
    BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;

    DWORD m_dwError;  // errno of the failing call
};

// Throws a new CSerialException; a code of 0 stands for the calling thread's errno.
[[noreturn]] void RaiseSerialError(DWORD dwError = 0);

// The system's text for the failure, or "system error <code>" when the system has none.
std::string SerialFailureText(CSerialException& e);
