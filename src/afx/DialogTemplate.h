#pragma once
// Dialog templates read from resource-script text: the dialog's caption, size and font,
// and its controls in template order with their ids, texts, rectangles and styles.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::afx {

enum class ControlKind {
    PushButton,
    RadioButton,
    CheckBox,
    Edit,
    RichEdit,
    Static,
    GroupBox,
    ComboBox,
};

struct ControlTemplate {
    ControlKind kind = ControlKind::Static;
    int id = -1;
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;    // dialog units
    std::set<std::string> styles;        // style flag names, e.g. "WS_TABSTOP"
    std::vector<std::string> listItems;  // initial rows of a combo box
    bool Has(const std::string& style) const { return styles.count(style) != 0; }
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    int x = 0, y = 0, cx = 0, cy = 0;
    int fontPointSize = 8;
    std::string fontFace = "MS Sans Serif";
    std::set<std::string> styles;
    std::vector<ControlTemplate> controls;
    bool Has(const std::string& style) const { return styles.count(style) != 0; }
};

struct ResourceScript {
    std::map<int, DialogTemplate> dialogs;
    std::map<int, std::string> icons;    // icon id -> embedded file name
    std::map<int, std::string> strings;  // string table
};

// Parses resource-script text: DIALOG blocks (statements CAPTION, STYLE, EXSTYLE, FONT and
// controls PUSHBUTTON, DEFPUSHBUTTON, EDITTEXT, LTEXT, CTEXT, RTEXT, GROUPBOX, COMBOBOX,
// AUTORADIOBUTTON, CHECKBOX, CONTROL), DLGINIT blocks with combo box rows, ICON lines and
// a STRINGTABLE. Returns nothing and fills *error on a syntax error.
std::optional<ResourceScript> ParseResourceScript(const std::string& text, std::string* error);

// The templates in use: those built into the program plus any added at run time.
const DialogTemplate* FindDialogTemplate(int id);
std::string FindIconFile(int id);
std::string FindResourceString(int id);

// Embedded resource files by name (the icon); empty when absent.
std::string EmbeddedFile(const std::string& name);

}  // namespace vantrel::afx
