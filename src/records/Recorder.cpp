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
bool WritePendingFile(const std::string& folder, const ActionRecord& record) {
    std::error_code error;
    fs::create_directories(folder, error);
    const std::string path = PendingFile(folder, record.id);
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << RecordToJson(record) << '\n';
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

}  // namespace

Recorder::Recorder(RecorderSettings settings) : m_settings(std::move(settings)) {
    LoadPendingFolder();
    Flush();
    // Records of earlier runs that the line's database has not yet got go out without
    // waiting for the next action.
    std::error_code error;
    if (m_settings.postgresConninfo && !m_forwarder && fs::exists(m_settings.databasePath, error))
        m_forwarder = std::make_unique<PgForwarder>(m_settings.databasePath, *m_settings.postgresConninfo);
}

Recorder::~Recorder() = default;

void Recorder::LoadPendingFolder() {
    std::error_code error;
    if (m_settings.pendingFolder.empty() || !fs::is_directory(m_settings.pendingFolder, error)) return;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(m_settings.pendingFolder, error))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::vector<ActionRecord> found;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        try {
            found.push_back(RecordFromJson(text.str()));
        } catch (const std::exception&) {
            // Not one of ours, or damaged: left where it is for a person to look at.
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.startedUtc < b.startedUtc; });
    m_pending.insert(m_pending.end(), found.begin(), found.end());
}

bool Recorder::TryWrite(const ActionRecord& record) {
    try {
        if (!m_store) m_store = std::make_unique<RecordStore>(m_settings.databasePath);
        m_store->Write(record);
        if (m_settings.postgresConninfo && !m_forwarder)
            m_forwarder =
                std::make_unique<PgForwarder>(m_settings.databasePath, *m_settings.postgresConninfo);
        if (m_forwarder) m_forwarder->Notify();
        return true;
    } catch (const RecordStoreError& error) {
        // A database that failed once is opened afresh next time: the disk may have changed.
        if (error.kind() != RecordStoreError::Kind::Unwritable) m_store.reset();
        m_lastFailure = error.what();
        return false;
    }
}

bool Recorder::Flush() {
    while (!m_pending.empty()) {
        if (!TryWrite(m_pending.front())) return false;
        std::error_code error;
        fs::remove(PendingFile(m_settings.pendingFolder, m_pending.front().id), error);
        m_pending.pop_front();
    }
    // Everything is saved: a later failure is news again.
    m_noticeGiven = false;
    return true;
}

bool Recorder::Record(const ActionRecord& record) {
    if (Flush() && TryWrite(record)) return true;
    KeepPending(record);
    return false;
}

void Recorder::KeepPending(const ActionRecord& record) {
    m_pending.push_back(record);
    const bool onDisk =
        !m_settings.pendingFolder.empty() && WritePendingFile(m_settings.pendingFolder, record);
    if (m_noticeGiven) return;
    m_noticeGiven = true;
    // The database is named once: by the reason when the reason names it.
    const bool reasonNamesDatabase = m_lastFailure.find(m_settings.databasePath) != std::string::npos;
    m_notice = reasonNamesDatabase ? "The production record could not be saved. " + m_lastFailure + " "
                                   : "The production record could not be saved in " +
                                         m_settings.databasePath + ". " + m_lastFailure + " ";
    if (onDisk)
        m_notice += "It waits in the folder " + m_settings.pendingFolder +
                    " and is saved in the database at the next chance; nothing is lost.";
    else
        m_notice +=
            "It waits in this program's memory and is saved at the next chance; "
            "keep the program open until the database can be written again.";
}

std::string Recorder::TakeOperatorNotice() { return std::exchange(m_notice, std::string()); }

}  // namespace vantrel::records
