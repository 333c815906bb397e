#include "SqliteDatabase.h"

#include <sqlite3.h>

namespace qbk::accountserver {

SqliteDatabase::SqliteDatabase(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close(db_);
}

std::string SqliteDatabase::lastError() const {
    return db_ ? sqlite3_errmsg(db_) : "the database could not be opened";
}

bool SqliteDatabase::exec(std::string_view sql) {
    return sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

int SqliteDatabase::changes() const {
    return sqlite3_changes(db_);
}

} // namespace qbk::accountserver
