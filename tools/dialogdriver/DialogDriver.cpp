#include "DialogDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/DriverLibrary.h"

namespace vantrel::dialogdriver {
namespace {

using CallLogFn = size_t (*)(char*, size_t);
using ClearLogFn = void (*)();
using ConfigureFn = int (*)(const char*);

// Scripts of the modal dialogs run by RunModal, innermost last, and the nested script.
struct ModalScripts {
    std::vector<std::pair<CDialog*, std::function<void(DialogDriver&)>>> own;
    NestedModalScript* nested = nullptr;
};

ModalScripts& Scripts() {
    static ModalScripts scripts;
    return scripts;
}

void OnModal(CDialog& dialog) {
    ModalScripts& s = Scripts();
    for (auto& [dlg, script] : s.own) {
        if (dlg == &dialog) {
            DialogDriver driver(dialog);
            ProcessEvents();
            auto run = script;
            run(driver);
            return;
        }
    }
    if (s.nested && s.nested->OnModal(dialog)) return;
    // Nobody expects this dialog: cancel it so that a test never hangs on it.
    dialog.EndDialog(IDCANCEL);
}

void InstallHook() { afx::SetModalHook(&OnModal); }

std::string ToStd(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

void EnsureApplication() {
    if (!QCoreApplication::instance() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    afx::EnsureApplication();
    InstallHook();
}

void ProcessEvents(int ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (ms <= 0) return;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

MessageBoxScript::MessageBoxScript() {
    afx::SetMessageBoxHandler([this](const afx::MessageBoxRequest& r) {
        MessageBoxRecord rec{r.text, r.caption, r.type};
        m_records.push_back(rec);
        if (onShow) onShow(rec);
        if (!m_answers.empty()) {
            const int a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        switch (r.type & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL: return IDYES;
        case MB_RETRYCANCEL: return IDRETRY;
        case MB_ABORTRETRYIGNORE: return IDABORT;
        default: return IDOK;
        }
    });
}

MessageBoxScript::~MessageBoxScript() { afx::SetMessageBoxHandler(nullptr); }

bool DialogDriver::Start() {
    EnsureApplication();
    if (!m_dialog.Create()) return false;
    if (QWidget* w = window()) {
        if (w->isVisible()) (void)QTest::qWaitForWindowActive(w, 2000);
    }
    ProcessEvents();
    return true;
}

QWidget* DialogDriver::Control(int id) const {
    CWnd* c = m_dialog.GetDlgItem(id);
    return c ? c->GetWidget() : nullptr;
}

void DialogDriver::Click(int id) {
    QWidget* w = Control(id);
    if (!w) throw std::runtime_error("no control " + std::to_string(id));
    QPoint at = w->rect().center();
    if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) at = QPoint(6, w->height() / 2);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
    ProcessEvents();
}

void DialogDriver::TypeText(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (!w) throw std::runtime_error("no control " + std::to_string(id));
    if (CWnd* c = m_dialog.GetDlgItem(id)) c->SetFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) combo->lineEdit()->selectAll();
    // Typing replaces the selection; typing nothing deletes it.
    if (text.empty()) QTest::keyClick(w, Qt::Key_Delete);
    QTest::keyClicks(w, QString::fromUtf8(text.c_str()));
    ProcessEvents();
}

void DialogDriver::SetText(int id, const std::string& text) {
    if (CWnd* c = m_dialog.GetDlgItem(id)) c->SetWindowText(text.c_str());
}

void DialogDriver::ChooseRow(int id, int row) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (!combo) throw std::runtime_error("no combo box " + std::to_string(id));
    combo->setCurrentIndex(row);
    emit combo->activated(row);
    ProcessEvents();
}

void DialogDriver::EditComboText(int id, const std::string& text) { TypeText(id, text); }

void DialogDriver::PressKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != window()) target = window();
    QTest::keyClick(target, static_cast<Qt::Key>(qtKey), modifiers);
    ProcessEvents();
}

void DialogDriver::Close() {
    if (QWidget* w = window()) w->close();
    ProcessEvents();
}

std::string DialogDriver::Text(int id) const {
    CWnd* c = m_dialog.GetDlgItem(id);
    if (!c) return {};
    std::string buf(static_cast<size_t>(c->GetWindowTextLength()) + 1, '\0');
    const int n = c->GetWindowText(buf.data(), static_cast<int>(buf.size()));
    buf.resize(static_cast<size_t>(n));
    return buf;
}

bool DialogDriver::IsEnabled(int id) const {
    QWidget* w = Control(id);
    return w && w->isEnabled();
}

int DialogDriver::FocusedId() const { return m_dialog.GetFocusControlId(); }

int DialogDriver::CheckedRadio(int firstId, int lastId) const {
    return m_dialog.GetCheckedRadioButton(firstId, lastId);
}

int DialogDriver::ComboSelection(int id) const {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo ? combo->currentIndex() : CB_ERR;
}

QImage DialogDriver::Grab(int id) const {
    QWidget* w = Control(id);
    return w ? w->grab().toImage() : QImage();
}

QColor DialogDriver::Background(int id) const {
    const QImage img = Grab(id);
    return img.isNull() ? QColor() : img.pixelColor(2, 2);
}

QImage DialogDriver::Screen(int id) const {
    QWidget* w = Control(id);
    if (!w || !w->window()->windowHandle()) return QImage();
    const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
    QScreen* screen = w->window()->windowHandle()->screen();
    return screen->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height()).toImage();
}

