#include "afx/DialogTemplate.h"

#include <cctype>
#include <mutex>
#include <sstream>

#include "afx/ResourceData.h"
#include "afx/afxwin.h"

namespace vantrel::afx {

namespace {

// One token of a statement: a number, a name, a quoted string or a punctuation mark.
struct Token {
    enum Kind { Number, Name, String, Comma, Bar } kind;
    std::string text;
    long value = 0;
};

// A quoted string from its opening quote at i: "" stands for one quote, \n and \t for
// their characters, a backslash before anything else for that character.
bool ReadQuoted(const std::string& line, size_t& i, std::vector<Token>& out, std::string& error) {
    std::string s;
    ++i;
    while (i < line.size()) {
        if (line[i] == '"') {
            if (i + 1 < line.size() && line[i + 1] == '"') {
                s += '"';
                i += 2;
                continue;
            }
            ++i;
            out.push_back({Token::String, s, 0});
            return true;
        }
        if (line[i] == '\\' && i + 1 < line.size()) {
            const char e = line[i + 1];
            s += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            i += 2;
            continue;
        }
        s += line[i++];
    }
    error = "unterminated string";
    return false;
}

// A decimal, hexadecimal or octal number, possibly negative, from i.
bool ReadNumber(const std::string& line, size_t& i, std::vector<Token>& out, std::string& error) {
    size_t end = i + 1;
    while (end < line.size() && std::isalnum(static_cast<unsigned char>(line[end]))) ++end;
    const std::string num = line.substr(i, end - i);
    try {
        size_t used = 0;
        const long v = std::stol(num, &used, 0);
        if (used != num.size()) throw std::invalid_argument(num);
        out.push_back({Token::Number, num, v});
    } catch (const std::exception&) {
        error = "bad number '" + num + "'";
        return false;
    }
    i = end;
    return true;
}

void ReadName(const std::string& line, size_t& i, std::vector<Token>& out) {
    size_t end = i + 1;
    while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))
        ++end;
    out.push_back({Token::Name, line.substr(i, end - i), 0});
    i = end;
}

bool Tokenize(const std::string& line, std::vector<Token>& out, std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
            break;
        } else if (c == ',' || c == '|') {
            out.push_back({c == ',' ? Token::Comma : Token::Bar, std::string(1, c), 0});
            ++i;
        } else if (c == '"') {
            if (!ReadQuoted(line, i, out, error)) return false;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
            if (!ReadNumber(line, i, out, error)) return false;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            ReadName(line, i, out);
        } else {
            error = std::string("unexpected character '") + c + "'";
            return false;
        }
    }
    return true;
}

// A comma-separated argument: a number, a string or style flags joined with '|' (NOT x
// removes a flag).
struct Arg {
    bool isString = false;
    bool isNumber = false;
    long number = 0;
    std::string text;
    std::set<std::string> flagsOn;
    std::set<std::string> flagsOff;
};

std::vector<Arg> SplitArgs(const std::vector<Token>& tokens, size_t from) {
    std::vector<Arg> args;
    Arg cur;
    bool any = false;
    bool negate = false;
    for (size_t i = from; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
        case Token::Comma:
            args.push_back(cur);
            cur = Arg{};
            any = false;
            break;
        case Token::Bar: break;
        case Token::String:
            cur.isString = true;
            cur.text = t.text;
            any = true;
            break;
        case Token::Number:
            if (!any) {
                cur.isNumber = true;
                cur.number = t.value;
            }
            any = true;
            break;
        case Token::Name:
            if (t.text == "NOT") {
                negate = true;
                break;
            }
            (negate ? cur.flagsOff : cur.flagsOn).insert(t.text);
            negate = false;
            any = true;
            break;
        }
    }
    if (any || !args.empty()) args.push_back(cur);
    return args;
}

struct ControlStatement {
    ControlKind kind;
    bool hasText;
    std::set<std::string> defaults;
    std::set<std::string> implied;
};

