#pragma once
// Follows the main window's log console and writes every new piece of text to the terminal
// as it is appended, in its colours, so that progress shows while a handler runs.

#include <functional>
#include <string>
#include <vector>

#include <QMetaObject>
#include <QPointer>

#include "AnsiText.h"

class QTextDocument;
class QTextDocument;

namespace vantrel::session {

class ConsoleEcho {
public:
    using Writer = std::function<void(const std::string&)>;

    ConsoleEcho(QTextDocument* console, bool colour, Writer writer);
    ~ConsoleEcho();
    ConsoleEcho(const ConsoleEcho&) = delete;
    ConsoleEcho& operator=(const ConsoleEcho&) = delete;

    // Writes what has not been written yet (the start-up text, before following began).
    void Flush();

    // The text from position from to the end of the document, in colour runs.
    static std::vector<ColourRun> RunsFrom(const QTextDocument& document, int from);

private:
    void OnChange(int position, int removed, int added);

    QPointer<QTextDocument> m_console;
    bool m_colour;
    Writer m_writer;
    int m_echoed = 0;  // characters of the document already on the terminal
    QMetaObject::Connection m_changeConnection;
    QMetaObject::Connection m_changedConnection;
};

}  // namespace vantrel::session
