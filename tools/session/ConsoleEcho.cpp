#include "ConsoleEcho.h"

#include <algorithm>

#include <QTextBlock>
#include <QTextDocument>

namespace session {
namespace {

// Characters of the text, without the paragraph mark every document ends with.
int TextLength(const QTextDocument& document) { return std::max(0, document.characterCount() - 1); }

TextColour ColourOf(const QTextCharFormat& format) {
    TextColour c;
    if (!format.hasProperty(QTextFormat::ForegroundBrush) ||
        format.foreground().style() == Qt::NoBrush)
        return c;
    const QColor q = format.foreground().color();
    c.automatic = false;
    c.red = static_cast<std::uint8_t>(q.red());
    c.green = static_cast<std::uint8_t>(q.green());
    c.blue = static_cast<std::uint8_t>(q.blue());
    return c;
}

std::string PlainText(QString text) {
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text.toStdString();
}

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
    const int end = TextLength(document);
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            const int start = std::max(from, fragment.position());
            const int stop = std::min(end, fragment.position() + fragment.length());
            if (start >= stop) continue;
            const QString piece = fragment.text().mid(start - fragment.position(), stop - start);
            runs.push_back({PlainText(piece), ColourOf(fragment.charFormat())});
        }
        // The paragraph mark between two blocks is a line end of the console.
        const int mark = block.position() + block.length() - 1;
        if (mark >= from && mark < end) {
            TextColour colour = runs.empty() ? TextColour{} : runs.back().colour;
            runs.push_back({"\n", colour});
        }
    }
    return runs;
}

}  // namespace session
