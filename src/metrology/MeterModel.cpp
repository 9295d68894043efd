#include "metrology/MeterModel.h"

namespace vantrel::metrology {

namespace {

// The first row of a value is the name it is written as; later rows are older spellings.
struct MeterName {
    MeterModel model;
    std::string_view name;
};
constexpr MeterName kMeterNames[] = {
    {MeterModel::Unrecorded, ""},        {MeterModel::Fluke45, "Fluke 45"},
    {MeterModel::Hp34401A, "HP 34401A"}, {MeterModel::Typed, "none (typed)"},
    {MeterModel::Typed, "None"},         {MeterModel::Typed, "none"},
};

}  // namespace

std::string_view MeterModelName(MeterModel model) {
    for (const auto& [value, name] : kMeterNames)
        if (value == model) return name;
    return "";
}

std::optional<MeterModel> MeterModelFromName(std::string_view name) {
    for (const auto& [value, text] : kMeterNames)
        if (text == name) return value;
    return std::nullopt;
}

bool ReadByMeter(MeterModel model) { return model == MeterModel::Fluke45 || model == MeterModel::Hp34401A; }

}  // namespace vantrel::metrology
