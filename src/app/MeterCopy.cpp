#include "app/MeterCopy.h"

#include "metrology/UncertaintyBudget.h"

namespace vantrel::app {

namespace {

// The range's figures go into the record with U, so that its budget can be made again later
// from the record alone, whatever the register says by then.
void CopyRangeFigures(vantrel::records::ChannelFigures& channel, const metrology::DcVoltageRange& range) {
    channel.meterRange = range.range;
    channel.meterResolution = range.resolution;
    channel.accuracyPercentOfReading = range.percentOfReading;
    channel.accuracyPercentOfRange = range.percentOfRange;
    channel.accuracyCounts = range.counts;
    if (!range.temperatureCoefficient) return;
    channel.tempcoPercentOfReading = range.temperatureCoefficient->percentOfReading;
    channel.tempcoPercentOfRange = range.temperatureCoefficient->percentOfRange;
    channel.tempcoCounts = range.temperatureCoefficient->counts;
}

// Only readings the meter took have a range; typed and refused values have none.
void AddUncertainties(vantrel::records::ActionRecord& record, const metrology::ReferenceMeter& meter) {
    for (auto& channel : record.channels) {
        if (!channel.reading || (channel.verdict != vantrel::records::ChannelVerdict::Pass &&
                                 channel.verdict != vantrel::records::ChannelVerdict::Fail))
            continue;
        const auto budget = metrology::MakeBudget(meter, *channel.reading, record.ambientCelsius);
        if (!budget) continue;
        CopyRangeFigures(channel, budget->range);
        channel.expandedUncertainty = budget->expanded;
    }
}

}  // namespace

void CopyMeterInto(vantrel::records::ActionRecord& record, const metrology::MeterOnLine& meter) {
    record.meterSerial = meter.serial;
    record.ambientCelsius = meter.ambientCelsius;
    if (!meter.checked) return;
    record.meterStanding = meter.standing;
    if (!meter.meter) return;
    const metrology::ReferenceMeter& entry = *meter.meter;
    record.meterAssetTag = entry.assetTag;
    record.meterCertificate = entry.certificate;
    record.meterCertificateDate = metrology::FormatDate(entry.certificateDate);
    record.meterLab = entry.lab;
    record.meterDue = metrology::FormatDate(entry.due);
    AddUncertainties(record, entry);
}

}  // namespace vantrel::app
