#pragma once

#include "SqliteStatement.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace qbk::accountserver {

// One SQLite connection (a file, or ":memory:").
class SqliteDatabase {
public:
    explicit SqliteDatabase(const std::string& path);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    std::string lastError() const;

    bool exec(std::string_view sql);
    SqliteStatement prepare(std::string_view sql) { return SqliteStatement(db_, sql); }
    int changes() const;

private:
    sqlite3* db_ = nullptr;
};

} // namespace qbk::accountserver
