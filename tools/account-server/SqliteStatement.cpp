#include "SqliteStatement.h"

#include <sqlite3.h>

namespace qbk::accountserver {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
        SQLITE_OK)
        statement_ = nullptr;
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::optional<std::int64_t> value) {
    if (value)
        return bind(index, *value);
    sqlite3_bind_null(statement_, index);
    return *this;
}

bool SqliteStatement::step() {
    lastResult_ = statement_ ? sqlite3_step(statement_) : SQLITE_ERROR;
    return lastResult_ == SQLITE_ROW;
}

bool SqliteStatement::run() {
    step();
    return lastResult_ == SQLITE_DONE;
}

std::string SqliteStatement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), size) : std::string();
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::optional<std::int64_t> SqliteStatement::optionalInteger(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL)
        return std::nullopt;
    return integer(column);
}

} // namespace qbk::accountserver
