#include "SimulatedModels.h"

namespace vantrel::bqxsim {
namespace {

// 16-channel models convert at up to 100,000 conversions/s, 32-channel ones at 250,000.
constexpr double kSlowMax = 100000.0;
constexpr double kFastMax = 250000.0;

// clang-format off
constexpr SimulatedModel kModels[kSimulatedModelCount] = {
    {27, "Corvel", 32, 7, PageSelect::Port8,      kFastMax},
    {34, "Corvex", 32, 0, PageSelect::Port8,      kFastMax},
    {33, "Tamsel", 16, 7, PageSelect::Port3High,  kSlowMax},
    {20, "Harlun", 32, 4, PageSelect::Port0,      kFastMax},
    {32, "Pedran", 32, 7, PageSelect::Port8,      kFastMax},
    {36, "Nessov", 32, 7, PageSelect::Port8,      kFastMax},
    {15, "Corvan", 16, 6, PageSelect::None,       kSlowMax},
    {0,  "Corvit", 16, 0, PageSelect::Port10Bit4, kSlowMax},
    {12, "Corvix", 32, 7, PageSelect::Port8,      kFastMax},
};
// clang-format on

}  // namespace

const SimulatedModel* AllSimulatedModels() { return kModels; }

const SimulatedModel* FindSimulatedModel(int typeCode) {
    for (const auto& m : kModels)
        if (m.typeCode == typeCode) return &m;
    return nullptr;
}

}  // namespace vantrel::bqxsim
