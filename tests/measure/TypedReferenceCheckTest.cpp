// The check of typed references with meter "None": a typed value is judged as a reading is
// (its size, in double precision, both bounds of the window inclusive) on every channel the
// board stores, and the box that asks to store a value outside its window answers No to Enter
// and Esc.
#include "MeasureFlowFixture.h"

#include "meter/ReferenceTable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

namespace measuretest {
namespace {

struct TypedRow {
    const char* name;
    int boardType;
    std::array<const char*, 5> typed;  // into the edits of channels 0 to 4
    int boxChannel;                    // the channel the one "Confirm" box names; -1 for none
};

void PrintTo(const TypedRow& row, std::ostream* os) { *os << row.name; }

// The references the board keeps after a confirmed press: each typed value's size through
// single precision, and the EEPROM's own values beyond the edits.
std::vector<double> ExpectedAfter(const TypedRow& row) {
    const int count = vantrel::meter::ReferenceCount(static_cast<std::uint8_t>(row.boardType));
    std::vector<double> after(8, 0.0);
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        after[at] = i < vantrel::meter::kMeasuredChannels
                        ? static_cast<double>(std::fabs(std::strtof(row.typed[at], nullptr)))
                        : kStoredBefore[at];
    }
    return after;
}

class TypedReferenceCheck : public MeasureFlowTest, public testing::WithParamInterface<TypedRow> {};

TEST_P(TypedReferenceCheck, JudgesTheTypedValueAsTheWindowJudgesAReading) {
    const TypedRow row = GetParam();
    FlowOptions options;
    options.boardType = row.boardType;
    options.boxAnswers = {IDYES};
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        for (int i = 0; i < 5; ++i)
            window.SetText(kReferenceEdit0 + i, row.typed[static_cast<std::size_t>(i)]);
        window.Click(IDOK);
    };
    const FlowOutcome out = Run(options);

    if (row.boxChannel < 0) {
        EXPECT_TRUE(out.boxes.empty()) << BoxList(out.boxes);
    } else {
        ASSERT_EQ(out.boxes.size(), 1u) << BoxList(out.boxes);
        EXPECT_EQ(out.boxes[0].caption, "Confirm");
        const std::string channel = "Channel " + std::to_string(row.boxChannel) + ": Got ";
        EXPECT_EQ(out.boxes[0].text.rfind(channel, 0), 0u) << out.boxes[0].text;
    }
    // Confirmed or not needing confirmation, the press writes every typed value by its size.
    const std::vector<double> expected = ExpectedAfter(row);
    ASSERT_EQ(out.eepromAfter.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(out.eepromAfter[i], expected[i]) << "reference " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Values, TypedReferenceCheck,
    testing::Values(
        // The operator's session of the report: 2.1 lies on channel 1's lower bound.
        TypedRow{"ReportedSession", 27, {"4.9962", "2.1", "1.2493", "0.6247", "0.0004"}, -1},
        TypedRow{"EveryLowerBound", 27, {"4.5", "2.1", "1.0", "0", "0"}, -1},
        TypedRow{"EveryUpperBound", 27, {"5.2", "2.9", "1.5", "1.0", "0.5"}, -1},
        // A negative value is judged by its size, as a reading is, and stored by its size.
        TypedRow{"NegativeWithinBySize", 27, {"-4.9962", "-2.9", "1.25", "-0.625", "-0.5"}, -1},
        TypedRow{"JustBelowALowerBound", 27, {"4.9962", "2.0999", "1.25", "0.625", "0"}, 1},
        TypedRow{"NegativeBeyondBySize", 27, {"-5.3", "2.5", "1.25", "0.625", "0"}, 0},
        // The last channel each board stores is checked like the others.
        TypedRow{"LastOfFiveEdits", 27, {"4.9962", "2.5", "1.25", "0.625", "0.5001"}, 4},
        TypedRow{"LastOfFourReferences", 20, {"4.9962", "2.5", "1.25", "1.0001", "0"}, 3}),
    [](const auto& row) { return std::string(row.param.name); });

// How the operator answers the real out-of-window box.
struct AnswerRow {
    const char* name;
    int key;  // pressed in the box; 0 clicks its Yes button instead
    bool written;
};

void PrintTo(const AnswerRow& row, std::ostream* os) { *os << row.name; }

// Answers the next message box that shows by the row's key or a click on Yes, and notes the
// box's text.
void AnswerNextBox(const AnswerRow& row, std::string& seenText) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, row, &seenText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        seenText = box->text().toStdString();
        if (row.key != 0)
            QTest::keyClick(box, static_cast<Qt::Key>(row.key));
        else
            box->button(QMessageBox::Yes)->click();
    });
    poll->start(10);
}

class OutOfWindowBox : public MeasureFlowTest, public testing::WithParamInterface<AnswerRow> {};

TEST_P(OutOfWindowBox, StoresOnlyOnADeliberateYes) {
    const AnswerRow row = GetParam();
    FlowOptions options;
    options.boardType = 27;
    std::string boxText;
    bool stillOpen = false;
    options.operatorScript = [&](vantrel::dialogdriver::DialogDriver& window) {
        const char* typed[] = {"5.3", "2.5", "1.25", "0.625", "0"};
        for (int i = 0; i < 5; ++i) window.SetText(kReferenceEdit0 + i, typed[i]);
        // The box of this press is the real one, answered from the keyboard.
        vantrel::afx::SetMessageBoxHandler(nullptr);
        AnswerNextBox(row, boxText);
        window.Click(IDOK);
        // Any later box is answered No without showing.
        vantrel::afx::SetMessageBoxHandler([](const vantrel::afx::MessageBoxRequest&) { return IDNO; });
        stillOpen = !window.Ended();
    };
    const FlowOutcome out = Run(options);

    EXPECT_EQ(boxText,
              "Channel 0: Got 5.300000V, exceeds tolerance of 5.2-4.5 V\n\n"
              "Store this value in the board's EEPROM anyway?");
    EXPECT_EQ(stillOpen, !row.written);
    const std::vector<std::string> writes = CallsNamed(out.calls, {"bqxSetReferenceVoltages"});
    if (row.written) {
        EXPECT_EQ(writes.size(), 1u) << Joined(out.calls);
        EXPECT_EQ(out.eepromAfter[0], static_cast<double>(5.3f));
    } else {
        EXPECT_TRUE(writes.empty()) << Joined(out.calls);
        EXPECT_EQ(out.eepromAfter, out.eepromBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, OutOfWindowBox,
                         testing::Values(AnswerRow{"Return", Qt::Key_Return, false},
                                         AnswerRow{"KeypadEnter", Qt::Key_Enter, false},
                                         AnswerRow{"Escape", Qt::Key_Escape, false},
                                         AnswerRow{"ClickOnYes", 0, true}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace measuretest
