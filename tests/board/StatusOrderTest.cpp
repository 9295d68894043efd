// The status fields change their background before their text, and each change shows at
// once: every state an operator could see while a test runs is recorded as painted.
#include "BoardDialogFixture.h"

#include <QEvent>
#include <QObject>

#include <string>
#include <vector>

namespace boardtest {
namespace {

// One paint of a status field: its text and background as they were painted.
struct PaintedState {
    std::string text;
    COLORREF background;
    bool operator==(const PaintedState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PaintedState& s) {
    return out << "{\"" << s.text << "\", " << std::hex << s.background << std::dec << "}";
}

// Records each paint of a status field, dropping repaints that show nothing new.
class PaintRecorder : public QObject {
public:
    PaintRecorder(CMainTestDlg& dlg, CStatusLabel& label, int id)
        : m_label(label), m_widget(apptest::DialogFixture::Control(dlg, id)) {
        if (m_widget) m_widget->installEventFilter(this);
    }
    ~PaintRecorder() override {
        if (m_widget) m_widget->removeEventFilter(this);
    }
    const std::vector<PaintedState>& States() const { return m_states; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_widget && event->type() == QEvent::Paint) {
            char text[64] = {};
            m_label.GetWindowText(text, sizeof text);
            COLORREF colour = 0;
            m_label.m_bkBrush.GetObject(sizeof colour, &colour);
            const PaintedState state{text, colour};
            if (m_states.empty() || !(m_states.back() == state)) m_states.push_back(state);
        }
        return false;
    }

private:
    CStatusLabel& m_label;
    QWidget* m_widget;
    std::vector<PaintedState> m_states;
};

class StatusOrder : public BoardDialogFixture {};

constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

TEST_F(StatusOrder, InitializeBoardShowsYellowBeforeTestingThenGreenBeforeSuccess) {
    WriteBench();
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        PaintRecorder recorder(dlg, apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS), IDC_INIT_STATUS);
        Click(dlg, IDC_INITIALIZE_BOARD);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        const std::vector<PaintedState> expected = {{"N/A", face},
                                                    {"N/A", kYellow},
                                                    {"Testing...", kYellow},
                                                    {"Testing...", kGreen},
                                                    {"SUCCESS", kGreen}};
        EXPECT_EQ(recorder.States(), expected);
    });
}

TEST_F(StatusOrder, InitializeBoardFailureShowsRedBeforeFailed) {
    WriteBench({"fail_init_board = 4"});
    WriteSettingsFor(27);
    Run([&](CMainTestDlg& dlg) {
        PaintRecorder recorder(dlg, apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS), IDC_INIT_STATUS);
        Click(dlg, IDC_INITIALIZE_BOARD);
        ASSERT_GE(recorder.States().size(), 2u);
        const auto& states = recorder.States();
        EXPECT_EQ(states[states.size() - 2], (PaintedState{"Testing...", kRed}));
        EXPECT_EQ(states.back(), (PaintedState{"FAILED", kRed}));
    });
}

TEST_F(StatusOrder, InterruptTestShowsYellowBeforeTestingThenVerdictColourBeforeText) {
    WriteBench();
    WriteSettingsFor(27);
    WriteRate("40000\n");
    Run([&](CMainTestDlg& dlg) {
        Initialize(dlg);
        PaintRecorder recorder(dlg, apptest::Item<CStatusLabel>(dlg, IDC_INTERRUPT_STATUS),
                               IDC_INTERRUPT_STATUS);
        Click(dlg, IDC_INTERRUPT_TEST);
        const std::vector<PaintedState> expected = {
            {"N/A", kYellow}, {"Testing...", kYellow}, {"Testing...", kGreen}, {"SUCCESS", kGreen}};
        EXPECT_EQ(recorder.States(), expected);
    });
}

}  // namespace
}  // namespace boardtest
