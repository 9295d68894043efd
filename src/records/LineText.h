#pragma once
// Text as the line's PostgreSQL database can hold it. The bench keeps every text exactly as it
// came (a folder or host name may hold bytes that are not UTF-8; a pending file may carry a
// NUL); PostgreSQL takes only UTF-8 without NUL. Before a record leaves, each byte that is not
// part of a valid UTF-8 character, and each NUL, becomes the private-use character
// U+10FF00 + the byte's value. A character of that range already in the text is itself
// written byte by byte the same way, so the conversion reverses exactly: `BenchText` gives
// back the bench's bytes. Ordinary text passes unchanged.

#include <string>

namespace vantrel::records {

std::string LineText(const std::string& benchText);
std::string BenchText(const std::string& lineText);

// Decodes one UTF-8 character at `at`; returns its length, or 0 when the bytes there are not
// a valid character (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8CharLength(const std::string& text, std::size_t at, char32_t& codePoint);

// Appends the UTF-8 form of `codePoint`.
void AppendUtf8(std::string& text, char32_t codePoint);

}  // namespace vantrel::records
