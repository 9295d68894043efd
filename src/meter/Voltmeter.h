#pragma once
// The bench voltmeter as Measure References sees it: prepared once, then one reading at a
// time, each a value or the reason there is none. Whatever the port and the link report
// (a failed open, a reply that is no reading, a failing system call) arrives here in this one
// form, and the run turns it into its result.

#include "meter/CMeterLink.h"

#include <optional>
#include <string>

namespace vantrel::meter {

enum class MeterFault {
    None,
    PortNotOpened,  // the port could not be opened; reason holds the system's words
    NoReading,      // the meter gave no reading (silent, error prompt, not a number)
    PortFailed,     // a system call on the open port failed; reason holds the system's words
};

struct MeterStatus {
    MeterFault fault = MeterFault::None;
    double volts = 0.0;  // the reading as the meter gave it, sign included
    std::string reason;
};

class Voltmeter {
public:
    virtual ~Voltmeter() = default;
    // The outcome of opening and preparing the meter: PortNotOpened when the port did not
    // open (which matters only once a reading is wanted), PortFailed when the preparation
    // failed on the open port.
    virtual MeterStatus Preparation() const = 0;
    virtual MeterStatus Read() = 0;
};

// The voltmeter on a serial port through CMeterLink; the port is open for the object's life.
class LinkVoltmeter : public Voltmeter {
public:
    LinkVoltmeter(int port, MeterType type);

    MeterStatus Preparation() const override { return m_preparation; }
    MeterStatus Read() override;

private:
    std::optional<CMeterLink> m_link;
    MeterStatus m_preparation;
};

}  // namespace vantrel::meter
