#pragma once
// The driver's record of the calls made to it, one line per call.

#include <cstddef>
#include <string>

namespace vantrel::bqxsim {

class CallLog {
public:
    // Appends one printf-formatted line (the newline is added).
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Clear() { m_text.clear(); }
    // Copies into buffer as bqxsimCallLog documents; returns the full length.
    std::size_t CopyTo(char* buffer, std::size_t size) const;

private:
    std::string m_text;
};

}  // namespace vantrel::bqxsim
