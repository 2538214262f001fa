#pragma once

#include <libpq-fe.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* kDatabasePassword = "m4r1nd4l4y2011!";
// SQLSTATE of a value that is not valid text for its type, e.g. a malformed key.
inline constexpr const char* kInvalidTextRepresentation = "22P02";

// What the user is told when the database cannot be opened.
inline constexpr const char* kConnectionFailedMessage = "Gagal melakukan koneksi database";

// The program's connection string, by plain concatenation: the port is used
// exactly as it was read from the settings.
std::string ConnectionString(const std::string& port);

struct PGconnDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct PGresultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ConnectionHandle = std::unique_ptr<PGconn, PGconnDeleter>;
using ResultHandle = std::unique_ptr<PGresult, PGresultDeleter>;

// One connection. Any thread may use it, one at a time; each call into libpq
// is also serialised, so a mistake in that order cannot corrupt the connection.
class PostgreSQLSession {
public:
    PostgreSQLSession() = default;
    PostgreSQLSession(const PostgreSQLSession&) = delete;
    PostgreSQLSession& operator=(const PostgreSQLSession&) = delete;

    // Connects and sets the client encoding to UTF-8 unless the connection
    // reports SQL_ASCII. True when the session is ready for statements.
    bool Open(const char* connect);
    void Close();
    bool IsOpen() const;
    std::string ErrorText() const;

    // Runs one statement, with the values bound to $1, $2, ... as text.
    ResultHandle Run(const std::string& statement, const std::vector<std::string>& params);

private:
    mutable std::mutex mutex_;
    ConnectionHandle conn_;
    std::string error_;
};

// The process-wide default session for every Sql object made without one.
void SetDefaultSession(PostgreSQLSession* session);
PostgreSQLSession* DefaultSession();

// A statement object: execute, then fetch rows one at a time and read columns
// by position as text (SQL NULL reads as the empty text).
class Sql {
public:
    Sql();
    explicit Sql(PostgreSQLSession& session);

    // True when the statement ran and the server answered with the status
    // such a statement gives (rows for a query, completion for a command).
    bool Execute(const std::string& statement);
    bool Execute(const std::string& statement, const std::vector<std::string>& params);

    bool Fetch();
    std::string operator[](int column) const;
    int RowCount() const;
    std::string ErrorText() const { return error_; }
    // The SQLSTATE of the last failed statement; empty if none.
    std::string ErrorCode() const { return errorCode_; }

private:
    PostgreSQLSession* session_;
    ResultHandle result_;
    int row_ = -1;
    std::string error_;
    std::string errorCode_;
};
