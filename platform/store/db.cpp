// The RAII layer over SQLite used by the store; see db.h.
#include "store/db.h"

#include <sqlite3.h>

namespace platform::store {

Db::~Db() { Close(); }

int Db::Open(const std::string& path, bool create, bool readOnly) {
    Close();
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create) flags |= SQLITE_OPEN_CREATE;
    flags |= SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) return rc;
    sqlite3_extended_result_codes(db_, 0);
    // Concurrent programs wait for each other rather than fail: the tests
    // run several writers on one key.
    sqlite3_busy_timeout(db_, 30000);
    // Keep the write-ahead log and its index in place when the last
    // connection closes: scripts start a program per key, and recreating and
    // deleting both files on every run cost more than the run's own reads.
    // A kept log is cut back to nothing when it is checkpointed, or the next
    // process would read through all of it when it opens the world.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_exec(db_, "PRAGMA journal_size_limit=0", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

void Db::Close() {
    for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.stmt);
    cache_.clear();
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

std::string Db::Message() const {
    if (db_ == nullptr) return "out of memory";
    return sqlite3_errmsg(db_);
}

std::int64_t Db::LastId() const { return db_ == nullptr ? 0 : sqlite3_last_insert_rowid(db_); }

bool Db::Exec(const char* sql) {
    return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Db::Cached* Db::Lookup(const char* sql) {
    if (db_ == nullptr) return nullptr;
    auto found = cache_.find(sql);
    if (found != cache_.end()) return &found->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return &cache_.emplace(sql, Cached{stmt, false}).first->second;
}

Query::Query(Db& db, const char* sql) : db_(db) {
    Db::Cached* cached = db.Lookup(sql);
    if (cached == nullptr) {
        Failed();
        return;
    }
    if (!cached->busy) {
        cached_ = cached;
        cached_->busy = true;
        stmt_ = cached->stmt;
    } else if (sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        Failed();
        return;
    }
    ok_ = true;
}

Query::~Query() {
    if (cached_ != nullptr) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        cached_->busy = false;
    } else if (stmt_ != nullptr) {
        sqlite3_finalize(stmt_);
    }
}

Query& Query::Bind(int index, std::int64_t value) {
    if (ok_ && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) ok_ = false;
    return *this;
}

Query& Query::Bind(int index, std::string_view text) {
    if (ok_ && sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        ok_ = false;
    return *this;
}

Query& Query::Bind(int index, const std::vector<BYTE>& blob) {
    // A zero-length blob must still bind as a blob, not as NULL.
    static const BYTE empty = 0;
    const void* data = blob.empty() ? &empty : blob.data();
    if (ok_ && sqlite3_bind_blob64(stmt_, index, data, blob.size(), SQLITE_TRANSIENT) != SQLITE_OK) ok_ = false;
    return *this;
}

Query& Query::BindNull(int index) {
    if (ok_ && sqlite3_bind_null(stmt_, index) != SQLITE_OK) ok_ = false;
    return *this;
}

bool Query::Next() {
    if (!ok_) return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Failed();
    return false;
}

bool Query::Run() {
    if (!ok_) return false;
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Failed();
    return ok_;
}

void Query::Failed() {
    ok_ = false;
    ++db_.failures;
    db_.failure = db_.Message();
}

std::int64_t Query::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Query::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (text == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::vector<BYTE> Query::Blob(int column) const {
    const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    if (data == nullptr || size <= 0) return {};
    return std::vector<BYTE>(data, data + size);
}

bool Query::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

Transaction::Transaction(Db& db) : db_(db) {
    // A held read snapshot cannot be upgraded safely once another process
    // has written; end it and start a proper write transaction.
    if (db_.holding && db_.depth == 0) {
        db_.Exec("COMMIT");
        db_.holding = false;
    }
    nested_ = db_.depth > 0;
    begun_ = db_.Exec(nested_ ? "SAVEPOINT inner" : "BEGIN IMMEDIATE");
    if (begun_) ++db_.depth;
}

Transaction::~Transaction() {
    if (!begun_) return;
    if (!done_) db_.Exec(nested_ ? "ROLLBACK TO inner; RELEASE inner" : "ROLLBACK");
    --db_.depth;
}

bool Transaction::Commit() {
    if (!begun_ || done_) return false;
    done_ = db_.Exec(nested_ ? "RELEASE inner" : "COMMIT");
    return done_;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace platform::store
