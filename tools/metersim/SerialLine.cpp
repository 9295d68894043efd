#include "SerialLine.h"

#include <algorithm>

namespace vantrel::metersim {

SerialLine::SerialLine(Clock::duration character) : m_character(character) {}

void SerialLine::Receive(std::string_view bytes, Clock::time_point now) {
    Clock::time_point at = now;
    if (!m_input.empty()) at = std::max(at, m_input.back().at + m_character);
    for (char byte : bytes) {
        m_input.push_back(Arrival{byte, at});
        at += m_character;
    }
}

std::vector<SerialLine::Arrival> SerialLine::TakeArrived(Clock::time_point now) {
    std::vector<Arrival> arrived;
    while (!m_input.empty() && m_input.front().at <= now) {
        arrived.push_back(m_input.front());
        m_input.pop_front();
    }
    return arrived;
}

std::size_t SerialLine::End(const Reply& reply) const {
    return reply.hangUpAfter ? std::min(*reply.hangUpAfter, reply.bytes.size()) : reply.bytes.size();
}

SerialLine::Clock::time_point SerialLine::Ends(const Reply& reply) const {
    return reply.due + m_character * static_cast<long>(reply.bytes.size() - reply.sent);
}

void SerialLine::Send(std::string bytes, Clock::time_point earliest, std::optional<std::size_t> hangUpAfter) {
    if (bytes.empty()) return;
    const Clock::time_point due = m_output.empty() ? earliest : std::max(earliest, Ends(m_output.back()));
    m_output.push_back(Reply{due, std::move(bytes), 0, hangUpAfter});
}

// A reply already on its way finishes the line whose byte is leaving at `at`; the rest of
// it, and every reply after it, goes.
void SerialLine::DropUnsent(Clock::time_point at) {
    if (m_output.empty()) return;
    m_output.erase(m_output.begin() + 1, m_output.end());
    Reply& head = m_output.front();
    if (head.sent == 0 && head.due > at) {
        m_output.clear();
        return;
    }
    std::size_t lastLeft = head.sent - (head.due > at ? 1 : 0);
    if (head.due <= at && m_character.count() > 0)
        lastLeft += static_cast<std::size_t>((at - head.due) / m_character);
    const std::size_t lineEnd = head.bytes.find('\n', lastLeft);
    if (lineEnd != std::string::npos) head.bytes.resize(lineEnd + 1);
    if (head.sent >= head.bytes.size() && !head.hangUpAfter) m_output.clear();
}

std::string_view SerialLine::Due(Clock::time_point now) const {
    if (m_output.empty() || m_output.front().due > now) return {};
    const Reply& head = m_output.front();
    std::size_t count = End(head) - std::min(head.sent, End(head));
    if (m_character.count() > 0)
        count = std::min<std::size_t>(count, static_cast<std::size_t>((now - head.due) / m_character) + 1);
    return std::string_view(head.bytes).substr(head.sent, count);
}

void SerialLine::Sent(std::size_t count) {
    if (m_output.empty()) return;
    Reply& head = m_output.front();
    head.sent += count;
    head.due += m_character * static_cast<long>(count);
    if (head.sent >= head.bytes.size() && !head.hangUpAfter) m_output.pop_front();
}

bool SerialLine::HangUpDue() const {
    return !m_output.empty() && m_output.front().hangUpAfter &&
           m_output.front().sent >= End(m_output.front());
}

void SerialLine::Clear() {
    m_input.clear();
    m_output.clear();
}

std::optional<SerialLine::Clock::time_point> SerialLine::NextEvent() const {
    std::optional<Clock::time_point> next;
    if (!m_input.empty()) next = m_input.front().at;
    if (!m_output.empty() && (!next || m_output.front().due < *next)) next = m_output.front().due;
    return next;
}

}  // namespace vantrel::metersim
