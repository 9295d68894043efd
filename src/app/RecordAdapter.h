#pragma once
// Keeps the production record of each operator action that tests or changes a board: the
// main window hands it the run's result and the console text the action wrote, and it
// builds the record and hands it to the bench's recorder. The window knows nothing of
// databases; the records know nothing of dialogs.

#include "board/RunResults.h"
#include "console/LogConsole.h"
#include "meter/MeasureReferences.h"
#include "metrology/MeterOnLine.h"

#include <memory>
#include <string>
#include <vector>

namespace vantrel::records {
class Recorder;
struct ActionRecord;
}  // namespace vantrel::records

namespace vantrel::app {

// The records of one Measure References press: the run, and the EEPROM write when the press
// wrote or tried to. `base` holds the bench, the board, the times and the console text.
std::vector<vantrel::records::ActionRecord> MeasureRecords(const vantrel::records::ActionRecord& base,
                                                           const meter::MeasureResult& result);

class RecordAdapter {
public:
    // Reads the records settings of the bench folder and opens its recorder.
    RecordAdapter(const std::string& benchFolder, std::string driverVersionText);
    ~RecordAdapter();
    RecordAdapter(const RecordAdapter&) = delete;
    RecordAdapter& operator=(const RecordAdapter&) = delete;

    // Whether the window asks for the board's serial number at Initialize Board.
    bool serialPrompt() const { return m_serialPrompt; }
    // Empty when `serial` may be recorded; else a sentence for the operator.
    std::string SerialProblem(const std::string& serial) const;
    // The serial number of the board from now on, exactly as given (typed or scanned), once
    // SerialProblem() found nothing wrong with it.
    void SetSerialNumber(std::string serial) { m_serial = std::move(serial); }

    // Taken before an action: its start time and the console's place.
    struct Start {
        std::string utc;
        console::LogConsole::Mark console;
    };
    Start Begin(const console::LogConsole& log) const;

    // After each action: the record is built from the result and written.
    void Initialized(const Start& start, const console::LogConsole& log, const board::InitResult& result,
                     const std::string& modelText);
    void Freed(const Start& start, const console::LogConsole& log);
    void InterruptTested(const Start& start, const console::LogConsole& log,
                         const board::InterruptResult& result);
    // `meter`: the reference meter the bench named, as the register judged it; none for typed
    // references.
    void Measured(const Start& start, const console::LogConsole& log, const meter::MeasureResult& result,
                  const vantrel::metrology::MeterOnLine* meter = nullptr);
    void Sampled(const Start& start, const console::LogConsole& log, const board::SampleResult& result);

    // What the operator must be told about the records, once; empty when nothing is new.
    std::string TakeOperatorNotice();

    // Records that could be saved neither in the database nor in the pending folder: they
    // exist only in this program's memory. RetrySaving() tries once more and says whether
    // none is left there.
    std::size_t MemoryOnlyCount() const;
    bool RetrySaving();

private:
    vantrel::records::ActionRecord NewRecord(const Start& start, const console::LogConsole& log) const;
    void Keep(const vantrel::records::ActionRecord& record);

    std::unique_ptr<vantrel::records::Recorder> m_recorder;
    bool m_serialPrompt = false;
    std::string m_serialPattern;
    std::string m_settingsNotice;
    std::string m_driverVersion;
    std::string m_serial;
    // The board as Initialize Board opened it; its identity goes into every record.
    std::string m_modelText;
    board::InitResult m_board{};
};

}  // namespace vantrel::app
