#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/result.h"

// libpq's connection and result; only database.cpp sees their insides.
struct pg_conn;
struct pg_result;

namespace pelantra {

// The school-data database and the user the program reaches it as.
inline constexpr const char* kDatabaseName = "pendataan";
inline constexpr const char* kDatabaseUser = "postgres";
inline constexpr const char* kDatabasePassword = "m4r1nd4l4y2011!";

// Values bound to $1, $2, ... as text; an empty one is SQL NULL.
using SqlParams = std::vector<std::optional<std::string>>;

struct ConnectionDeleter {
    void operator()(pg_conn* conn) const;
};
struct ResultDeleter {
    void operator()(pg_result* result) const;
};
using ConnectionHandle = std::unique_ptr<pg_conn, ConnectionDeleter>;
using ResultHandle = std::unique_ptr<pg_result, ResultDeleter>;

// One connection. Any thread may use it, one at a time; each call into libpq
// is also serialised, so a mistake in that order cannot corrupt the connection.
class PostgreSQLSession {
public:
    PostgreSQLSession() = default;
    PostgreSQLSession(const PostgreSQLSession&) = delete;
    PostgreSQLSession& operator=(const PostgreSQLSession&) = delete;

    // Connects with a libpq connection string and sets the client encoding
    // to UTF-8 unless the connection reports SQL_ASCII. True when the
    // session is ready for statements.
    bool Open(const char* connect);
    // The program's own database: pendataan on 127.0.0.1 at `port`, as
    // postgres, named "Pelantra" for the server's list of connections. The
    // port goes to libpq as a value of its own, so no text in it can add or
    // change another connection setting.
    bool OpenOnPort(const std::string& port);
    // A session whose connection broke (the server restarted, the
    // connection was ended) or never came back is connected afresh, as it
    // was opened, however often that failed before; true when it is usable.
    bool Revive();
    void Close();
    bool IsOpen() const;
    // Open, and its connection not known to be broken.
    bool Connected() const;
    std::string ErrorText() const;
    // The port the session was opened on (empty when opened otherwise).
    std::string Port() const;
    // What the server told at connection time: its version as a number
    // (90200 for 9.2, 150004 for 15.4; 0 when not connected) and its
    // encoding ("UTF8", "LATIN1", "SQL_ASCII", ...).
    int ServerVersion() const;
    std::string ServerEncoding() const;

    // While a statement runs, `wait` is called on the waiting thread about
    // every tenth of a second; once it returns true the server is asked to
    // cancel the statement, which then fails with SqlState::QueryCanceled.
    // Whatever uses the session meanwhile (a handler of an event loop that
    // `wait` turns, another thread) fails at once and changes nothing.
    // Empty: statements are simply waited for.
    using ServerWait = std::function<bool()>;
    void SetWait(ServerWait wait);

    // Runs one statement, with the values bound to $1, $2, ....
    ResultHandle Run(const std::string& statement, const SqlParams& params);
    // Runs statements separated by ';', without parameters; the result is
    // the last statement's, or the first failure's.
    ResultHandle RunScript(const std::string& statements);

private:
    bool Prepare();
    // Whether a statement may go now; says why not in error_. With the mutex held.
    bool Usable();
    // The result of what was just sent, waited for as SetWait says; with the
    // mutex held through `lock`, which the wait gives up while it runs.
    ResultHandle Await(std::unique_lock<std::mutex>& lock, bool sent);

