#pragma once
// Colours of the console text and of the status fields.

#include "afx/afx.h"

namespace vantrel::console {

inline constexpr COLORREF kLogRed = RGB(255, 0, 0);    // failed checks
inline constexpr COLORREF kLogGreen = RGB(0, 164, 0);  // passed checks
inline constexpr COLORREF kLogBlack = RGB(0, 0, 0);    // ordinary text

inline constexpr COLORREF kStatusTesting = RGB(255, 255, 0);
inline constexpr COLORREF kStatusSuccess = RGB(0, 255, 0);
inline constexpr COLORREF kStatusFailed = RGB(255, 0, 0);

}  // namespace vantrel::console
