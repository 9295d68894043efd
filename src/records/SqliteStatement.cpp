#include "records/SqliteStatement.h"

namespace vantrel::records {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : m_db(db) {
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) throw SqliteFailure{rc, sqlite3_errmsg(db)};
}

SqliteStatement& SqliteStatement::Bind(const std::string& text) {
    sqlite3_bind_text(m_stmt, m_next++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(std::int64_t value) {
    sqlite3_bind_int64(m_stmt, m_next++, value);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(double value) {
    sqlite3_bind_double(m_stmt, m_next++, value);
    return *this;
}

SqliteStatement& SqliteStatement::BindNull() {
    sqlite3_bind_null(m_stmt, m_next++);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(const std::optional<double>& value) {
    if (value)
        sqlite3_bind_double(m_stmt, m_next++, *value);
    else
        sqlite3_bind_null(m_stmt, m_next++);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(const std::optional<int>& value) {
    if (value)
        sqlite3_bind_int64(m_stmt, m_next++, *value);
    else
        sqlite3_bind_null(m_stmt, m_next++);
    return *this;
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqliteFailure{rc, sqlite3_errmsg(m_db)};
}

void SqliteStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_next = 1;
}

std::string SqliteStatement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string();
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::optional<double> SqliteStatement::OptDouble(int column) const {
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(m_stmt, column);
}

std::optional<int> SqliteStatement::OptInt(int column) const {
    if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL) return std::nullopt;
    return static_cast<int>(sqlite3_column_int64(m_stmt, column));
}

}  // namespace vantrel::records
