#pragma once
// Charts are drawn with Qt Charts, which draws only on the thread that owns the Qt
// application. Request threads hand their drawing to that thread here and wait for the PNG.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>

namespace vantrel::dashboard {

class ChartPainter {
public:
    // `draw` writes a PNG to the path it is given and says whether it could. Returns the
    // picture's bytes, or nothing when it could not be drawn or the painter has stopped.
    std::optional<std::string> Paint(std::function<bool(const std::string& path)> draw);

    // Draws what is asked until Stop(); call on the Qt application's thread.
    void Run();
    void Stop();

private:
    struct Job {
        std::function<bool(const std::string&)> draw;
        std::promise<std::optional<std::string>> done;
    };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stop = false;
};

}  // namespace vantrel::dashboard
