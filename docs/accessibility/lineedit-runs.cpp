// A plain Qt program, nothing of Vantrel: the attribute runs the toolkit's own accessibility
// interface reports for a QLineEdit, and the text a screen reader that joins them speaks.
//
//   g++ -std=c++17 -fPIC lineedit-runs.cpp $(pkg-config --cflags --libs Qt6Widgets) -o runs
//   QT_QPA_PLATFORM=offscreen ./runs
//
// Each run starts and ends at the offset asked for, so a reader that walks the offsets and
// joins the runs (as Orca 43 does before speaking a line) ends one character short.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    for (const char* value : {"300", "0x1a3", "7"}) {
        QLineEdit edit(QString::fromLatin1(value));
        QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&edit)->textInterface();
        int joinedStart = -1, joinedEnd = -1;
        for (int offset = 0; offset < text->characterCount();) {
            int start = 0, end = 0;
            text->attributes(offset, &start, &end);
            std::printf("  \"%s\": run at %d is %d-%d\n", value, offset, start, end);
            if (joinedStart < 0) joinedStart = std::max(start, offset);
            joinedEnd = end;
            offset = std::max(end, offset + 1);
        }
        std::printf("\"%s\" is read as \"%s\"\n", value, qPrintable(text->text(joinedStart, joinedEnd)));
    }
    return 0;
}
