#include "metrology/InstrumentRegister.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace vantrel::metrology {

namespace {

constexpr std::string_view kMeterGroup = "meter ";
constexpr std::string_view kRangePrefix = "dcv ";
constexpr std::string_view kResolutionSuffix = " resolution";
constexpr std::string_view kFullScaleSuffix = " full_scale";
constexpr std::string_view kTempcoSuffix = " tempco";
constexpr double kPercent = 100.0;
// More counts than any display shows is a typing slip.
constexpr double kMostCounts = 1e9;

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<double> Number(std::string_view text) {
    text = Trimmed(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> NonNegativePercent(std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || text.back() != '%') return std::nullopt;
    const auto value = Number(text.substr(0, text.size() - 1));
    if (!value || *value < 0.0) return std::nullopt;
    return value;
}

// The two forms of a figure: "0.025% + 6 counts" or "0.0035% + 0.0005%".
struct Figure {
    double percentOfReading = 0.0;
    double percentOfRange = 0.0;
    double counts = 0.0;
};

std::optional<double> Counts(std::string_view floor) {
    for (const std::string_view unit : {std::string_view(" counts"), std::string_view(" count")}) {
        if (!floor.ends_with(unit)) continue;
        const auto counts = Number(floor.substr(0, floor.size() - unit.size()));
        if (!counts || *counts < 0.0) return std::nullopt;
        return counts;
    }
    return std::nullopt;
}

std::optional<Figure> ParseFigure(std::string_view text) {
    const auto plus = text.find('+');
    if (plus == std::string_view::npos) return std::nullopt;
    Figure figure;
    const auto reading = NonNegativePercent(text.substr(0, plus));
    if (!reading) return std::nullopt;
    figure.percentOfReading = *reading;
    const std::string_view floor = Trimmed(text.substr(plus + 1));
    if (const auto ofRange = NonNegativePercent(floor)) {
        figure.percentOfRange = *ofRange;
        return figure;
    }
    const auto counts = Counts(floor);
    if (!counts) return std::nullopt;
    figure.counts = *counts;
    return figure;
}

// An accuracy counts whole digits of the display.
bool ParseAccuracy(std::string_view text, DcVoltageRange& range) {
    const auto figure = ParseFigure(text);
    if (!figure || figure->counts != std::floor(figure->counts) || figure->counts > kMostCounts) return false;
    range.percentOfReading = figure->percentOfReading;
    range.percentOfRange = figure->percentOfRange;
    range.counts = static_cast<int>(figure->counts);
    return true;
}

// A temperature coefficient may be a fraction of a count per degree.
bool ParseTemperatureCoefficient(std::string_view text, DcVoltageRange& range) {
    const auto figure = ParseFigure(text);
    if (!figure) return false;
    range.temperatureCoefficient =
        TemperatureCoefficient{figure->percentOfReading, figure->percentOfRange, figure->counts};
    return true;
}

// A range being read, with the lines of its keys for the errors.
struct PendingRange {
    DcVoltageRange range;
    int accuracyLine = 0;
    int resolutionLine = 0;
    int fullScaleLine = 0;
    int tempcoLine = 0;
};

class RegisterReader {
public:
    explicit RegisterReader(const std::string& source) : m_source(source) {}

    InstrumentRegister Read(std::string_view text) {
        std::istringstream lines{std::string(text)};
        std::string raw;
        while (std::getline(lines, raw)) {
            ++m_line;
            const std::string_view line = Trimmed(raw);
            if (line.empty() || line.front() == '#' || line.front() == ';') continue;
            if (line.front() == '[')
                StartGroup(line);
            else
                TakeKey(line);
        }
        FinishMeter();
        return std::move(m_register);
    }

private:
    [[noreturn]] void Fail(int line, const std::string& text) const {
        std::string where = m_source + ":" + std::to_string(line) + ": ";
        if (m_meter) where += "meter " + m_meter->serial + ": ";
        throw RegisterError(where + text);
    }

    void StartGroup(std::string_view line) {
        FinishMeter();
        if (line.back() != ']') Fail(m_line, "a group header ends with ']'");
        const std::string_view name = Trimmed(line.substr(1, line.size() - 2));
        if (!name.starts_with(kMeterGroup) || Trimmed(name.substr(kMeterGroup.size())).empty())
            Fail(m_line, "unknown group [" + std::string(name) + "]; meters are [meter SERIAL]");
        const std::string serial(Trimmed(name.substr(kMeterGroup.size())));
        if (m_register.Find(serial)) Fail(m_line, "meter " + serial + " is registered twice");
        m_meter.emplace();
        m_meter->serial = serial;
        m_meterLine = m_line;
        m_seen.clear();
        m_ranges.clear();
    }

    void TakeKey(std::string_view line) {
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) Fail(m_line, "expected key = value");
        if (!m_meter) Fail(m_line, "a key before the first [meter SERIAL] group");
        const std::string key(Trimmed(line.substr(0, equals)));
        const std::string_view value = Trimmed(line.substr(equals + 1));
        if (!m_seen.insert({key, m_line}).second) Fail(m_line, "'" + key + "' is given twice");
        if (key.starts_with(kRangePrefix))
            TakeRangeKey(key, value);
        else
            TakeMeterKey(key, value);
    }

    void TakeMeterKey(const std::string& key, std::string_view value) {
        ReferenceMeter& meter = *m_meter;
        if (key == "model") {
            // Only a meter's own model: typed values have no meter to register.
            const auto model = MeterModelFromName(value);
            if (!model || !ReadByMeter(*model))
                Fail(m_line, "unknown model '" + std::string(value) + "'; known: Fluke 45, HP 34401A");
            meter.model = *model;
        } else if (key == "asset_tag") {
            meter.assetTag = value;
        } else if (key == "certificate") {
            meter.certificate = value;
        } else if (key == "lab") {
            meter.lab = value;
        } else if (key == "certificate_date" || key == "due") {
            const auto date = ParseDate(value);
            if (!date)
                Fail(m_line, "'" + key + "' needs a date as YYYY-MM-DD, not '" + std::string(value) + "'");
            (key == "due" ? meter.due : meter.certificateDate) = *date;
        } else {
            Fail(m_line, "unknown key '" + key + "'");
        }
    }

    void TakeRangeKey(const std::string& key, std::string_view value) {
        std::string_view rangeText = std::string_view(key).substr(kRangePrefix.size());
        enum class Part { Accuracy, Resolution, FullScale, Tempco } part = Part::Accuracy;
        if (rangeText.ends_with(kTempcoSuffix)) {
            part = Part::Tempco;
            rangeText.remove_suffix(kTempcoSuffix.size());
        } else if (rangeText.ends_with(kResolutionSuffix)) {
            part = Part::Resolution;
            rangeText.remove_suffix(kResolutionSuffix.size());
        } else if (rangeText.ends_with(kFullScaleSuffix)) {
            part = Part::FullScale;
            rangeText.remove_suffix(kFullScaleSuffix.size());
        }
        const auto range = Number(rangeText);
        if (!range || *range <= 0.0) Fail(m_line, "'" + key + "': the range is a positive number of volts");
        PendingRange& pending = m_ranges[*range];
        pending.range.range = *range;
        if (part == Part::Accuracy) {
            if (!ParseAccuracy(value, pending.range))
                Fail(m_line,
                     "'" + key + "' needs % of reading + % of range or counts, as in 0.025% + 6 counts");
            pending.accuracyLine = m_line;
            return;
        }
        if (part == Part::Tempco) {
            if (!ParseTemperatureCoefficient(value, pending.range))
                Fail(
                    m_line,
                    "'" + key +
                        "' needs % of reading + % of range or counts per degree, as in 0.0025% + 0.6 counts");
            pending.tempcoLine = m_line;
            return;
        }
        const auto number = Number(value);
        if (!number || *number <= 0.0) Fail(m_line, "'" + key + "' needs a positive number of volts");
        (part == Part::Resolution ? pending.range.resolution : pending.range.fullScale) = *number;
        (part == Part::Resolution ? pending.resolutionLine : pending.fullScaleLine) = m_line;
    }

    void Require(const char* key) const {
        if (!m_seen.contains(key)) Fail(m_meterLine, "'" + std::string(key) + "' is missing");
    }

    void FinishMeter() {
        if (!m_meter) return;
        for (const char* key : {"model", "asset_tag", "certificate", "certificate_date", "lab", "due"})
            Require(key);
        if (DaysBetween(m_meter->certificateDate, m_meter->due) <= 0)
            Fail(m_seen.at("due"), "the due date is not after the certificate date");
        if (m_ranges.empty()) Fail(m_meterLine, "no DC voltage range ('dcv RANGE = ...') is given");
        for (const auto& [volts, pending] : m_ranges) {
            const int line = std::max(
                {pending.accuracyLine, pending.resolutionLine, pending.fullScaleLine, pending.tempcoLine});
            const std::string name = "the " + std::string(FormatRangeName(volts)) + " V range ";
            if (!pending.accuracyLine) Fail(line, name + "has no accuracy");
            if (!pending.resolutionLine) Fail(line, name + "has no resolution");
            if (!pending.fullScaleLine) Fail(line, name + "has no full_scale");
            if (pending.range.resolution > pending.range.fullScale)
                Fail(line, name + "has a resolution larger than its full scale");
            if (!m_meter->dcVoltage.empty() && pending.range.fullScale <= m_meter->dcVoltage.back().fullScale)
                Fail(line, name + "shows no more than the range below it");
            m_meter->dcVoltage.push_back(pending.range);
        }
        m_register.meters.push_back(std::move(*m_meter));
        m_meter.reset();
    }

    static std::string FormatRangeName(double volts) {
        std::ostringstream text;
        text << volts;
        return text.str();
    }

    const std::string& m_source;
    InstrumentRegister m_register;
    std::optional<ReferenceMeter> m_meter;
    std::map<std::string, int> m_seen;  // key -> line, in the current meter
    std::map<double, PendingRange> m_ranges;
    int m_line = 0;
    int m_meterLine = 0;
};

}  // namespace