    mutable std::mutex mutex_;
    ServerWait wait_;
    // A statement was sent and its result is not yet in; while so, nothing
    // else may use or replace the connection.
    bool inFlight_ = false;
    std::function<pg_conn*()> connect_;
    std::string port_;
    ConnectionHandle conn_;
    std::string error_;
    int serverVersion_ = 0;
    std::string serverEncoding_;
};

// A ServerWait for the life of the object.
class ServerWaitScope {
public:
    ServerWaitScope(PostgreSQLSession& session, PostgreSQLSession::ServerWait wait);
    ~ServerWaitScope();
    ServerWaitScope(const ServerWaitScope&) = delete;
    ServerWaitScope& operator=(const ServerWaitScope&) = delete;

private:
    PostgreSQLSession& session_;
};

// Opens `session` with the port of "setting.ini" in the current directory
// (ConfiguredPort). The failure's reason is the connection failure message;
// its detail says why: no settings file, no port in it, or what the server
// answered.
Status OpenDatabase(PostgreSQLSession& session);
// A session ready for work on the port that setting.ini names now: its
// connection as it is when it still works and the port is the same, else
// connected afresh. Fails as OpenDatabase does without a port, else with
// the server's answer and the port.
Status Reconnect(PostgreSQLSession& session);

// The process-wide default session for every Sql object made without one.
void SetDefaultSession(PostgreSQLSession* session);
PostgreSQLSession* DefaultSession();

// The SQLSTATEs the program acts on.
enum class SqlState {
    InvalidTextRepresentation, // 22P02: a value that is not valid text for its type, e.g. a malformed key
    LockNotAvailable, // 55P03: a lock wait ran past lock_timeout
    DependentObjectsStillExist, // 2BP01: something outside depends on what was to be dropped
    QueryCanceled, // 57014: cancelled on request or by statement_timeout
};

// A statement object: run a statement, then fetch rows one at a time and
// read columns by position, as text (SQL NULL reads as the empty text) or
// typed (NULL reads as an empty optional).
class Sql {
public:
    Sql();
    explicit Sql(PostgreSQLSession& session);

    // A statement that returns rows: true when the server sent rows.
    bool Query(const std::string& statement, const SqlParams& params = {});
    // A statement that returns none: true when the server reported it done.
    bool Execute(const std::string& statement, const SqlParams& params = {});
    // Several such statements in one round trip: true when all were done.
    bool ExecuteScript(const std::string& statements);
    // The first column of the first row of a query: the value, an empty
    // optional for NULL or no row, or the failure with the server's message.
    // T is std::string, bool or std::uint64_t.
    template <typename T>
    Result<std::optional<T>> QueryValue(const std::string& statement, const SqlParams& params = {});

    bool Fetch();
    std::string operator[](int column) const;
    // A column of the fetched row as T (see QueryValue); empty for NULL, or
    // for text that is no T.
    template <typename T> std::optional<T> Value(int column) const;
    // The server's completion tag of the last statement, e.g. "COMMIT".
    std::string CommandStatus() const;
    // The rows the last INSERT, UPDATE or DELETE wrote; empty for others.
    std::optional<std::uint64_t> RowsAffected() const;
    std::string ErrorText() const { return error_; }
    // Whether the last statement failed with `state`.
    bool Failed(SqlState state) const;

protected:
    void SetErrorText(std::string text) { error_ = std::move(text); }

private:
    bool Run(const std::string& statement, const SqlParams& params, bool rowsExpected);
    // Forgets the last statement; false without a session.
    bool Reset();
    bool Check(bool rowsExpected);

    PostgreSQLSession* session_;
    ResultHandle result_;
    int row_ = -1;
    std::string error_;
    std::string errorCode_;
};

template <> std::optional<std::string> Sql::Value<std::string>(int column) const;
template <> std::optional<bool> Sql::Value<bool>(int column) const;
template <> std::optional<std::uint64_t> Sql::Value<std::uint64_t>(int column) const;
extern template Result<std::optional<std::string>> Sql::QueryValue(const std::string&, const SqlParams&);
extern template Result<std::optional<bool>> Sql::QueryValue(const std::string&, const SqlParams&);
extern template Result<std::optional<std::uint64_t>> Sql::QueryValue(const std::string&, const SqlParams&);

enum class IsolationLevel { ReadCommitted, RepeatableRead };

// A transaction on a session whose statements run through it; rolled back
// when the object goes unless it was committed.
class Transaction final : public Sql {
public:
    // Opens the transaction; see Begun() and ErrorText().
    explicit Transaction(PostgreSQLSession& session, IsolationLevel level = IsolationLevel::ReadCommitted);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Begun() const { return open_; }
    // True only when the server committed; a transaction that had failed
    // answers COMMIT with a rollback.
    bool Commit();

private:
    bool open_ = false;
};

} // namespace pelantra
