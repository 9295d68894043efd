#pragma once
// A production record made from fuzz input: free text anywhere an operator, a meter or a
// host can put it, numbers of every size, and the action kinds and outcomes the tool has.

#include "FuzzSupport.h"

#include "records/ActionRecord.h"

#include <cmath>

namespace fuzz {

inline std::optional<double> MaybeReading(FuzzInput& in) {
    if (in.Byte() % 3 == 0) return std::nullopt;
    const double value = in.Number<double>();
    // The tool never records a value that is not finite: readings and windows are numbers.
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

inline vantrel::records::ActionRecord RecordFromInput(FuzzInput& in) {
    using namespace vantrel::records;
    ActionRecord r;
    r.id = in.ShortText();
    r.kind = static_cast<ActionKind>(in.Byte() % 6);
    r.bench = {in.ShortText(), in.ShortText(), in.ShortText(), in.ShortText(), in.ShortText()};
    r.board.model = in.ShortText();
    r.board.typeCode = in.Number<int>();
    r.board.baseAddress = in.Number<int>();
    r.board.interruptLevel = in.Number<int>();
    if (in.Byte() % 2) r.board.fpgaRevision = in.Number<int>();
    r.board.serialNumber = in.ShortText();
    r.startedUtc = in.ShortText();
    r.endedUtc = in.ShortText();
    r.verdict = in.ShortText();
    r.passed = in.Byte() % 2;
    r.outcome = static_cast<MeasureOutcome>(in.Byte() % 8);
    r.meterModel = static_cast<MeterModel>(in.Byte() % 4);
    if (in.Byte() % 2) {
        InterruptFigures f;
        f.rateHz = in.Number<int>();
        f.expectedMs = in.Number<int>();
        f.measuredMs = in.Number<int>();
        f.overflows = in.Number<std::int64_t>();
        f.errorCount = in.Number<std::int64_t>();
        f.timeoutToleranceMs = in.Number<int>();
        f.timeToleranceMs = in.Number<int>();
        f.adToleranceLsb = in.Number<int>();
        r.interrupt = f;
    }
    for (int n = in.Byte() % 9; n > 0; --n) {
        ChannelFigures c;
        c.channel = in.Number<int>();
        c.reading = MaybeReading(in);
        c.windowLow = MaybeReading(in);
        c.windowHigh = MaybeReading(in);
        c.verdict = static_cast<ChannelVerdict>(in.Byte() % 9);
        c.eepromBefore = MaybeReading(in);
        c.eepromWritten = MaybeReading(in);
        if (in.Byte() % 2) c.code = in.Number<int>();
        r.channels.push_back(c);
    }
    r.consoleText = in.Rest();
    return r;
}

}  // namespace fuzz

namespace fuzz {

// True when text is well-formed UTF-8 (shortest forms, no surrogates, up to U+10FFFF).
inline bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xc2 && lead < 0xe0 ? 2
                                   : (lead >> 4) == 0xe          ? 3
                                   : lead >= 0xf0 && lead < 0xf5 ? 4
                                                                 : 0;
        if (length == 0 || i + length > text.size()) return false;
        unsigned code = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xc0) != 0x80) return false;
            code = (code << 6) | (byte(i + k) & 0x3f);
        }
        static constexpr unsigned kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        i += length;
    }
    return true;
}

// True when every text of the record is UTF-8, so that JSON carries it unchanged.
inline bool AllTextUtf8(const vantrel::records::ActionRecord& r) {
    bool ok = IsUtf8(r.id) && IsUtf8(r.bench.host) && IsUtf8(r.bench.folder) && IsUtf8(r.bench.toolVersion) &&
              IsUtf8(r.bench.driverVersion) && IsUtf8(r.bench.operatorLogin) && IsUtf8(r.board.model) &&
              IsUtf8(r.board.serialNumber) && IsUtf8(r.startedUtc) && IsUtf8(r.endedUtc) &&
              IsUtf8(r.verdict) && IsUtf8(r.consoleText);
    return ok;
}

}  // namespace fuzz
