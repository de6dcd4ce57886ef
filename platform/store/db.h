// A thin RAII layer over one SQLite connection, private to the store.
//
// Statements are prepared once per connection and reused; a statement that
// is already stepping (a query nested inside another over the same SQL) gets
// a private copy instead, so callers never see one cursor clobber another.
// Transactions are taken with BEGIN IMMEDIATE so that a writer holds the
// write lock from its first read: two read-modify-write transactions then
// queue on the busy timeout instead of failing on lock upgrade.
//
// Nothing here throws; failures come back as false / SQLITE_* codes and the
// connection's last message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::store {

class Db {
public:
    Db() = default;
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // Opens an existing file (readOnly: without write access); returns the
    // SQLite result code, SQLITE_OK on success.
    int Open(const std::string& path, bool create, bool readOnly);
    void Close();
    sqlite3* Handle() const { return db_; }
    std::string Message() const;  // the connection's last error text
    std::int64_t LastId() const;  // row id of the last INSERT

    // Runs statements that return no rows; false on the first failure.
    bool Exec(const char* sql);

    struct Cached {
        sqlite3_stmt* stmt = nullptr;  // prepared statement
        bool busy = false;             // a Query is using it
    };
    Cached* Lookup(const char* sql);   // null when preparing fails

    int depth = 0;         // open Transactions; inner ones are savepoints
    int failures = 0;      // statements that failed to prepare or step
    std::string failure;   // the message of the last of them
    bool holding = false;  // a read transaction is held (World::HoldReads)

private:
    sqlite3* db_ = nullptr;                          // the connection
    std::unordered_map<const char*, Cached> cache_;  // keyed by the SQL literal's address
};

// One use of a (cached) statement: bind, step, read columns; reset on scope
// exit.  `ok()` is false when the statement could not be prepared or a
// step failed.
class Query {
public:
    Query(Db& db, const char* sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& Bind(int index, const std::vector<BYTE>& blob);
    Query& BindNull(int index);

    bool Next();  // true when a row is ready; false at the end or on error
    bool Run();   // steps to completion; true on SQLITE_DONE
    bool ok() const { return ok_; }

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<BYTE> Blob(int column) const;
    bool IsNull(int column) const;

private:
    void Failed();                  // counts a failure on the connection

    Db& db_;                        // the connection
    Db::Cached* cached_ = nullptr;  // shared statement, or null when private
    sqlite3_stmt* stmt_ = nullptr;  // the statement stepped
    bool ok_ = false;               // prepared and no step failed
};

// BEGIN IMMEDIATE ... COMMIT, rolled back unless Commit() succeeded.  A
// Transaction opened inside another is a savepoint of it: its rollback
// undoes only its own part, its commit waits for the outer one.
class Transaction {
public:
    explicit Transaction(Db& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool ok() const { return begun_; }
    bool Commit();

private:
    Db& db_;              // connection
    bool begun_ = false;  // BEGIN succeeded
    bool done_ = false;   // committed
    bool nested_ = false; // a savepoint inside another transaction
};

// ASCII upper case: how names are compared.
std::string Upper(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace platform::store