double DcVoltageRange::AccuracyHalfWidth(double volts) const {
    return percentOfReading / kPercent * std::fabs(volts) + percentOfRange / kPercent * range +
           counts * resolution;
}

std::optional<double> DcVoltageRange::TemperatureHalfWidth(double volts, double degrees) const {
    if (!temperatureCoefficient) return std::nullopt;
    const TemperatureCoefficient& per = *temperatureCoefficient;
    return degrees * (per.percentOfReading / kPercent * std::fabs(volts) +
                      per.percentOfRange / kPercent * range + per.counts * resolution);
}

const DcVoltageRange* ReferenceMeter::RangeFor(double volts) const {
    const double magnitude = std::fabs(volts);
    for (const DcVoltageRange& candidate : dcVoltage)
        if (magnitude <= candidate.fullScale) return &candidate;
    return nullptr;  // also for NaN, which compares false
}

const ReferenceMeter* InstrumentRegister::Find(std::string_view serial) const {
    const auto found = std::find_if(meters.begin(), meters.end(),
                                    [&](const ReferenceMeter& m) { return m.serial == serial; });
    return found == meters.end() ? nullptr : &*found;
}

InstrumentRegister ParseRegister(std::string_view text, const std::string& source) {
    return RegisterReader(source).Read(text);
}

InstrumentRegister LoadRegister(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) throw RegisterError(path + ": no such file");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RegisterError(path + ": cannot be read");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw RegisterError(path + ": cannot be read");
    return ParseRegister(text.str(), path);
}

}  // namespace vantrel::metrology
