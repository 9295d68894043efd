#include "SessionScript.h"

#include <cctype>
#include <sstream>

#include "afx/afxtypes.h"
#include "records/RecordsSettings.h"
#include "records/SerialPolicy.h"

namespace vantrel::session {
namespace {

constexpr std::size_t kReferenceEdits = 5;

struct ButtonNameRow {
    const char* name;
    int id;
};

constexpr ButtonNameRow kButtonNames[] = {
    {"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
    {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO},
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ',')) parts.push_back(part);
    if (!text.empty() && text.back() == ',') parts.emplace_back();
    return parts;
}

bool IsHex(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsDecimal(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Actions without a value.
std::optional<ActionKind> PlainAction(const std::string& name) {
    static const std::pair<const char*, ActionKind> rows[] = {
        {"init", ActionKind::Initialize},
        {"free", ActionKind::Free},
        {"interrupt", ActionKind::InterruptTest},
        {"eeprom", ActionKind::ViewEeprom},
        {"registers", ActionKind::DumpRegisters},
        {"sample", ActionKind::Sample},
        {"savelog", ActionKind::SaveLog},
        {"quit", ActionKind::Quit},
        {"close", ActionKind::Close},
    };
    for (const auto& [word, kind] : rows)
        if (name == word) return kind;
    return std::nullopt;
}

// Actions that take a value: each reads it into the action, or says what it takes.
struct ValuedAction {
    const char* name;
    bool (*read)(const std::string& value, Action& action, std::string& error);
};

const ValuedAction kValuedActions[] = {
    {"meter",
     [](const std::string& value, Action& action, std::string& error) {
         action.kind = ActionKind::Meter;
         if (value == "fluke45")
             action.meter = MeterChoice::Fluke45;
         else if (value == "hp34401a")
             action.meter = MeterChoice::Hp34401a;
         else if (value == "none")
             action.meter = MeterChoice::None;
         else
             error = "meter takes fluke45, hp34401a or none, not " + value;
         return error.empty();
     }},
    {"values",
     [](const std::string& value, Action& action, std::string& error) {
         action.kind = ActionKind::Values;
         action.values = SplitList(value);
         if (action.values.size() > kReferenceEdits) error = "values takes at most five references";
         return error.empty();
     }},
    {"board",
     [](const std::string& value, Action& action, std::string&) {
         action.kind = ActionKind::Board;
         action.text = value;
         return true;
     }},
    {"base",
     [](const std::string& value, Action& action, std::string& error) {
         if (!IsHex(value)) error = "base takes a hexadecimal address, not " + value;
         action.kind = ActionKind::BaseAddress;
         action.text = value;
         return error.empty();
     }},
    {"irq",
     [](const std::string& value, Action& action, std::string& error) {
         if (!IsDecimal(value)) error = "irq takes a decimal level, not " + value;
         action.kind = ActionKind::Interrupt;
         action.text = value;
         return error.empty();
     }},
    {"answer",
     [](const std::string& value, Action& action, std::string& error) {
         const auto id = ButtonIdFromName(value);
         if (!id) {
             error = "answer takes ok, cancel, yes, no, retry, abort or ignore, not " + value;
             return false;
         }
         action.kind = ActionKind::Answer;
         action.answer = *id;
         return true;
     }},
    {"serial",
     [](const std::string& value, Action& action, std::string& error) {
         // The same rules as the serial-number box, the bench's pattern included.
         const std::string pattern = vantrel::records::LoadRecordsSettings(".").serialPattern;
         error = vantrel::records::SerialProblem(value, pattern);
         action.kind = ActionKind::Serial;
         action.text = value;
         return error.empty();
     }},
    {"meter_serial",
     [](const std::string& value, Action& action, std::string& error) {
         // A meter's serial number follows the rules of a board's, without the bench's pattern.
         const std::string problem = vantrel::records::SerialProblem(value, std::string());
         if (!problem.empty()) error = "meter_serial: " + problem;
         action.kind = ActionKind::MeterSerial;
         action.text = value;
         return error.empty();
     }},
    {"uncalibrated_meter",
     [](const std::string& value, Action& action, std::string& error) {
         action.kind = ActionKind::UncalibratedMeter;
         if (value == "use")
             action.useUncalibrated = true;
         else if (value != "refuse")
             error = "uncalibrated_meter takes use or refuse, not " + value;
         return error.empty();
     }},
    {"shot",
     [](const std::string& value, Action& action, std::string&) {
         action.kind = ActionKind::Screenshot;
         action.text = value;
         return true;
     }},
    {"measure-shot",
     [](const std::string& value, Action& action, std::string&) {
         action.kind = ActionKind::MeasureScreenshot;
         action.text = value;
         return true;
     }},
};

std::optional<Action> ParseAction(const std::string& word, std::string& error) {
    const std::size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const bool hasValue = eq != std::string::npos;
    const std::string value = hasValue ? word.substr(eq + 1) : std::string();

    Action action;
    action.word = word;
    if (auto kind = PlainAction(name)) {
        if (hasValue) {
            error = "action " + name + " takes no value";
            return std::nullopt;
        }
        action.kind = *kind;
        return action;
    }
    if (name == "measure") {
        action.kind = ActionKind::Measure;
        if (!hasValue || value == "use")
            action.measure = MeasureChoice::Use;
        else if (value == "keep")
            action.measure = MeasureChoice::Keep;
        else if (value == "cancel")
            action.measure = MeasureChoice::Cancel;
        else {
            error = "measure takes use, keep or cancel, not " + value;
            return std::nullopt;
        }
        return action;
    }
    for (const ValuedAction& row : kValuedActions) {
        if (name != row.name) continue;
        if (!hasValue || value.empty()) {
            error = "action " + name + " needs a value (" + name + "=...)";
            return std::nullopt;
        }
        std::string problem;
        if (!row.read(value, action, problem)) {
            error = problem;
            return std::nullopt;
        }
        return action;
    }
    error = "unknown action " + word;
    return std::nullopt;
}

}  // namespace

std::optional<Script> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Script script;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            script.help = true;
        } else if (arg.rfind("--color", 0) == 0) {
            const std::string when = arg == "--color" ? "always" : arg.substr(arg.find('=') + 1);
            if (arg != "--color" && arg.find('=') != 7) {
                error = "unknown option " + arg;
                return std::nullopt;
            }
            if (when == "auto")
                script.colour = ColourMode::Auto;
            else if (when == "always")
                script.colour = ColourMode::Always;
            else if (when == "never")
                script.colour = ColourMode::Never;
            else {
                error = "--color takes auto, always or never, not " + when;
                return std::nullopt;
            }
        } else if (arg.rfind("-", 0) == 0) {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            auto action = ParseAction(arg, error);
            if (!action) return std::nullopt;
            if (!script.actions.empty() && EndsSession(script.actions.back().kind)) {
                error = "nothing can follow " + script.actions.back().word + ": the window is closed by then";
                return std::nullopt;
            }
            script.actions.push_back(*action);
        }
    }
    if (script.actions.empty() && !script.help) {
        error = "no actions given";
        return std::nullopt;
    }
    return script;
}

