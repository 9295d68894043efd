#pragma once
// Writes text runs with colours as an RTF document, in chunks handed to a sink as they
// fill, so that a long console never needs a second copy in memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::afx {

class RtfWriter {
public:
    // Receives one chunk; false stops the writing.
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    // colours: the colour table in 0x00BBGGRR form; run colour index 0 is the automatic
    // colour, index i (1-based) is colours[i - 1].
    RtfWriter(std::string face, bool fixedPitch, int halfPoints, std::vector<std::uint32_t> colours,
              Sink sink, std::size_t chunkSize = 4096);

    void Begin();
    void Text(const char16_t* text, std::size_t length, int colourIndex);
    void Paragraph();
    // Closes the document and hands over the last chunk; false when the sink stopped.
    bool End();

    bool Stopped() const { return m_stopped; }
    std::size_t BytesWritten() const { return m_written; }

private:
    void Put(const char* s, std::size_t n);
    void Put(const std::string& s) { Put(s.data(), s.size()); }
    void Flush();

    std::string m_face;
    bool m_fixedPitch;
    int m_halfPoints;
    std::vector<std::uint32_t> m_colours;
    Sink m_sink;
    std::size_t m_chunkSize;
    std::string m_buffer;
    int m_colour = 0;
    bool m_stopped = false;
    std::size_t m_written = 0;
};

}  // namespace vantrel::afx
