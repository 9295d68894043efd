// The application object, message boxes, the modal hook and the report of exceptions
// that escape message handlers.
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>

#include <cstring>
#include <map>

#include "afx/AfxPrivate.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

namespace vantrel::afx {
namespace {

CWinApp* g_app = nullptr;

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

ModalHook& Hook() {
    static ModalHook hook;
    return hook;
}

constexpr int kAppTitleString = 57344;

}  // namespace

std::string AppTitle() {
    if (g_app && g_app->m_pszAppName && *g_app->m_pszAppName) return g_app->m_pszAppName;
    std::string title = FindResourceString(kAppTitleString);
    if (!title.empty()) return title;
    if (QCoreApplication::instance()) return QCoreApplication::applicationName().toStdString();
    return "Application";
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }

int ShowMessageBox(const char* text, const char* caption, UINT type) {
    MessageBoxRequest request;
    request.text = text ? text : "";
    request.caption = caption ? caption : AppTitle();
    request.type = type;
    if (Handler()) {
        MessageBoxHandler handler = Handler();  // the handler may replace itself
        return handler(request);
    }
    EnsureApplication();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
    case MB_ICONSTOP: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox::StandardButtons buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_ABORTRETRYIGNORE: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    case MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MB_RETRYCANCEL: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
    }
    QWidget* parent = RunningDialogs().empty() ? nullptr : RunningDialogs().back()->GetWidget();
    QMessageBox box(icon, FromText(request.caption.c_str()), FromText(request.text.c_str()), buttons, parent);
    // MB_DEFBUTTON2 and 3 make the second or third button the one Enter presses. The
    // buttons of each type stand in the order of their Qt values (Yes, No, Cancel...).
    QList<QMessageBox::StandardButton> order;
    for (unsigned b = QMessageBox::FirstButton; b <= static_cast<unsigned>(QMessageBox::LastButton);
         b <<= 1) {
        const auto button = static_cast<QMessageBox::StandardButton>(b);
        if (buttons.testFlag(button)) order.push_back(button);
    }
    const auto defaultIndex = static_cast<qsizetype>((type & MB_DEFMASK) >> 8);
    if (defaultIndex > 0 && defaultIndex < order.size()) box.setDefaultButton(order[defaultIndex]);
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return (type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
}

void SetModalHook(ModalHook hook) { Hook() = std::move(hook); }

void CallModalHook(CDialog& dialog) {
    if (Hook()) {
        ModalHook hook = Hook();
        hook(dialog);
    }
}

void ReportUncaughtException(CException* e) {
    if (!e) return;
    char text[1024] = {};
    if (!e->GetErrorMessage(text, sizeof text) || text[0] == '\0')
        std::strncpy(text, "An unexpected error occurred and the operation was not completed.",
                     sizeof text - 1);
    ShowMessageBox(text, nullptr, MB_OK | MB_ICONSTOP);
    e->Delete();
}

void EnsureApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vantrel";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // lives to process exit
    }
    static QPointer<QCoreApplication> prepared;
    if (prepared != QCoreApplication::instance()) {
        InstallFontSubstitutions();
        InstallAccessibility();
        prepared = QCoreApplication::instance();
    }
    InstallDialogEventFilter();
}

}  // namespace vantrel::afx

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { vantrel::afx::g_app = this; }

CWinApp::~CWinApp() {
    if (vantrel::afx::g_app == this) vantrel::afx::g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
BOOL CWinApp::Enable3dControls() { return TRUE; }

HICON CWinApp::LoadIcon(UINT id) const {
    static std::map<UINT, HICON> cache;
    const auto it = cache.find(id);
    if (it != cache.end()) return it->second;
    const std::string file = vantrel::afx::FindIconFile(static_cast<int>(id));
    const std::string bytes = file.empty() ? std::string() : vantrel::afx::EmbeddedFile(file);
    if (bytes.empty()) return nullptr;
    vantrel::afx::EnsureApplication();
    QPixmap pixmap;
    if (!pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size())))
        return nullptr;
    HICON icon = vantrel::afx::IconHandle(QIcon(pixmap));
    cache[id] = icon;
    return icon;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return vantrel::afx::g_app; }
BOOL AfxEnableControlContainer() { return TRUE; }

BOOL AfxInitRichEdit() {
    vantrel::afx::EnsureApplication();
    return TRUE;
}

int AfxMessageBox(const char* text, UINT type, UINT /*helpId*/) {
    return vantrel::afx::ShowMessageBox(text, vantrel::afx::AppTitle().c_str(), type);
}

int AfxWinMain(int argc, char** argv) {
    static int s_argc = argc;
    QApplication app(s_argc, argv);
    vantrel::afx::EnsureApplication();
    CWinApp* theApp = AfxGetApp();
    if (!theApp) return 1;
    int code = 0;
    if (theApp->InitInstance()) code = QApplication::exec();
    const int exitCode = theApp->ExitInstance();
    return exitCode != 0 ? exitCode : code;
}
