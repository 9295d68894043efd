#include "ReferenceTerminals.h"

#include "AtomicFile.h"

#include <cstdio>

namespace vantrel::bqxsim {

std::string FormatTerminals(std::optional<double> volts) {
    if (!volts) return "open\n";
    char text[64];
    std::snprintf(text, sizeof text, "%.9f\n", *volts);
    return text;
}

void ReferenceTerminals::Publish(std::optional<double> volts) {
    const std::string text = FormatTerminals(volts);
    if (text == m_last) return;
    std::string error;
    if (!WriteFileAtomically(kReferenceTerminalsFile, text.data(), text.size(), false, error)) {
        std::fprintf(stderr, "bqxdrv: cannot publish reference terminals: %s\n", error.c_str());
        return;
    }
    m_last = text;
}

}  // namespace vantrel::bqxsim
