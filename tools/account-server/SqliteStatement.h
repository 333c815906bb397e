#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace qbk::accountserver {

// One prepared statement; parameters bind from 1, columns read from 0.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isValid() const { return statement_ != nullptr; }

    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, std::optional<std::int64_t> value); // empty binds NULL

    // True while a row is available; false at the end or on an error (see succeeded()).
    bool step();
    // Runs a statement that returns no rows; true when it completed.
    bool run();
    bool succeeded() const { return lastResult_ == kDone || lastResult_ == kRow; }

    std::string text(int column) const;
    std::int64_t integer(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;

private:
    static constexpr int kRow = 100;  // SQLITE_ROW
    static constexpr int kDone = 101; // SQLITE_DONE
    sqlite3_stmt* statement_ = nullptr;
    int lastResult_ = kDone;
};

} // namespace qbk::accountserver
