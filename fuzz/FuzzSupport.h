#pragma once
// What every fuzz target shares: the entry point libFuzzer calls, a check that stops the run
// with a message when a property fails, a reader that turns the input into typed values, and
// a scratch file for readers that take a path.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Stops the run: libFuzzer keeps the input as a crash, the replay test fails.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace fuzz {

// Takes values from the front of the input; once it is used up every value is zero or empty.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }

    template <typename T>
    T Number() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (auto& b : bytes) b = Byte();
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // A string whose length is the next byte (up to 255).
    std::string ShortText() { return Text(Byte()); }
    std::string Text(std::size_t length) {
        length = std::min(length, m_size - m_at);
        std::string text(reinterpret_cast<const char*>(m_data + m_at), length);
        m_at += length;
        return text;
    }
    std::string Rest() { return Text(m_size - m_at); }
    bool Empty() const { return m_at >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// A file of this process's own under TMPDIR; the same name on every call.
std::string ScratchPath(std::string_view name);

// Writes bytes to path, replacing what was there; aborts when it cannot.
void WriteScratchFile(const std::string& path, std::string_view bytes);

}  // namespace fuzz
