// The rich edit over a read-only QPlainTextEdit: appends at a cursor kept at the end (no
// whole-text operations), the classic insertion-format rule, and the RTF stream-out.
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <cstring>
#include <unordered_map>

#include "afx/AfxPrivate.h"
#include "afx/RtfWriter.h"

namespace vantrel::afx {
namespace {

void FaceToBuffer(const QString& face, char* out) {
    std::memset(out, 0, LF_FACESIZE);
    const QByteArray bytes = face.toLatin1();
    std::memcpy(out, bytes.constData(),
                static_cast<size_t>(std::min<qsizetype>(bytes.size(), LF_FACESIZE - 1)));
}

QString FaceFromBuffer(const char* in) {
    char face[LF_FACESIZE + 1] = {};
    std::memcpy(face, in, LF_FACESIZE);
    return QString::fromLatin1(face);
}

// Applies the attributes the mask names onto format.
void ApplyCharFormat(const CHARFORMAT& cf, QTextCharFormat& f) {
    if (cf.dwMask & CFM_COLOR) {
        if (cf.dwEffects & CFE_AUTOCOLOR)
            f.clearForeground();
        else
            f.setForeground(ToQColor(cf.crTextColor));
    }
    if (cf.dwMask & CFM_FACE) f.setFontFamilies({SubstituteFace(FaceFromBuffer(cf.szFaceName))});
    if (cf.dwMask & CFM_BOLD) f.setFontWeight(cf.dwEffects & CFE_BOLD ? QFont::Bold : QFont::Normal);
    if (cf.dwMask & CFM_ITALIC) f.setFontItalic(cf.dwEffects & CFE_ITALIC);
    if (cf.dwMask & CFM_UNDERLINE) f.setFontUnderline(cf.dwEffects & CFE_UNDERLINE);
    if (cf.dwMask & CFM_STRIKEOUT) f.setFontStrikeOut(cf.dwEffects & CFE_STRIKEOUT);
    if ((cf.dwMask & CFM_SIZE) && cf.yHeight > 0) f.setFontPointSize(cf.yHeight / 20.0);
}

void DescribeFormat(const QTextCharFormat& f, const QString& face, CHARFORMAT& cf) {
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR | CFM_FACE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    cf.dwEffects = 0;
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        cf.crTextColor = FromQColor(f.foreground().color());
    else {
        cf.dwEffects |= CFE_AUTOCOLOR;
        cf.crTextColor = 0;
    }
    if (f.fontWeight() >= QFont::Bold) cf.dwEffects |= CFE_BOLD;
    if (f.fontItalic()) cf.dwEffects |= CFE_ITALIC;
    if (f.fontUnderline()) cf.dwEffects |= CFE_UNDERLINE;
    if (f.fontStrikeOut()) cf.dwEffects |= CFE_STRIKEOUT;
    FaceToBuffer(face, cf.szFaceName);
}

bool HasColour(const QTextCharFormat& f) {
    return f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush;
}

}  // namespace

RichEditWidget::RichEditWidget(QWidget* parent)
    : QPlainTextEdit(parent), m_faceName(QStringLiteral("MS Sans Serif")) {
    setUndoRedoEnabled(false);
    document()->setUndoRedoEnabled(false);
}

long RichEditWidget::Length() const { return static_cast<long>(document()->characterCount()) - 1; }

QTextCharFormat RichEditWidget::InsertionFormat() const {
    const QTextCursor c = textCursor();
    if (!c.hasSelection() && m_pendingValid && m_pendingPos == c.position()) return m_pendingFormat;
    QTextCursor at(document());
    at.setPosition(c.selectionStart());
    return at.charFormat();
}

// Positions beyond the end clamp to the end; a negative start drops the selection; a
// negative end means the end of the text.
void RichEditWidget::SetSel(long start, long end) {
    const long len = Length();
    QTextCursor c = textCursor();
    if (start < 0) {
        c.clearSelection();
        setTextCursor(c);
        return;
    }
    if (end < 0 || end > len) end = len;
    if (start > len) start = len;
    // Re-selecting the point where an insertion format was set keeps that format.
    if (!(start == end && m_pendingValid && m_pendingPos == start)) m_pendingValid = false;
    c.setPosition(static_cast<int>(start));
    c.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void RichEditWidget::GetSel(long& start, long& end) const {
    const QTextCursor c = textCursor();
    start = c.selectionStart();
    end = c.selectionEnd();
}

void RichEditWidget::ReplaceSel(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor c = textCursor();
    const QTextCharFormat format = InsertionFormat();
    const long selected = c.selectionEnd() - c.selectionStart();
    const long room = m_limit - (Length() - selected);
    if (room <= 0) return;
    if (t.size() > room) t.truncate(static_cast<qsizetype>(room));
    c.insertText(t, format);
    m_pendingValid = false;
    setTextCursor(c);
}

void RichEditWidget::SetSelectionFormat(const CHARFORMAT& cf) {
    QTextCursor c = textCursor();
    if (c.hasSelection()) {
        QTextCharFormat delta;
        ApplyCharFormat(cf, delta);
        if ((cf.dwMask & CFM_COLOR) && (cf.dwEffects & CFE_AUTOCOLOR)) delta.setForeground(QBrush());
        c.mergeCharFormat(delta);
        return;
    }
    // An empty selection keeps the format for text inserted there.
    QTextCharFormat f = InsertionFormat();
    ApplyCharFormat(cf, f);
    m_pendingFormat = f;
    m_pendingPos = c.position();
    m_pendingValid = true;
}

void RichEditWidget::SetDefaultFormat(const CHARFORMAT& cf) {
    QFont font = document()->defaultFont();
    if (cf.dwMask & CFM_FACE) {
        m_faceName = FaceFromBuffer(cf.szFaceName);
        font.setFamilies({SubstituteFace(m_faceName)});
        font.setStyleHint(QFont::TypeWriter);
    }
    if (cf.dwMask & CFM_BOLD) font.setBold(cf.dwEffects & CFE_BOLD);
    if (cf.dwMask & CFM_ITALIC) font.setItalic(cf.dwEffects & CFE_ITALIC);
    if ((cf.dwMask & CFM_SIZE) && cf.yHeight > 0) font.setPointSizeF(cf.yHeight / 20.0);
    document()->setDefaultFont(font);
    if (cf.dwMask & CFM_COLOR) {
        QPalette pal = palette();
        pal.setColor(QPalette::Text, cf.dwEffects & CFE_AUTOCOLOR ? QPalette().color(QPalette::Text)
                                                                  : ToQColor(cf.crTextColor));
        setPalette(pal);
    }
}

void RichEditWidget::GetSelectionFormat(CHARFORMAT& cf) const {
    DescribeFormat(InsertionFormat(), m_faceName, cf);
}

void RichEditWidget::GetDefaultFormat(CHARFORMAT& cf) const {
    DescribeFormat(QTextCharFormat(), m_faceName, cf);
}

void RichEditWidget::Clear() {
    const QFont font = document()->defaultFont();
    document()->clear();
    document()->setDefaultFont(font);
    m_pendingValid = false;
    setTextCursor(QTextCursor(document()));
}

// Only the visible part is laid out and painted.
void RichEditWidget::RepaintNow() {
    if (isVisible()) viewport()->repaint();
}

namespace {

// Hands bytes to the stream's callback until all are taken; false, with the stream's
// error set, when the callback refuses or takes what it was not given.
bool SendToStream(EDITSTREAM& stream, const char* bytes, size_t size) {
    size_t offset = 0;
    while (offset < size) {
        LONG written = 0;
        const LONG count = static_cast<LONG>(size - offset);
        const DWORD err = stream.pfnCallback(
            stream.dwCookie, reinterpret_cast<BYTE*>(const_cast<char*>(bytes + offset)), count, &written);
        if (err != 0) {
            stream.dwError = err;
            return false;
        }
        if (written <= 0 || written > count) {
            stream.dwError = static_cast<DWORD>(-1);
            return false;
        }
        offset += static_cast<size_t>(written);
    }
    return true;
}

// The plain text, paragraphs ended by CR LF, in chunks of about 4 KiB.
long StreamOutText(const QTextDocument& doc, const RtfWriter::Sink& sink) {
    std::string chunk;
    size_t total = 0;
    bool ok = true;
    for (QTextBlock b = doc.begin(); b.isValid() && ok; b = b.next()) {
        if (b != doc.begin()) chunk += "\r\n";
        chunk += b.text().toUtf8().toStdString();
        if (chunk.size() >= 4096) {
            ok = sink(chunk.data(), chunk.size());
            total += ok ? chunk.size() : 0;
            chunk.clear();
        }
    }
    if (ok && !chunk.empty() && sink(chunk.data(), chunk.size())) total += chunk.size();
    return static_cast<long>(total);
}

// The text colours in order of first use, and each one's number in the colour table.
void CollectColours(const QTextDocument& doc, std::vector<std::uint32_t>& colours,
                    std::unordered_map<std::uint32_t, int>& index) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!HasColour(f)) continue;
            const std::uint32_t c = FromQColor(f.foreground().color());
            if (index.emplace(c, static_cast<int>(colours.size()) + 1).second) colours.push_back(c);
        }
    }
}

}  // namespace

