// The emulator's command parser (the Fluke 45's language, or the HP 34401A's SCPI), fed the
// bytes a tool sends: whatever they are, it answers; and how the bytes are cut into reads does
// not change a byte of what it answers.
#include "FuzzSupport.h"

#include "EmulatedMeter.h"

namespace {

constexpr vantrel::metersim::MeterModel kModel = vantrel::metersim::METERSIM_MODEL;
constexpr double kClockStepMs = 37.0;
constexpr double kVolts[] = {4.9962, -0.0004, 9.99999e9, -123.456, 0.0};

// A meter whose clock and readings advance the same way on every run.
struct Meter {
    double now = 0.0;
    std::size_t reading = 0;
    vantrel::metersim::EmulatedMeter protocol{kModel, vantrel::metersim::Fault{},
                                              [this] { return kVolts[reading++ % std::size(kVolts)]; },
                                              [this] { return now += kClockStepMs; }};

    std::string Answer(std::string_view bytes) {
        std::string answered;
        for (const auto& output : protocol.Receive(bytes)) {
            FUZZ_CHECK(!output.bytes.empty());
            FUZZ_CHECK(output.delayMs == 0 && !output.hangUpAfter);
            answered += output.bytes;
        }
        return answered;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte sets where the reads are cut; the rest is what the line carries.
    const std::size_t cut = 1 + data[0] % 17;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    Meter whole, inPieces;
    const std::string atOnce = whole.Answer(bytes);
    std::string piecewise;
    for (std::size_t at = 0; at < bytes.size(); at += cut)
        piecewise += inPieces.Answer(bytes.substr(at, cut));
    FUZZ_CHECK(atOnce == piecewise);
    return 0;
}
