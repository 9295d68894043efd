#pragma once
// A prepared SQLite statement that binds its values by position and finalizes itself.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::records {

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(const std::string& text);
    SqliteStatement& Bind(std::int64_t value);
    SqliteStatement& Bind(int value) { return Bind(static_cast<std::int64_t>(value)); }
    SqliteStatement& Bind(double value);
    SqliteStatement& BindNull();
    SqliteStatement& Bind(const std::optional<double>& value);
    SqliteStatement& Bind(const std::optional<int>& value);

    // True while a row is there; throws on an error.
    bool Step();
    void Reset();

    std::string Text(int column) const;
    std::int64_t Int(int column) const;
    std::optional<double> OptDouble(int column) const;
    std::optional<int> OptInt(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    int m_next = 1;
};

// Thrown by SqliteStatement; carries SQLite's result code and its text.
struct SqliteFailure {
    int code;
    std::string text;
};

}  // namespace vantrel::records