long RichEditWidget::StreamOut(int format, EDITSTREAM& stream) {
    stream.dwError = 0;
    if (!stream.pfnCallback) return 0;
    const RtfWriter::Sink sink = [&stream](const char* bytes, size_t size) {
        return SendToStream(stream, bytes, size);
    };
    QTextDocument* doc = document();
    if (format & SF_TEXT && !(format & SF_RTF)) return StreamOutText(*doc, sink);

    std::vector<std::uint32_t> colours;
    std::unordered_map<std::uint32_t, int> index;
    CollectColours(*doc, colours, index);
    const QFont font = doc->defaultFont();
    const int pixels =
        font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(font.pointSizeF() * 96 / 72);
    const int halfPoints = std::max(2, pixels * 72 / 96 * 2);
    const bool fixed = m_faceName.contains(QLatin1String("Courier"), Qt::CaseInsensitive) ||
                       m_faceName.contains(QLatin1String("Mono"), Qt::CaseInsensitive);
    RtfWriter writer(m_faceName.toLatin1().toStdString(), fixed, halfPoints, colours, sink);
    writer.Begin();
    for (QTextBlock b = doc->begin(); b.isValid() && !writer.Stopped(); b = b.next()) {
        if (b != doc->begin()) writer.Paragraph();
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            const int ci = HasColour(f) ? index[FromQColor(f.foreground().color())] : 0;
            const QString text = frag.text();
            writer.Text(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()),
                        ci);
        }
    }
    writer.End();
    return static_cast<long>(writer.BytesWritten());
}

}  // namespace vantrel::afx

