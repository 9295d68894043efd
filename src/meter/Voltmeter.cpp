#include "meter/Voltmeter.h"

#include "meter/CSerialException.h"

namespace vantrel::meter {
namespace {

MeterStatus Failed(MeterFault fault, CSerialException* e) {
    MeterStatus status{fault, 0.0, SerialFailureText(*e)};
    e->Delete();
    return status;
}

}  // namespace

LinkVoltmeter::LinkVoltmeter(int port, MeterType type) {
    try {
        m_link.emplace(port, type);
        if (type != MeterNone && !m_link->GetSerialPort().IsOpen())
            m_preparation = {MeterFault::PortNotOpened, 0.0, m_link->OpenFailure()};
    } catch (CSerialException* e) {
        m_preparation = Failed(MeterFault::PortFailed, e);
    }
}

MeterStatus LinkVoltmeter::Read() {
    if (m_preparation.fault != MeterFault::None) return m_preparation;
    try {
        double volts = 0.0;
        if (m_link->ReadVoltage(volts) != 0) return {MeterFault::NoReading, 0.0, {}};
        return {MeterFault::None, volts, {}};
    } catch (CSerialException* e) {
        return Failed(MeterFault::PortFailed, e);
    }
}

}  // namespace vantrel::meter
