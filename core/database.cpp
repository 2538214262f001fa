#include "core/database.h"

#include <libpq-fe.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string_view>

#include "core/messages.h"
#include "core/platform.h"
#include "core/settings.h"

namespace pelantra {
namespace {

std::atomic<PostgreSQLSession*> defaultSession{nullptr};

// Decimal digits that make an unsigned 64-bit number, nothing else.
std::optional<std::uint64_t> UnsignedNumber(std::string_view text)
{
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

// How long a wait for the server lasts before the session's ServerWait is asked again.
constexpr std::chrono::milliseconds kWaitSlice{100};

std::string TrimmedMessage(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

void ConnectionDeleter::operator()(pg_conn* conn) const
{
    PQfinish(conn);
}

void ResultDeleter::operator()(pg_result* result) const
{
    PQclear(result);
}

bool PostgreSQLSession::Open(const char* connect)
{
    std::lock_guard lock(mutex_);
    if (inFlight_)
        return false;
    connect_ = [text = std::string(connect)] { return PQconnectdb(text.c_str()); };
    port_.clear();
    conn_.reset(connect_());
    return Prepare();
}

bool PostgreSQLSession::OpenOnPort(const std::string& port)
{
    std::lock_guard lock(mutex_);
    if (inFlight_)
        return false;
    connect_ = [port] {
        const char* const keywords[] = {"hostaddr", "port", "dbname", "user", "password", "application_name", nullptr};
        const char* const values[] = {"127.0.0.1",       port.c_str(), kDatabaseName, kDatabaseUser,
                                      kDatabasePassword, kProgramName, nullptr};
        return PQconnectdbParams(keywords, values, 0);
    };
    port_ = port;
    conn_.reset(connect_());
    return Prepare();
}

bool PostgreSQLSession::Revive()
{
    std::lock_guard lock(mutex_);
    if (inFlight_)
        return false;
    if (!connect_)
        return false;
    if (conn_) {
        // A broken connection shows only when it is used.
        ResultHandle ping(PQexec(conn_.get(), "SELECT 1"));
        if (PQstatus(conn_.get()) == CONNECTION_OK && PQresultStatus(ping.get()) == PGRES_TUPLES_OK)
            return true;
    }
    conn_.reset(connect_());
    return Prepare();
}

// After a connection attempt, with the mutex held.
bool PostgreSQLSession::Prepare()
{
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) {
        error_ = conn_ ? TrimmedMessage(PQerrorMessage(conn_.get())) : "out of memory";
        conn_.reset();
        return false;
    }
    const char* encoding = pg_encoding_to_char(PQclientEncoding(conn_.get()));
    if (std::strcmp(encoding, "SQL_ASCII") != 0 && PQsetClientEncoding(conn_.get(), "UTF8") != 0) {
        error_ = TrimmedMessage(PQerrorMessage(conn_.get()));
        conn_.reset();
        return false;
    }
    serverVersion_ = PQserverVersion(conn_.get());
    const char* serverEncoding = PQparameterStatus(conn_.get(), "server_encoding");
    serverEncoding_ = serverEncoding ? serverEncoding : "";
    // Server notices ("drop cascades to ...") are of no interest to the user.
    PQsetNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);
    error_.clear();
    return true;
}

void PostgreSQLSession::Close()
{
    std::lock_guard lock(mutex_);
    if (inFlight_)
        return; // the statement under way still needs it
    conn_.reset();
}

bool PostgreSQLSession::IsOpen() const
{
    std::lock_guard lock(mutex_);
    return conn_ != nullptr;
}

bool PostgreSQLSession::Connected() const
{
    std::lock_guard lock(mutex_);
    return conn_ && PQstatus(conn_.get()) == CONNECTION_OK;
}

std::string PostgreSQLSession::ErrorText() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

std::string PostgreSQLSession::Port() const
{
    std::lock_guard lock(mutex_);
    return port_;
}

int PostgreSQLSession::ServerVersion() const
{
    std::lock_guard lock(mutex_);
    return conn_ ? serverVersion_ : 0;
}

std::string PostgreSQLSession::ServerEncoding() const
{
    std::lock_guard lock(mutex_);
    return conn_ ? serverEncoding_ : std::string();
}

ResultHandle PostgreSQLSession::Run(const std::string& statement, const SqlParams& params)
{
    std::unique_lock lock(mutex_);
    if (!Usable())
        return nullptr;
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    if (!wait_) {
        ResultHandle result(PQexecParams(conn_.get(), statement.c_str(), static_cast<int>(values.size()), nullptr,
                                         values.data(), nullptr, nullptr, 0));
        error_ =
            result ? TrimmedMessage(PQresultErrorMessage(result.get())) : TrimmedMessage(PQerrorMessage(conn_.get()));
        return result;
    }
    return Await(lock, PQsendQueryParams(conn_.get(), statement.c_str(), static_cast<int>(values.size()), nullptr,
                                         values.data(), nullptr, nullptr, 0) == 1);
}

ResultHandle PostgreSQLSession::RunScript(const std::string& statements)
{
    std::unique_lock lock(mutex_);
    if (!Usable())
        return nullptr;
    if (wait_)
        return Await(lock, PQsendQuery(conn_.get(), statements.c_str()) == 1);
    ResultHandle result(PQexec(conn_.get(), statements.c_str()));
    error_ = result ? TrimmedMessage(PQresultErrorMessage(result.get())) : TrimmedMessage(PQerrorMessage(conn_.get()));
    return result;
}

void PostgreSQLSession::SetWait(ServerWait wait)
{
    std::lock_guard lock(mutex_);
    wait_ = std::move(wait);
}

bool PostgreSQLSession::Usable()
{
    if (inFlight_) {
        error_ = "the session is waiting for another statement";
        return false;
    }
    if (!conn_) {
        error_ = "no connection";
        return false;
    }
    return true;
}

ResultHandle PostgreSQLSession::Await(std::unique_lock<std::mutex>& lock, bool sent)
{
    if (!sent) {
        error_ = TrimmedMessage(PQerrorMessage(conn_.get()));
        return nullptr;
    }
    // The wait runs without the mutex, so that it may turn an event loop
    // whose handlers use the session: they find it waiting and fail at once.
    inFlight_ = true;
    const ServerWait wait = wait_;
    const auto waited = [&] {
        lock.unlock();
        const bool stop = wait();
        lock.lock();
        return stop;
    };
    struct Landed {
        bool& inFlight;
        ~Landed() { inFlight = false; }
    } landed{inFlight_};
    // As PQexec does: the last result, or the first failure, after which the
    // server runs nothing more of what was sent.
    ResultHandle kept;
    bool cancelled = false;
    for (;;) {
        while (PQisBusy(conn_.get())) {
            if (!WaitForInput(PQsocket(conn_.get()), kWaitSlice) && waited() && !cancelled) {
                cancelled = true;
                if (PGcancel* cancel = PQgetCancel(conn_.get())) {
                    char reason[256];
                    PQcancel(cancel, reason, sizeof reason);
                    PQfreeCancel(cancel);
                }
            }
            if (!PQconsumeInput(conn_.get())) {
                error_ = TrimmedMessage(PQerrorMessage(conn_.get()));
                return nullptr;
            }
        }
        ResultHandle next(PQgetResult(conn_.get()));
        if (!next)
            break;
        if (!kept || PQresultStatus(kept.get()) != PGRES_FATAL_ERROR)
            kept = std::move(next);
    }
    error_ = kept ? TrimmedMessage(PQresultErrorMessage(kept.get())) : TrimmedMessage(PQerrorMessage(conn_.get()));
    return kept;
}

ServerWaitScope::ServerWaitScope(PostgreSQLSession& session, PostgreSQLSession::ServerWait wait) : session_(session)
{
    session_.SetWait(std::move(wait));
}

ServerWaitScope::~ServerWaitScope()
{
    session_.SetWait({});
}

Status OpenDatabase(PostgreSQLSession& session)
{
    const Result<std::string> port = ConfiguredPort();
    if (!port.ok())
        return port.failure();
    if (session.OpenOnPort(port.value()))
        return {};
    return Failure{kConnectionFailedMessage, "127.0.0.1 port " + port.value() + ": " + session.ErrorText()};
}

Status Reconnect(PostgreSQLSession& session)
{
    const Result<std::string> port = ConfiguredPort();
    if (!port.ok())
        return port.failure();
    // A server that moved to another port is followed there.
    if (port.value() == session.Port() ? session.Revive() : session.OpenOnPort(port.value()))
        return {};
    return Failure{kServerUnreachable, "127.0.0.1 port " + port.value() + ": " + session.ErrorText(),
                   FailureKind::ServerUnreachable};
}

void SetDefaultSession(PostgreSQLSession* session)
{
    defaultSession.store(session);
}

PostgreSQLSession* DefaultSession()
{
    return defaultSession.load();
}

Sql::Sql() : session_(DefaultSession()) { }

Sql::Sql(PostgreSQLSession& session) : session_(&session) { }

bool Sql::Query(const std::string& statement, const SqlParams& params)
{
    return Run(statement, params, true);
}

bool Sql::Execute(const std::string& statement, const SqlParams& params)
{
    return Run(statement, params, false);
}

bool Sql::ExecuteScript(const std::string& statements)
{
    if (!Reset())
        return false;
    result_ = session_->RunScript(statements);
    return Check(false);
}

bool Sql::Run(const std::string& statement, const SqlParams& params, bool rowsExpected)
{
    if (!Reset())
        return false;
    result_ = session_->Run(statement, params);
    return Check(rowsExpected);
}

bool Sql::Reset()
{
    row_ = -1;
    result_.reset();
    errorCode_.clear();
    if (session_)
        return true;
    error_ = "no database session";
    return false;
}

bool Sql::Check(bool rowsExpected)
{
    const ExecStatusType status = result_ ? PQresultStatus(result_.get()) : PGRES_FATAL_ERROR;
    if (status == (rowsExpected ? PGRES_TUPLES_OK : PGRES_COMMAND_OK)) {
        error_.clear();
        return true;
    }
    if (result_) {
        const char* code = PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE);
        errorCode_ = code ? code : "";
        error_ = TrimmedMessage(PQresultErrorMessage(result_.get()));
    } else {
        error_ = session_->ErrorText();
    }
    if (error_.empty())
        error_ = std::string("unexpected result: ") + PQresStatus(status);
    result_.reset();
    return false;
}

bool Sql::Fetch()
{
    if (!result_ || row_ + 1 >= PQntuples(result_.get()))
        return false;
    ++row_;
    return true;
}

std::string Sql::operator[](int column) const
{
    if (!result_ || row_ < 0 || column < 0 || column >= PQnfields(result_.get()))
        return {};
    if (PQgetisnull(result_.get(), row_, column))
        return {};
    return std::string(PQgetvalue(result_.get(), row_, column), PQgetlength(result_.get(), row_, column));
}

template <> std::optional<std::string> Sql::Value<std::string>(int column) const
{
    if (!result_ || row_ < 0 || column < 0 || column >= PQnfields(result_.get()) ||
        PQgetisnull(result_.get(), row_, column))
        return std::nullopt;
    return (*this)[column];
}

template <> std::optional<bool> Sql::Value<bool>(int column) const
{
    const std::optional<std::string> text = Value<std::string>(column);
    if (text == "t")
        return true;
    if (text == "f")
        return false;
    return std::nullopt;
}

template <> std::optional<std::uint64_t> Sql::Value<std::uint64_t>(int column) const
{
    const std::optional<std::string> text = Value<std::string>(column);
    return text ? UnsignedNumber(*text) : std::nullopt;
}

template <typename T> Result<std::optional<T>> Sql::QueryValue(const std::string& statement, const SqlParams& params)
{
    if (!Query(statement, params))
        return Failure{{}, error_};
    if (!Fetch())
        return std::optional<T>();
    return Value<T>(0);
}

template Result<std::optional<std::string>> Sql::QueryValue(const std::string&, const SqlParams&);
template Result<std::optional<bool>> Sql::QueryValue(const std::string&, const SqlParams&);
template Result<std::optional<std::uint64_t>> Sql::QueryValue(const std::string&, const SqlParams&);

bool Sql::Failed(SqlState state) const
{
    switch (state) {
    case SqlState::InvalidTextRepresentation:
        return errorCode_ == "22P02";
    case SqlState::LockNotAvailable:
        return errorCode_ == "55P03";
    case SqlState::DependentObjectsStillExist:
        return errorCode_ == "2BP01";
    case SqlState::QueryCanceled:
        return errorCode_ == "57014";
    }
    return false;
}

std::string Sql::CommandStatus() const
{
    return result_ ? PQcmdStatus(result_.get()) : "";
}

std::optional<std::uint64_t> Sql::RowsAffected() const
{
    return result_ ? UnsignedNumber(PQcmdTuples(result_.get())) : std::nullopt;
}

Transaction::Transaction(PostgreSQLSession& session, IsolationLevel level) : Sql(session)
{
    open_ = Execute(level == IsolationLevel::RepeatableRead ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN");
}

Transaction::~Transaction()
{
    if (open_)
        Execute("ROLLBACK");
}

bool Transaction::Commit()
{
    if (!open_)
        return false;
    open_ = false;
    if (!Execute("COMMIT"))
        return false;
    if (CommandStatus() != "COMMIT") {
        SetErrorText("the transaction was rolled back (" + CommandStatus() + ")");
        return false;
    }
    return true;
}

} // namespace pelantra