const std::map<std::string, ControlStatement>& ControlStatements() {
    static const std::map<std::string, ControlStatement> table = {
        {"PUSHBUTTON", {ControlKind::PushButton, true, {"WS_TABSTOP"}, {}}},
        {"DEFPUSHBUTTON", {ControlKind::PushButton, true, {"WS_TABSTOP"}, {"BS_DEFPUSHBUTTON"}}},
        {"EDITTEXT", {ControlKind::Edit, false, {"WS_TABSTOP", "WS_BORDER"}, {}}},
        {"LTEXT", {ControlKind::Static, true, {}, {"SS_LEFT"}}},
        {"CTEXT", {ControlKind::Static, true, {}, {"SS_CENTER"}}},
        {"RTEXT", {ControlKind::Static, true, {}, {"SS_RIGHT"}}},
        {"GROUPBOX", {ControlKind::GroupBox, true, {}, {}}},
        {"COMBOBOX", {ControlKind::ComboBox, false, {"WS_TABSTOP"}, {}}},
        {"AUTORADIOBUTTON", {ControlKind::RadioButton, true, {}, {"BS_AUTORADIOBUTTON"}}},
        {"RADIOBUTTON", {ControlKind::RadioButton, true, {}, {}}},
        {"AUTOCHECKBOX", {ControlKind::CheckBox, true, {"WS_TABSTOP"}, {"BS_AUTOCHECKBOX"}}},
        {"CHECKBOX", {ControlKind::CheckBox, true, {"WS_TABSTOP"}, {}}},
    };
    return table;
}

bool KindFromClass(const std::string& cls, const std::set<std::string>& styles, ControlKind& kind) {
    std::string upper;
    for (char ch : cls) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper == "RICHEDIT" || upper == "RICHEDIT20A" || upper == "RICHEDIT50W") {
        kind = ControlKind::RichEdit;
    } else if (upper == "EDIT") {
        kind = ControlKind::Edit;
    } else if (upper == "STATIC") {
        kind = ControlKind::Static;
    } else if (upper == "COMBOBOX") {
        kind = ControlKind::ComboBox;
    } else if (upper == "BUTTON") {
        if (styles.count("BS_AUTORADIOBUTTON") || styles.count("BS_RADIOBUTTON"))
            kind = ControlKind::RadioButton;
        else if (styles.count("BS_GROUPBOX"))
            kind = ControlKind::GroupBox;
        else if (styles.count("BS_AUTOCHECKBOX") || styles.count("BS_CHECKBOX"))
            kind = ControlKind::CheckBox;
        else
            kind = ControlKind::PushButton;
    } else {
        return false;
    }
    return true;
}

std::set<std::string> ApplyFlags(std::set<std::string> base, const Arg& a) {
    for (const std::string& f : a.flagsOn) base.insert(f);
    for (const std::string& f : a.flagsOff) base.erase(f);
    return base;
}

