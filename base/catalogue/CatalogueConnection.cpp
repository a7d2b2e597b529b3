#include "base/catalogue/CatalogueConnection.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>

namespace tavrin {

std::mutex CatalogueLock;

namespace {

// How long a statement waits for another program's lock before it fails.
constexpr int BusyTimeoutMilliseconds = 3000;

using TStatementHandle = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

bool OnlySeparatorsIn(const char* tail)
{
    for (; tail && *tail; ++tail)
        if (*tail != ';' && static_cast<unsigned char>(*tail) > ' ')
            return false;
    return true;
}

std::optional<std::string> ColumnText(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
    case SQLITE_BLOB: return std::nullopt;
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    }
}

}  // namespace

TCatalogueConnection::~TCatalogueConnection()
{
    Close();
}

void TCatalogueConnection::Open(const std::string& path, bool create, TCatalogueAccess access)
{
    Close();
    FilePath = path;
    const int flags = SQLITE_OPEN_FULLMUTEX | (access == TCatalogueAccess::ReadOnly
                                                   ? SQLITE_OPEN_READONLY
                                                   : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0));
    const int code = sqlite3_open_v2(path.c_str(), &Database, flags, nullptr);
    try {
        if (code != SQLITE_OK)
            Raise(code, "");
        sqlite3_busy_timeout(Database, BusyTimeoutMilliseconds);
        // A double-quoted word is a name, never a text: texts only ever arrive bound.
        sqlite3_db_config(Database, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        sqlite3_db_config(Database, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
        // Reading the schema now tells a foreign or locked file at once.
        Execute("select count(*) from sqlite_master");
    } catch (...) {
        Close();
        throw;
    }
}

void TCatalogueConnection::Close()
{
    if (Database)
        sqlite3_close_v2(Database);
    Database = nullptr;
}

std::string TCatalogueConnection::ErrorDetail(int code) const
{
    std::string detail = Database ? sqlite3_errmsg(Database) : sqlite3_errstr(code);
    // A full disk or a failed write is the system's to explain.
    const int systemError = Database ? sqlite3_system_errno(Database) : 0;
    if (systemError != 0 && ((code & 0xff) == SQLITE_FULL || (code & 0xff) == SQLITE_IOERR))
        detail += " (" + std::string(std::strerror(systemError)) + ")";
    return detail;
}

void TCatalogueConnection::Raise(int code, const std::string& sql) const
{
    const std::string detail = ErrorDetail(code);
    switch (code & 0xff) {
    case SQLITE_NOTADB: throw ECatalogueError("The catalogue file " + FilePath + " is not a database");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: throw ECatalogueError("The catalogue file " + FilePath + " is locked by another program");
    case SQLITE_CANTOPEN: throw ECatalogueError("Cannot open the catalogue file " + FilePath + " (" + detail + ")");
    case SQLITE_CORRUPT: throw ECatalogueError("The catalogue file " + FilePath + " is damaged (" + detail + ")");
    default: throw ECatalogueError("Catalogue error: " + detail + (sql.empty() ? "" : " in \"" + sql + "\""));
    }
}

void TCatalogueConnection::Run(const TTranslatedStatement& statement, TRecordSet& rows)
{
    rows.Close();
    if (!Database)
        throw ECatalogueError("The catalogue is not open");
    // 1. Compile exactly one statement: a second one can only be a mistake or an attack.
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int code = sqlite3_prepare_v2(Database, statement.Sql.c_str(), -1, &raw, &tail);
    TStatementHandle handle(raw, &sqlite3_finalize);
    if (code != SQLITE_OK)
        Raise(code, statement.Sql);
    if (!raw)
        throw ECatalogueError("Catalogue error: empty statement");
    if (!OnlySeparatorsIn(tail))
        throw ECatalogueError("Catalogue error: more than one statement in \"" + statement.Sql + "\"");
    // 2. Bind the texts; a parameter that no text fills is a malformed statement.
    if (sqlite3_bind_parameter_count(raw) != static_cast<int>(statement.Texts.size()))
        throw ECatalogueError("Catalogue error: parameters do not match the texts in \"" + statement.Sql + "\"");
    for (std::size_t i = 0; i < statement.Texts.size(); ++i) {
        const std::string& text = statement.Texts[i];
        sqlite3_bind_text(raw, static_cast<int>(i + 1), text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    // 3. Step to the end, collecting the rows.
    const int columnCount = sqlite3_column_count(raw);
    std::vector<TRecordSet::TRow> collected;
    while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
        TRecordSet::TRow row;
        row.reserve(static_cast<std::size_t>(columnCount));
        for (int column = 0; column < columnCount; ++column)
            row.push_back(ColumnText(raw, column));
        collected.push_back(std::move(row));
    }
    if (code != SQLITE_DONE) {
        NoteTransactionEndedByEngine(code);
        Raise(code, statement.Sql);
    }
    if (columnCount == 0)
        return;
    std::vector<std::string> columns;
    for (int column = 0; column < columnCount; ++column)
        columns.emplace_back(sqlite3_column_name(raw, column));
    rows.Open(std::move(columns), std::move(collected));
}

void TCatalogueConnection::Execute(const std::string& sql)
{
    TRecordSet ignored;
    Run({sql, {}}, ignored);
}

void TCatalogueConnection::WaitForTurn(std::unique_lock<std::mutex>& lock)
{
    const auto me = std::this_thread::get_id();
    TransactionEnded.wait(lock, [&] { return TransactionDepth == 0 || TransactionOwner == me; });
}

void TCatalogueConnection::RunStatement(const TTranslatedStatement& statement, TRecordSet& rows)
{
    std::unique_lock lock(CatalogueLock);
    WaitForTurn(lock);
    Run(statement, rows);
}

void TCatalogueConnection::NoteTransactionEndedByEngine(int code)
{
    // The first failure is the cause; the savepoints it took along fail after it.
    if (TransactionDepth == 0 || !sqlite3_get_autocommit(Database) || !UndoneBy.empty())
        return;
    UndoneBy = ErrorDetail(code);
}

void TCatalogueConnection::RaiseUndone() const
{
    throw ECatalogueError("Catalogue error: the changes were undone: " + UndoneBy);
}

void TCatalogueConnection::BeginTrans()
{
    std::unique_lock lock(CatalogueLock);
    WaitForTurn(lock);
    // Inside a transaction the engine undid, a new level would run on its own,
    // outside the work it belongs to.
    if (TransactionDepth > 0 && !UndoneBy.empty())
        RaiseUndone();
    Execute(TransactionDepth == 0 ? "begin" : "savepoint level" + std::to_string(TransactionDepth));
    TransactionOwner = std::this_thread::get_id();
    ++TransactionDepth;
}

void TCatalogueConnection::EndTransactionLevel()
{
    --TransactionDepth;
    if (TransactionDepth == 0) {
        UndoneBy.clear();
        TransactionOwner = std::thread::id();
        TransactionEnded.notify_all();
    }
}

void TCatalogueConnection::CommitTrans()
{
    std::lock_guard lock(CatalogueLock);
    if (TransactionDepth == 0 || TransactionOwner != std::this_thread::get_id())
        throw ECatalogueError("Catalogue error: no transaction to commit");
    // A level whose changes the engine undid cannot be committed: it must be
    // rolled back, level by level, as every caller does when a commit fails.
    if (!UndoneBy.empty())
        RaiseUndone();
    const int level = TransactionDepth - 1;
    Execute(level == 0 ? "commit" : "release level" + std::to_string(level));
    EndTransactionLevel();
}

void TCatalogueConnection::RollbackTrans()
{
    std::lock_guard lock(CatalogueLock);
    if (TransactionDepth == 0 || TransactionOwner != std::this_thread::get_id())
        throw ECatalogueError("Catalogue error: no transaction to roll back");
    const int level = TransactionDepth - 1;
    // After the engine undid the transaction there is nothing left to undo.
    if (UndoneBy.empty()) {
        try {
            if (level == 0) {
                Execute("rollback");
            } else {
                Execute("rollback to level" + std::to_string(level));
                Execute("release level" + std::to_string(level));
            }
        } catch (const ECatalogueError&) {
            // Nothing more can be undone; the level ends all the same.
        }
    }
    EndTransactionLevel();
}

}  // namespace tavrin