bool EndsSession(ActionKind kind) { return kind == ActionKind::Quit || kind == ActionKind::Close; }

std::optional<int> ButtonIdFromName(const std::string& name) {
    for (const auto& row : kButtonNames)
        if (name == row.name) return row.id;
    return std::nullopt;
}

const char* ButtonName(int id) {
    static const char* const names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    return id >= IDOK && id <= IDNO ? names[id] : "?";
}

int AnswerForBox(unsigned boxType, int wanted) {
    switch (boxType & MB_TYPEMASK) {
    case MB_OKCANCEL: return wanted == IDCANCEL ? IDCANCEL : IDOK;
    case MB_ABORTRETRYIGNORE: return wanted == IDRETRY || wanted == IDIGNORE ? wanted : IDABORT;
    case MB_YESNOCANCEL: return wanted == IDNO || wanted == IDCANCEL ? wanted : IDYES;
    case MB_YESNO: return wanted == IDNO ? IDNO : IDYES;
    case MB_RETRYCANCEL: return wanted == IDCANCEL ? IDCANCEL : IDRETRY;
    default: return IDOK;
    }
}

std::string UsageText() {
    return R"(Usage: vantrel-session [--color[=auto|always|never]] ACTION...
Runs the Vantrel main window without a display and acts as the operator: the actions are
done in order, the console is echoed to the terminal, message boxes are answered and shown.
Run it in the bench folder (Vantrel.ini, COM1, hertz.cfg and log.rtf are taken from there).

Options:
  --color[=auto|always|never]
                     echo the console in its colours (auto: when writing to a
                     terminal; --color alone: always)
  -h, --help         print this text and exit
  --version          print the version and exit

Buttons:
  init               Initialize Board (a held board is freed first)
  free               Free Board
  interrupt          Interrupt Test
  measure[=use|keep|cancel]
                     Measure References, then "Use Above Specified Values"
                     (default), "Keep Initial EEPROM Values" or "Cancel"
  eeprom             View EEPROM
  registers          Dump Registers
  sample             Sample
  savelog            Write To log.rtf
  quit               Quit (done at the end when no quit or close is given)
  close              the window's close box (frees a held board)
Settings:
  board=NAME         choose a model in the Board Type Macro list (Corvel,
                     Harlun, ...)
  base=HEX           type the base address
  irq=N              type the interrupt level
  serial=TEXT        the serial number of the board (printable UTF-8, at most 64
                     characters, no blank at either end, matching the bench's
                     serial_pattern), kept exactly in the
                     production records of every action that follows (and
                     typed into the serial-number box when the bench asks)
  meter=fluke45|hp34401a|none
                     check a Voltage Meter button
  meter_serial=TEXT  the serial number of the reference meter on the bench, in
                     place of meter_serial in vantrel-records.ini's [metrology]
  uncalibrated_meter=use|refuse
                     the answer to the "Reference Meter" box, asked when a
                     register is configured and the meter is overdue or not in
                     it: use measures anyway (the board is recorded as NOT
                     CALIBRATED); refuse (default) answers No, so nothing is
                     measured, and the session fails
  values=V0,V1,...   type up to five reference values in the next Measure
                     References (an empty item keeps the dialog's text)
  answer=ok|cancel|yes|no|retry|abort|ignore
                     answer to the message boxes that follow (default ok)
Pictures:
  shot=FILE.png          the main window now
  measure-shot=FILE.png  the Measure References dialog at the next measure

Exit status: 0 when every step passed; 1 when a verdict reads "FAILED", a measurement
failed, the log could not be saved or an action could not be done; 2 for a bad command line.
)";
}

}  // namespace vantrel::session
