// The simulated board's bench file: a file that loads is exactly its lines applied one by one;
// a file that does not load changes nothing; no line longer than the limit is taken.
#include "FuzzSupport.h"

#include "BenchDescription.h"

#include <sstream>
#include <vector>

namespace {

constexpr std::size_t kLineLimit = 4096;

// Every field, as text, so that two descriptions compare as a whole.
std::string Described(const vantrel::bqxsim::BenchDescription& b) {
    std::ostringstream out;
    out.precision(17);
    const auto opt = [&](const std::optional<int>& v) { out << (v ? std::to_string(*v) : "-") << ' '; };
    opt(b.model);
    opt(b.base);
    opt(b.irq);
    out << b.fpgaRevision << ' ' << b.serialNumber << ' ';
    for (const double r : b.references) out << r << ' ';
    out << b.noiseLsb << ' ' << b.eepromPath << '|' << b.timeScale << ' ' << b.libraryVersion << ' ' << b.seed
        << ' ' << int(b.failInitBoard) << b.scanNeverEnds << b.scanSkipWrites << ' ' << b.scanOverflows << ' '
        << b.scanOffsetChannel << ' ' << b.scanOffsetCodes << ' ' << b.scanSlowPercent << ' '
        << int(b.failScanInt) << ' ' << b.failSetChannel.fromChannel << ' ' << int(b.failSetChannel.code)
        << ' ' << b.failSample.fromChannel << ' ' << int(b.failSample.code) << ' '
        << int(b.failGetReferences);
    return out.str();
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::ScratchPath("bench.ini");
    fuzz::WriteScratchFile(path, text);

    vantrel::bqxsim::BenchDescription loaded;
    const std::string before = Described(loaded);
    std::string error;
    const bool ok = vantrel::bqxsim::LoadBenchFile(path, loaded, error);

    vantrel::bqxsim::BenchDescription applied;
    bool linesOk = true, overlong = false;
    for (const auto& line : LinesOf(text)) {
        if (line.size() > kLineLimit) {
            overlong = true;
            break;
        }
        std::string problem;
        if (!vantrel::bqxsim::ApplyBenchLine(line, applied, problem)) {
            FUZZ_CHECK(!problem.empty());
            linesOk = false;
            break;
        }
    }
    FUZZ_CHECK(ok == (linesOk && !overlong));
    if (ok) {
        FUZZ_CHECK(Described(loaded) == Described(applied));
    } else {
        FUZZ_CHECK(Described(loaded) == before);
        FUZZ_CHECK(error.starts_with(path + ":"));
    }
    return 0;
}
