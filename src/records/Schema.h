#pragma once
// The record database's schema as SQL text: the SQLite migrations in order, and the tables of
// a line's PostgreSQL database. Both are made from the column lists.

#include <string>
#include <vector>

namespace vantrel::records {

// Marks a SQLite file as a record database of this tool (PRAGMA application_id).
inline constexpr int kApplicationId = 0x56524543;

// Migration i takes a database from version i to version i + 1; version 0 is an empty file.
const std::vector<std::string>& SqliteMigrations();

// Creates the tables of a line's database, or adds the columns that a table made by an older
// version lacks; run by the database's owner at first and after each upgrade.
const std::string& PostgresSchema();

}  // namespace vantrel::records
