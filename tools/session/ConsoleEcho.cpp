#include "ConsoleEcho.h"

#include <algorithm>

#include <QTextDocument>

#include "DialogDriver.h"

namespace vantrel::session {
namespace {

// Characters of the text, without the paragraph mark every document ends with.
int TextLength(const QTextDocument& document) { return std::max(0, document.characterCount() - 1); }

}  // namespace

ConsoleEcho::ConsoleEcho(QTextDocument* console, bool colour, Writer writer)
    : m_console(console), m_colour(colour), m_writer(std::move(writer)) {
    if (!console) return;
    QTextDocument* document = console;
    m_changeConnection = QObject::connect(document, &QTextDocument::contentsChange,
                                          [this](int p, int r, int a) { OnChange(p, r, a); });
    m_changedConnection = QObject::connect(document, &QTextDocument::contentsChanged, [this]() {
        if (m_console && m_echoed > TextLength(*m_console)) m_echoed = 0;
        Flush();
    });
}

ConsoleEcho::~ConsoleEcho() {
    QObject::disconnect(m_changeConnection);
    QObject::disconnect(m_changedConnection);
}

void ConsoleEcho::OnChange(int position, int removed, int added) {
    // Text taken away before the point already written (the console emptied by Initialize
    // Board): go on from where the change happened.
    if (removed > 0 && removed != added && position < m_echoed) m_echoed = position;
}

void ConsoleEcho::Flush() {
    if (!m_console) return;
    const QTextDocument& document = *m_console;
    const int length = TextLength(document);
    if (m_echoed >= length) return;
    const std::string text = RenderRuns(RunsFrom(document, m_echoed), m_colour);
    m_echoed = length;
    if (!text.empty()) m_writer(text);
}

std::vector<ColourRun> ConsoleEcho::RunsFrom(const QTextDocument& document, int from) {
    std::vector<ColourRun> runs;
    for (const dialogdriver::ColourRun& run : dialogdriver::ConsoleRunsFrom(document, from)) {
        TextColour colour;
        colour.automatic = run.autoColour;
        if (!run.autoColour) {
            colour.red = GetRValue(run.colour);
            colour.green = GetGValue(run.colour);
            colour.blue = GetBValue(run.colour);
        }
        runs.push_back({run.text, colour});
    }
    return runs;
}

}  // namespace vantrel::session
