#pragma once

#include "base/catalogue/RecordSet.h"
#include "base/catalogue/StatementTranslation.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

struct sqlite3;

namespace tavrin {

// An error of the catalogue engine or file, with a text fit for the operator.
class ECatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The process-wide lock under which statements are run: every connection's
// statements, so that the station never meets its own file locks.
extern std::mutex CatalogueLock;

// How a connection may use its file: a command that only reads opens it so
// that nothing it does can change the file, and a read-only folder serves it.
enum class TCatalogueAccess { ReadWrite, ReadOnly };

// One connection to a catalogue file. The station's connection is used by the
// main thread and the workers at once: statements run under CatalogueLock,
// and while one thread holds a transaction the statements of other threads
// wait for its end, so a rollback never takes another thread's rows with it.
// A thread holding a transaction must therefore never wait for another
// thread that uses the catalogue.
class TCatalogueConnection {
public:
    TCatalogueConnection() = default;
    ~TCatalogueConnection();
    TCatalogueConnection(const TCatalogueConnection&) = delete;
    TCatalogueConnection& operator=(const TCatalogueConnection&) = delete;

    // Opens the database file, making it only when create is true. Raises
    // ECatalogueError when the file cannot be opened, is not a database or
    // is locked by another program; the file is never overwritten. Opened
    // ReadOnly, every statement that would write fails.
    void Open(const std::string& path, bool create, TCatalogueAccess access = TCatalogueAccess::ReadWrite);
    void Close();
    bool IsOpen() const { return Database != nullptr; }
    const std::string& Path() const { return FilePath; }

    // Runs one translated statement and, when it returns rows, opens the
    // record set on them (otherwise leaves it closed). The caller holds
    // CatalogueLock (RunStatement) or is the connection's only user.
    // Raises ECatalogueError.
    void Run(const TTranslatedStatement& statement, TRecordSet& rows);
    void Execute(const std::string& sql);

    // Takes CatalogueLock itself and waits until no other thread holds a transaction.
    void RunStatement(const TTranslatedStatement& statement, TRecordSet& rows);

    // Transactions; nested ones (same thread) become savepoints. Commit and
    // rollback by a thread that holds none raise ECatalogueError; a failed
    // rollback is ignored (the transaction is over either way). A failed
    // commit leaves its level open for the caller to roll back. Once a
    // failure made the engine undo the whole transaction (a full disk),
    // begin and commit raise that failure until every level is rolled back.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

private:
    // The engine's words for a failure, with the system's reason where it has one.
    std::string ErrorDetail(int code) const;
    [[noreturn]] void Raise(int code, const std::string& sql) const;
    void WaitForTurn(std::unique_lock<std::mutex>& lock);
    void EndTransactionLevel();
    // Notes why the engine ended the open transaction itself after a failed
    // statement (a full disk does that). The callers' levels stay open until
    // they roll them back; until then no level begins or commits, and each
    // attempt says why.
    void NoteTransactionEndedByEngine(int code);
    [[noreturn]] void RaiseUndone() const;

    sqlite3* Database = nullptr;
    std::string FilePath;
    // Guarded by CatalogueLock.
    std::condition_variable TransactionEnded;
    std::thread::id TransactionOwner;
    int TransactionDepth = 0;
    // The failure after which the engine undid the open transaction; empty while it holds.
    std::string UndoneBy;
};

}  // namespace tavrin
