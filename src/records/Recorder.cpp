#include "records/Recorder.h"

#include "records/PgForwarder.h"
#include "records/RecordJson.h"
#include "records/RecordStore.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace vantrel::records {
namespace fs = std::filesystem;

namespace {

std::string PendingFile(const std::string& folder, const std::string& id) {
    return (fs::path(folder) / (id + ".json")).string();
}

// Writes the whole file under a temporary name first, so a half-written file never looks
// like a waiting record.
bool WriteWholeFile(const std::string& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, path, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

std::string ReadWholeFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) throw std::runtime_error("the file cannot be read");
    return text.str();
}

}  // namespace

Recorder::Recorder(RecorderSettings settings) : m_settings(std::move(settings)) {
    LoadPendingFolder(m_settings.pendingFolder);
    if (!m_settings.sharedPendingFolder.empty() && m_settings.sharedPendingFolder != m_settings.pendingFolder)
        LoadPendingFolder(m_settings.sharedPendingFolder);
    std::stable_sort(m_pending.begin(), m_pending.end(),
                     [](const auto& a, const auto& b) { return a.record.startedUtc < b.record.startedUtc; });
    Flush();
    // Records of earlier runs that the line's database has not yet got go out without
    // waiting for the next action.
    std::error_code error;
    if (m_settings.postgresConninfo && !m_forwarder && fs::exists(m_settings.databasePath, error))
        m_forwarder = std::make_unique<PgForwarder>(m_settings.databasePath, *m_settings.postgresConninfo);
}

Recorder::~Recorder() = default;

void Recorder::LoadPendingFolder(const std::string& folder) {
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) return;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".json" && entry.is_regular_file(error))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        try {
            ActionRecord record = RecordFromJson(ReadWholeFile(file));
            // Another bench's record waits for its own bench.
            if (!m_settings.benchFolder.empty() && record.bench.folder != m_settings.benchFolder) continue;
            m_pending.push_back({std::move(record), file.string()});
        } catch (const std::exception& failure) {
            MoveAside({ActionRecord{}, file.string()}, failure.what());
        }
    }
}

void Recorder::MoveAside(const Waiting& waiting, const std::string& reason) {
    const fs::path rejected = fs::path(m_settings.pendingFolder) / kRejectedFolderName;
    const std::string name =
        waiting.file.empty() ? waiting.record.id + ".json" : fs::path(waiting.file).filename().string();
    const fs::path target = rejected / name;
    std::error_code error;
    fs::create_directories(rejected, error);
    if (waiting.file.empty()) {
        WriteWholeFile(target.string(), RecordToJson(waiting.record) + "\n");
    } else {
        fs::rename(waiting.file, target, error);
        // Another disk: copy, then remove.
        if (error && fs::copy_file(waiting.file, target, fs::copy_options::overwrite_existing, error))
            fs::remove(waiting.file, error);
    }
    WriteWholeFile(target.string() + kReasonSuffix, reason + "\n");
    if (m_rejectNoticeGiven) return;
    m_rejectNoticeGiven = true;
    m_notice += "A waiting production record could not be stored and was moved to " + rejected.string() +
                " (" + reason + "). The other records go on; \"vantrel-records status\" lists it.\n";
}

Recorder::WriteOutcome Recorder::TryWrite(const ActionRecord& record) {
    try {
        if (!m_store) m_store = std::make_unique<RecordStore>(m_settings.databasePath);
        m_store->Write(record);
        if (m_settings.postgresConninfo && !m_forwarder)
            m_forwarder =
                std::make_unique<PgForwarder>(m_settings.databasePath, *m_settings.postgresConninfo);
        if (m_forwarder) m_forwarder->Notify();
        return WriteOutcome::Written;
    } catch (const RecordStoreError& error) {
        m_lastFailure = error.what();
        if (error.kind() == RecordStoreError::Kind::Refused) return WriteOutcome::Refused;
        // A database that failed once is opened afresh next time: the disk may have changed.
        if (error.kind() != RecordStoreError::Kind::Unwritable) m_store.reset();
        return WriteOutcome::Unwritable;
    }
}

bool Recorder::Flush() {
    while (!m_pending.empty()) {
        const WriteOutcome outcome = TryWrite(m_pending.front().record);
        if (outcome == WriteOutcome::Unwritable) return false;
        std::error_code error;
        if (outcome == WriteOutcome::Refused)
            MoveAside(m_pending.front(), m_lastFailure);
        else if (!m_pending.front().file.empty())
            fs::remove(m_pending.front().file, error);
        m_pending.pop_front();
    }
    // Everything is saved: a later failure is news again.
    m_noticeGiven = false;
    return true;
}

bool Recorder::Record(const ActionRecord& record) {
    if (Flush()) {
        const WriteOutcome outcome = TryWrite(record);
        if (outcome == WriteOutcome::Written) return true;
        if (outcome == WriteOutcome::Refused) {
            MoveAside({record, {}}, m_lastFailure);
            return false;
        }
    }
    KeepPending(record);
    return false;
}

std::size_t Recorder::MemoryOnlyCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_pending.begin(), m_pending.end(), [](const Waiting& w) { return w.file.empty(); }));
}

void Recorder::KeepPending(const ActionRecord& record) {
    std::string file;
    if (!m_settings.pendingFolder.empty() &&
        WriteWholeFile(PendingFile(m_settings.pendingFolder, record.id), RecordToJson(record) + "\n"))
        file = PendingFile(m_settings.pendingFolder, record.id);
    m_pending.push_back({record, file});
    if (m_noticeGiven) return;
    m_noticeGiven = true;
    // The database is named once: by the reason when the reason names it.
    const bool reasonNamesDatabase = m_lastFailure.find(m_settings.databasePath) != std::string::npos;
    m_notice += reasonNamesDatabase ? "The production record could not be saved. " + m_lastFailure + " "
                                    : "The production record could not be saved in " +
                                          m_settings.databasePath + ". " + m_lastFailure + " ";
    if (!file.empty())
        m_notice += "It waits in the folder " + m_settings.pendingFolder +
                    " and is saved in the database at the next chance; nothing is lost.";
    else
        m_notice +=
            "It waits in this program's memory and is saved at the next chance; "
            "keep the program open until the database can be written again.";
}

std::string Recorder::TakeOperatorNotice() {
    std::string notice = std::exchange(m_notice, std::string());
    if (m_forwarder) notice += m_forwarder->TakeOperatorNotice();
    while (!notice.empty() && notice.back() == '\n') notice.pop_back();
    return notice;
}

}  // namespace vantrel::records
