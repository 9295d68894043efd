#pragma once
// The meter's RS-232 line as the emulator models it: bytes go both ways one character time
// apart, although the pseudo-terminal delivers the client's at once and takes the meter's
// as fast as they are written. Pure bookkeeping on a clock the caller passes in.

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metersim {

class SerialLine {
public:
    using Clock = std::chrono::steady_clock;

    struct Arrival {
        char byte;
        Clock::time_point at;
    };

    explicit SerialLine(Clock::duration character);

    // Bytes the client wrote, read from the terminal at now: on the line each follows the
    // one before a character time later.
    void Receive(std::string_view bytes, Clock::time_point now);
    // The received bytes that have arrived by now, each with its arrival time, in order.
    std::vector<Arrival> TakeArrived(Clock::time_point now);

    // A reply whose first byte may leave at earliest; it waits for the replies before it.
    // With hangUpAfter, the line drops once that many of its bytes have left.
    void Send(std::string bytes, Clock::time_point earliest, std::optional<std::size_t> hangUpAfter);
    // What has not begun to leave by at is dropped; a line already on its way is finished.
    void DropUnsent(Clock::time_point at);
    // The reply bytes due by now, for the caller to write; Sent tells how many went out.
    std::string_view Due(Clock::time_point now) const;
    void Sent(std::size_t count);
    // The reply going out has reached its hang-up point.
    bool HangUpDue() const;
    void Clear();

    // When the next received byte arrives or the next reply byte is due, if any.
    std::optional<Clock::time_point> NextEvent() const;

private:
    struct Reply {
        Clock::time_point due;  // when its next byte leaves
        std::string bytes;
        std::size_t sent = 0;
        std::optional<std::size_t> hangUpAfter;
    };
    std::size_t End(const Reply& reply) const;
    Clock::time_point Ends(const Reply& reply) const;

    Clock::duration m_character;
    std::deque<Arrival> m_input;
    std::deque<Reply> m_output;
};

}  // namespace vantrel::metersim
