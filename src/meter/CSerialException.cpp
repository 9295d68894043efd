#include "meter/CSerialException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/FileDevice.h"
#include "platform/SerialDevice.h"

IMPLEMENT_DYNAMIC(CSerialException, CException)

CSerialException::CSerialException(DWORD dwError) : m_dwError(dwError) {}

CSerialException::~CSerialException() = default;

BOOL CSerialException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    std::string text;
    const bool known = vantrel::platform::SystemErrorText(m_dwError, text);
    if (!lpszError || nMaxError == 0) return FALSE;
    if (!known) {
        lpszError[0] = '\0';
        return FALSE;
    }
    const std::size_t length = std::min<std::size_t>(text.size(), nMaxError - 1);
    std::memcpy(lpszError, text.data(), length);
    lpszError[length] = '\0';
    return TRUE;
}

void RaiseSerialError(DWORD dwError) {
    if (dwError == 0) dwError = static_cast<DWORD>(errno);
    throw new CSerialException(dwError);
}

std::string SerialFailureText(CSerialException& e) {
    char reason[256];
    if (!e.GetErrorMessage(reason, sizeof reason))
        std::snprintf(reason, sizeof reason, "system error %u", static_cast<unsigned>(e.m_dwError));
    return reason;
}