std::string DialogDriver::ConsoleText(int id) const {
    auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
    return edit ? ToStd(edit->toPlainText()) : std::string();
}

std::vector<ColourRun> DialogDriver::ConsoleRuns(int id) const {
    auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
    if (!edit) return {};
    return MergedRuns(ConsoleRunsFrom(*edit->document(), 0));
}

namespace {

// Characters of the text, without the paragraph mark every document ends with.
int TextLength(const QTextDocument& document) { return std::max(0, document.characterCount() - 1); }

void SetColourOf(ColourRun& run, const QTextCharFormat& format) {
    const bool explicitColour =
        format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush;
    run.autoColour = !explicitColour;
    run.colour = 0;
    if (explicitColour) {
        const QColor c = format.foreground().color();
        run.colour = RGB(c.red(), c.green(), c.blue());
    }
}

std::string PlainText(QString text) {
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return ToStd(text);
}

}  // namespace

std::vector<ColourRun> ConsoleRunsFrom(const QTextDocument& document, int from) {
    std::vector<ColourRun> runs;
    const int end = TextLength(document);
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            const int start = std::max(from, fragment.position());
            const int stop = std::min(end, fragment.position() + fragment.length());
            if (start >= stop) continue;
            ColourRun run;
            run.text = PlainText(fragment.text().mid(start - fragment.position(), stop - start));
            SetColourOf(run, fragment.charFormat());
            runs.push_back(run);
        }
        // The paragraph mark between two blocks is a line end of the console, in the colour
        // of the text before it; with nothing before it in the range, in the automatic colour.
        const int mark = block.position() + block.length() - 1;
        if (mark >= from && mark < end) {
            ColourRun run;
            if (!runs.empty()) run = runs.back();
            run.text = "\n";
            runs.push_back(run);
        }
    }
    return runs;
}

std::vector<ColourRun> MergedRuns(const std::vector<ColourRun>& runs) {
    std::vector<ColourRun> merged;
    for (const ColourRun& run : runs) {
        if (!merged.empty() && merged.back().autoColour == run.autoColour &&
            merged.back().colour == run.colour)
            merged.back().text += run.text;
        else
            merged.push_back(run);
    }
    return merged;
}

INT_PTR RunModal(CDialog& dialog, const std::function<void(DialogDriver&)>& script, int fallbackResult) {
    EnsureApplication();
    ModalScripts& s = Scripts();
    s.own.emplace_back(&dialog, [script, fallbackResult](DialogDriver& d) {
        if (script) script(d);
        if (!d.Ended()) d.dialog().EndDialog(fallbackResult);
    });
    const INT_PTR result = dialog.DoModal();
    for (auto it = s.own.begin(); it != s.own.end(); ++it) {
        if (it->first == &dialog) {
            s.own.erase(it);
            break;
        }
    }
    ProcessEvents();
    return result;
}

NestedModalScript::NestedModalScript() {
    EnsureApplication();
    Scripts().nested = this;
}

NestedModalScript::~NestedModalScript() {
    if (Scripts().nested == this) Scripts().nested = nullptr;
}

bool NestedModalScript::OnModal(CDialog& dialog) {
    ++m_seen;
    if (m_scripts.empty()) return false;
    auto script = std::move(m_scripts.front());
    m_scripts.pop_front();
    DialogDriver driver(dialog);
    ProcessEvents();
    script(driver);
    if (!driver.Ended()) dialog.EndDialog(IDCANCEL);
    return true;
}

TempFolder::TempFolder() : m_previous(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
    std::filesystem::current_path(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::string> DriverCallLog() {
    std::vector<std::string> lines;
    auto fn = reinterpret_cast<CallLogFn>(platform::DriverSymbol("bqxsimCallLog"));
    if (!fn) return lines;
    const size_t size = fn(nullptr, 0);
    std::string text(size + 1, '\0');
    fn(text.data(), text.size());
    text.resize(size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void ClearDriverCallLog() {
    if (auto fn = reinterpret_cast<ClearLogFn>(platform::DriverSymbol("bqxsimClearCallLog"))) fn();
}

bool ConfigureDriver(const std::string& line) {
    auto fn = reinterpret_cast<ConfigureFn>(platform::DriverSymbol("bqxsimConfigure"));
    return fn && fn(line.c_str()) == 0;
}

}  // namespace vantrel::dialogdriver
