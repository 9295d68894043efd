#include "dashboard/ChartPainter.h"

#include "records/ActionRecord.h"

#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::dashboard {
namespace {

std::optional<std::string> DrawToBytes(const std::function<bool(const std::string&)>& draw) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("vantrel-chart-" + records::NewRecordId() + ".png");
    std::optional<std::string> bytes;
    if (draw(file.string())) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        if (in) bytes = read.str();
    }
    std::error_code ignored;
    fs::remove(file, ignored);
    return bytes;
}

}  // namespace

std::optional<std::string> ChartPainter::Paint(std::function<bool(const std::string& path)> draw) {
    std::future<std::optional<std::string>> result;
    {
        std::lock_guard lock(m_mutex);
        if (m_stop) return std::nullopt;
        m_jobs.push_back({std::move(draw), {}});
        result = m_jobs.back().done.get_future();
    }
    m_wake.notify_one();
    return result.get();
}

void ChartPainter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        if (m_stop) {
            job.done.set_value(std::nullopt);
            continue;
        }
        lock.unlock();
        auto png = DrawToBytes(job.draw);
        // A chart of thousands of points takes megabytes for a moment (an item per point) and
        // frees them again, scattered through the heap; given back before the picture goes out,
        // they do not stay resident between drawings.
        malloc_trim(0);
        job.done.set_value(std::move(png));
        lock.lock();
    }
}

void ChartPainter::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

}  // namespace vantrel::dashboard