namespace {
vantrel::afx::RichEditWidget* Rich(const CWnd* w) {
    return dynamic_cast<vantrel::afx::RichEditWidget*>(w->GetWidget());
}
}  // namespace

void CRichEditCtrl::SetSel(long start, long end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }

void CRichEditCtrl::GetSel(long& start, long& end) const {
    start = end = 0;
    if (vantrel::afx::RichEditWidget* r = Rich(this)) r->GetSel(start, end);
}

void CRichEditCtrl::ReplaceSel(const char* text, BOOL canUndo) {
    SendMessage(EM_REPLACESEL, static_cast<WPARAM>(canUndo), reinterpret_cast<LPARAM>(text));
}

BOOL CRichEditCtrl::SetDefaultCharFormat(CHARFORMAT& format) {
    return static_cast<BOOL>(SendMessage(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format)));
}

BOOL CRichEditCtrl::SetSelectionCharFormat(CHARFORMAT& format) {
    return static_cast<BOOL>(SendMessage(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)));
}

DWORD CRichEditCtrl::GetDefaultCharFormat(CHARFORMAT& format) const {
    return static_cast<DWORD>(const_cast<CRichEditCtrl*>(this)->SendMessage(
        EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format)));
}

DWORD CRichEditCtrl::GetSelectionCharFormat(CHARFORMAT& format) const {
    return static_cast<DWORD>(const_cast<CRichEditCtrl*>(this)->SendMessage(
        EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)));
}

void CRichEditCtrl::LimitText(long maxChars) { SendMessage(EM_EXLIMITTEXT, 0, maxChars); }

long CRichEditCtrl::GetLimitText() const {
    vantrel::afx::RichEditWidget* r = Rich(this);
    return r ? r->Limit() : 0;
}

long CRichEditCtrl::StreamOut(int format, EDITSTREAM& stream) {
    return static_cast<long>(
        SendMessage(EM_STREAMOUT, static_cast<WPARAM>(format), reinterpret_cast<LPARAM>(&stream)));
}

long CRichEditCtrl::GetTextLength() const {
    vantrel::afx::RichEditWidget* r = Rich(this);
    return r ? r->Length() : 0;
}
