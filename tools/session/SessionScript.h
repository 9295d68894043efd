#pragma once
// The command line of the unattended session: options and the list of operator actions,
// parsed without touching any window so that it can be checked before the tool starts.

#include <optional>
#include <string>
#include <vector>

namespace vantrel::session {

enum class ActionKind {
    Initialize,         // "Initialize Board" (frees a held board first)
    Free,               // "Free Board"
    InterruptTest,      // "Interrupt Test"
    Measure,            // "Measure References", then the dialog's choice
    ViewEeprom,         // "View EEPROM"
    DumpRegisters,      // "Dump Registers"
    Sample,             // "Sample"
    SaveLog,            // "Write To log.rtf"
    Meter,              // check a voltage meter radio button
    Values,             // values to type into the Measure References dialog
    Board,              // choose a model in the "Board Type Macro" list
    BaseAddress,        // type the base address
    Interrupt,          // type the interrupt level
    Serial,             // the serial number of the board, for its production records
    MeterSerial,        // the serial number of the reference meter on the bench
    UncalibratedMeter,  // how to answer the box about a meter the register refuses
    Answer,             // how to answer the message boxes that follow
    Screenshot,         // picture of the main window
    MeasureScreenshot,  // picture of the Measure References dialog at the next measure
    Quit,               // "Quit"
    Close,              // the window's close box
};

enum class MeasureChoice { Use, Keep, Cancel };
enum class MeterChoice { Fluke45, Hp34401a, None };

struct Action {
    ActionKind kind = ActionKind::Quit;
    std::string word;  // the action as typed, for the transcript
    std::string text;  // file name, model name, address, level
    MeasureChoice measure = MeasureChoice::Use;
    MeterChoice meter = MeterChoice::Fluke45;
    std::vector<std::string> values;  // up to five typed reference values
    int answer = 1;                   // button id (IDOK, IDCANCEL, IDYES, ...)
    bool useUncalibrated = false;     // measure with a meter the register refuses
};

enum class ColourMode { Auto, Always, Never };

struct Script {
    std::vector<Action> actions;
    ColourMode colour = ColourMode::Auto;
    bool help = false;
};

// Parses the arguments after the program name. On a mistake returns nothing and says why.
std::optional<Script> ParseArguments(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

// True when the action ends the main window.
bool EndsSession(ActionKind kind);

// Message-box buttons by name ("ok", "cancel", ...), as button ids.
std::optional<int> ButtonIdFromName(const std::string& name);
const char* ButtonName(int id);

// The answer given to a box of the given type (MB_OK, MB_YESNO, ...): the wanted button
// when the box has it, otherwise the box's first button.
int AnswerForBox(unsigned boxType, int wanted);

}  // namespace vantrel::session
