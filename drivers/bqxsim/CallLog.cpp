#include "CallLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vantrel::bqxsim {
namespace {

// A tool left polling for hours must not grow the log without bound: past this size the
// older half is dropped at a line boundary.
constexpr std::size_t kMaxLogBytes = 4u << 20;

}  // namespace

void CallLog::Add(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    m_text.append(line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
    m_text.push_back('\n');
    if (m_text.size() > kMaxLogBytes) {
        const auto cut = m_text.find('\n', m_text.size() / 2);
        m_text.erase(0, cut == std::string::npos ? m_text.size() : cut + 1);
    }
}

std::size_t CallLog::CopyTo(char* buffer, std::size_t size) const {
    if (buffer && size > 0) {
        const std::size_t n = std::min(size - 1, m_text.size());
        std::memcpy(buffer, m_text.data(), n);
        buffer[n] = '\0';
    }
    return m_text.size();
}

}  // namespace vantrel::bqxsim
