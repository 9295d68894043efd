#pragma once
// The meter that read a Measure References run's values, or that the operator typed them: one
// vocabulary for the register, the records and the certificate. The names are what files,
// databases and pages show.

#include <optional>
#include <string_view>

namespace vantrel::metrology {

enum class MeterModel { Unrecorded, Fluke45, Hp34401A, Typed };

std::string_view MeterModelName(MeterModel model);  // "", "Fluke 45", "HP 34401A", "none (typed)"
// Also reads the spellings of typed values that older files hold ("None", "none").
std::optional<MeterModel> MeterModelFromName(std::string_view name);
// Whether the values came from a meter's reading: a model a register can hold.
bool ReadByMeter(MeterModel model);

}  // namespace vantrel::metrology
