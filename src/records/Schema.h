#pragma once
// The record database's schema as SQL text: the SQLite migrations in order, and the tables of
// a line's PostgreSQL database.

#include <span>
#include <string_view>

namespace vantrel::records {

// Marks a SQLite file as a record database of this tool (PRAGMA application_id).
inline constexpr int kApplicationId = 0x56524543;

// Migration i takes a database from version i to version i + 1; version 0 is an empty file.
std::span<const std::string_view> SqliteMigrations();

// Creates the tables of a line's database; run once by the database's owner.
std::string_view PostgresSchema();

}  // namespace vantrel::records