bool ParseControl(const std::vector<Token>& tokens, ControlTemplate& c, std::string& error) {
    const std::string& keyword = tokens[0].text;
    const std::vector<Arg> args = SplitArgs(tokens, 1);
    auto number = [&](size_t i, int& out) {
        if (i >= args.size() || !args[i].isNumber) {
            error = keyword + ": argument " + std::to_string(i + 1) + " must be a number";
            return false;
        }
        out = static_cast<int>(args[i].number);
        return true;
    };
    if (keyword == "CONTROL") {
        // CONTROL "text", id, "class", style, x, y, cx, cy
        if (args.size() < 8 || !args[0].isString || !args[2].isString) {
            error = "CONTROL needs text, id, class, style, x, y, cx, cy";
            return false;
        }
        c.text = args[0].text;
        c.styles = ApplyFlags({"WS_VISIBLE"}, args[3]);
        if (!KindFromClass(args[2].text, c.styles, c.kind)) {
            error = "unknown control class '" + args[2].text + "'";
            return false;
        }
        return number(1, c.id) && number(4, c.x) && number(5, c.y) && number(6, c.cx) && number(7, c.cy);
    }
    const auto it = ControlStatements().find(keyword);
    if (it == ControlStatements().end()) {
        error = "unknown statement '" + keyword + "'";
        return false;
    }
    const ControlStatement& st = it->second;
    c.kind = st.kind;
    size_t i = 0;
    if (st.hasText) {
        if (args.empty() || !args[0].isString) {
            error = keyword + " needs a text first";
            return false;
        }
        c.text = args[0].text;
        i = 1;
    }
    if (!(number(i, c.id) && number(i + 1, c.x) && number(i + 2, c.y) && number(i + 3, c.cx) &&
          number(i + 4, c.cy)))
        return false;
    c.styles = st.defaults;
    c.styles.insert(st.implied.begin(), st.implied.end());
    if (args.size() > i + 5) c.styles = ApplyFlags(c.styles, args[i + 5]);
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace

namespace {

// The resource script's state while it is read line by line: which block the line belongs
// to and the dialog it adds to. Each kind of line has a step of its own; a step returns the
// problem of its line, or nothing.
class ScriptReader {
public:
    using Problem = std::optional<std::string>;

    Problem Line(const std::vector<Token>& tokens) {
        const bool isBegin = tokens[0].kind == Token::Name && tokens[0].text == "BEGIN";
        const bool isEnd = tokens[0].kind == Token::Name && tokens[0].text == "END";
        switch (m_block) {
        case Block::None: return ResourceLine(tokens);
        case Block::DialogHeader:
            if (isBegin) {
                m_block = Block::DialogBody;
                return {};
            }
            return DialogHeaderLine(tokens);
        case Block::DialogBody:
            if (isEnd) {
                m_block = Block::None;
                m_dialog = nullptr;
                return {};
            }
            return DialogBodyLine(tokens);
        case Block::DlgInit:
        case Block::StringTable:
            if (isBegin) return {};
            if (isEnd) {
                m_block = Block::None;
                return {};
            }
            return m_block == Block::DlgInit ? DlgInitLine(tokens) : StringTableLine(tokens);
        }
        return {};
    }

    bool Complete() const { return m_block == Block::None; }
    ResourceScript& Script() { return m_script; }

private:
    enum class Block { None, DialogHeader, DialogBody, DlgInit, StringTable };

    // "<id> DIALOG x, y, cx, cy", "<id> DLGINIT", "<id> ICON "file"" or "STRINGTABLE".
    Problem ResourceLine(const std::vector<Token>& tokens) {
        if (tokens[0].kind == Token::Name && tokens[0].text == "STRINGTABLE") {
            m_block = Block::StringTable;
            return {};
        }
        if (tokens.size() < 2 || tokens[0].kind != Token::Number || tokens[1].kind != Token::Name)
            return "expected a resource definition";
        const int id = static_cast<int>(tokens[0].value);
        const std::string& type = tokens[1].text;
        if (type == "DIALOG" || type == "DIALOGEX") {
            const std::vector<Arg> args = SplitArgs(tokens, 2);
            if (args.size() < 4) return "DIALOG needs x, y, cx, cy";
            m_dialog = &m_script.dialogs[id];
            *m_dialog = DialogTemplate{};
            m_dialog->id = id;
            m_dialog->x = static_cast<int>(args[0].number);
            m_dialog->y = static_cast<int>(args[1].number);
            m_dialog->cx = static_cast<int>(args[2].number);
            m_dialog->cy = static_cast<int>(args[3].number);
            m_block = Block::DialogHeader;
        } else if (type == "DLGINIT") {
            m_dlgInitId = id;
            if (!m_script.dialogs.count(id)) return "DLGINIT for an unknown dialog";
            m_block = Block::DlgInit;
        } else if (type == "ICON") {
            if (tokens.size() < 3 || tokens[2].kind != Token::String) return "ICON needs a file name";
            m_script.icons[id] = tokens[2].text;
        } else {
            return "unknown resource type '" + type + "'";
        }
        return {};
    }

    Problem DialogHeaderLine(const std::vector<Token>& tokens) {
        const std::string& kw = tokens[0].text;
        const std::vector<Arg> args = SplitArgs(tokens, 1);
        if (kw == "CAPTION") {
            if (args.empty() || !args[0].isString) return "CAPTION needs a text";
            m_dialog->caption = args[0].text;
        } else if (kw == "STYLE" || kw == "EXSTYLE") {
            if (!args.empty()) m_dialog->styles = ApplyFlags(m_dialog->styles, args[0]);
        } else if (kw == "FONT") {
            if (args.size() < 2 || !args[0].isNumber || !args[1].isString)
                return "FONT needs a size and a face";
            m_dialog->fontPointSize = static_cast<int>(args[0].number);
            m_dialog->fontFace = args[1].text;
        } else {
            return "unknown dialog statement '" + kw + "'";
        }
        return {};
    }

    Problem DialogBodyLine(const std::vector<Token>& tokens) {
        if (tokens[0].kind != Token::Name) return "expected a control statement";
        ControlTemplate c;
        std::string err;
        if (!ParseControl(tokens, c, err)) return err;
        m_dialog->controls.push_back(std::move(c));
        return {};
    }

    // A row of a combo box's list: id, "text".
    Problem DlgInitLine(const std::vector<Token>& tokens) {
        const std::vector<Arg> args = SplitArgs(tokens, 0);
        if (args.size() != 2 || !args[0].isNumber || !args[1].isString)
            return "DLGINIT rows are: id, \"text\"";
        bool found = false;
        for (ControlTemplate& c : m_script.dialogs[m_dlgInitId].controls) {
            if (c.id == args[0].number && c.kind == ControlKind::ComboBox) {
                c.listItems.push_back(args[1].text);
                found = true;
            }
        }
        if (!found) return "DLGINIT row for a control that is not a combo box";
        return {};
    }

    Problem StringTableLine(const std::vector<Token>& tokens) {
        const std::vector<Arg> args = SplitArgs(tokens, 0);
        if (args.size() != 2 || !args[0].isNumber || !args[1].isString)
            return "STRINGTABLE rows are: id, \"text\"";
        m_script.strings[static_cast<int>(args[0].number)] = args[1].text;
        return {};
    }

    ResourceScript m_script;
    Block m_block = Block::None;
    DialogTemplate* m_dialog = nullptr;
    int m_dlgInitId = 0;
};

}  // namespace

std::optional<ResourceScript> ParseResourceScript(const std::string& text, std::string* error) {
    ScriptReader reader;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& what) -> std::optional<ResourceScript> {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line.rfind("//", 0) == 0) continue;
        std::vector<Token> tokens;
        std::string err;
        if (!Tokenize(line, tokens, err)) return fail(err);
        if (tokens.empty()) continue;
        if (const auto problem = reader.Line(tokens)) return fail(*problem);
    }
    if (!reader.Complete()) return fail("missing END");
    return std::move(reader.Script());
}

