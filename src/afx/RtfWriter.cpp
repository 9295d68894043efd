#include "afx/RtfWriter.h"

#include <cstdio>

namespace vantrel::afx {

RtfWriter::RtfWriter(std::string face, bool fixedPitch, int halfPoints, std::vector<std::uint32_t> colours,
                     Sink sink, std::size_t chunkSize)
    : m_face(std::move(face)),
      m_fixedPitch(fixedPitch),
      m_halfPoints(halfPoints),
      m_colours(std::move(colours)),
      m_sink(std::move(sink)),
      m_chunkSize(chunkSize ? chunkSize : 4096) {
    m_buffer.reserve(m_chunkSize + 64);
}

void RtfWriter::Begin() {
    Put("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0");
    Put(m_fixedPitch ? "\\fmodern\\fprq1" : "\\fswiss\\fprq2");
    Put("\\fcharset0 ");
    for (char c : m_face) {
        if (c == '\\' || c == '{' || c == '}' || c == ';') continue;
        Put(&c, 1);
    }
    Put(";}}\r\n{\\colortbl ;");
    char entry[64];
    for (std::uint32_t c : m_colours) {
        const int n = std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", c & 0xFFu,
                                    (c >> 8) & 0xFFu, (c >> 16) & 0xFFu);
        Put(entry, static_cast<std::size_t>(n));
    }
    Put("}\r\n\\viewkind4\\uc1\\pard\\f0");
    const int n = std::snprintf(entry, sizeof entry, "\\fs%d ", m_halfPoints);
    Put(entry, static_cast<std::size_t>(n));
}

void RtfWriter::Text(const char16_t* text, std::size_t length, int colourIndex) {
    if (length == 0) return;
    if (colourIndex != m_colour) {
        char cf[24];
        const int n = std::snprintf(cf, sizeof cf, "\\cf%d ", colourIndex);
        Put(cf, static_cast<std::size_t>(n));
        m_colour = colourIndex;
    }
    static const char hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        if (c == u'\\' || c == u'{' || c == u'}') {
            const char esc[2] = {'\\', static_cast<char>(c)};
            Put(esc, 2);
        } else if (c == u'\t') {
            Put("\\tab ", 5);
        } else if (c == u'\n' || c == 0x2029) {
            Put("\\par\r\n", 6);
        } else if (c == 0x2028) {
            Put("\\line ", 6);
        } else if (c < 0x20) {
            continue;
        } else if (c < 0x80) {
            const char ch = static_cast<char>(c);
            Put(&ch, 1);
        } else if (c <= 0xFF) {
            const char esc[4] = {'\\', '\'', hex[(c >> 4) & 0xF], hex[c & 0xF]};
            Put(esc, 4);
        } else {
            char u[16];
            const int n =
                std::snprintf(u, sizeof u, "\\u%d?", static_cast<int>(static_cast<std::int16_t>(c)));
            Put(u, static_cast<std::size_t>(n));
        }
    }
}

void RtfWriter::Paragraph() { Put("\\par\r\n", 6); }

bool RtfWriter::End() {
    Put("}\r\n", 3);
    Flush();
    return !m_stopped;
}

void RtfWriter::Put(const char* s, std::size_t n) {
    if (m_stopped) return;
    m_buffer.append(s, n);
    if (m_buffer.size() >= m_chunkSize) Flush();
}

void RtfWriter::Flush() {
    if (m_stopped || m_buffer.empty()) return;
    if (!m_sink(m_buffer.data(), m_buffer.size()))
        m_stopped = true;
    else
        m_written += m_buffer.size();
    m_buffer.clear();
}

}  // namespace vantrel::afx
