#include "app/MeterCopy.h"

#include "metrology/UncertaintyBudget.h"

namespace vantrel::app {

namespace {

// Only readings the meter took have a range; typed and refused values have none.
void AddUncertainties(vantrel::records::ActionRecord& record, const metrology::ReferenceMeter& meter) {
    for (auto& channel : record.channels) {
        if (!channel.reading || (channel.verdict != vantrel::records::ChannelVerdict::Pass &&
                                 channel.verdict != vantrel::records::ChannelVerdict::Fail))
            continue;
        const auto budget = metrology::MakeBudget(meter, *channel.reading, record.ambientCelsius);
        if (!budget) continue;
        vantrel::records::KeepRangeFigures(channel, budget->range);
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