namespace {

std::mutex g_mutex;

ResourceScript& Registry() {
    static ResourceScript registry = [] {
        std::string err;
        std::optional<ResourceScript> built = ParseResourceScript(ResourceScriptText(), &err);
        if (!built) {
            // The built-in script is checked by the tests; a broken one leaves no templates.
            return ResourceScript{};
        }
        return *built;
    }();
    return registry;
}

}  // namespace

bool AddDialogTemplates(const char* scriptText, std::string* error) {
    std::optional<ResourceScript> added = ParseResourceScript(scriptText ? scriptText : "", error);
    if (!added) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    ResourceScript& reg = Registry();
    for (auto& [id, d] : added->dialogs) reg.dialogs[id] = d;
    for (auto& [id, f] : added->icons) reg.icons[id] = f;
    for (auto& [id, s] : added->strings) reg.strings[id] = s;
    return true;
}

const DialogTemplate* FindDialogTemplate(int id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    ResourceScript& reg = Registry();
    const auto it = reg.dialogs.find(id);
    return it == reg.dialogs.end() ? nullptr : &it->second;
}

std::string FindIconFile(int id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    ResourceScript& reg = Registry();
    const auto it = reg.icons.find(id);
    return it == reg.icons.end() ? std::string() : it->second;
}

std::string FindResourceString(int id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    ResourceScript& reg = Registry();
    const auto it = reg.strings.find(id);
    return it == reg.strings.end() ? std::string() : it->second;
}

std::string EmbeddedFile(const std::string& name) { return EmbeddedResourceFile(name); }

}  // namespace vantrel::afx
