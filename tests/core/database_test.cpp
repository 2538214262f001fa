#include "core/database.h"
#include "core/settings.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace pelantra {

namespace {

// A TCP port on 127.0.0.1 that nothing listens on right now.
std::string UnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t length = sizeof addr;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? std::to_string(ntohs(addr.sin_port)) : "1";
}

// The first column of the first row, or nullopt when the statement failed.
std::optional<std::string> QueryOne(Sql& sql, const std::string& statement, const SqlParams& params = {})
{
    const auto value = sql.QueryValue<std::string>(statement, params);
    return value.ok() ? value.value() : std::nullopt;
}

// Restores the process-wide default session when a test ends, however it ends.
struct DefaultSessionGuard {
    ~DefaultSessionGuard() { SetDefaultSession(nullptr); }
};

// Sets or clears one environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(Database, OpenSucceedsAndFails)
{
    PELANTRA_REQUIRE_DATABASE(port);

    PostgreSQLSession session;
    EXPECT_FALSE(session.IsOpen());
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    EXPECT_TRUE(session.IsOpen());
    EXPECT_EQ(session.ErrorText(), "");
    Sql sql(session);
    EXPECT_EQ(QueryOne(sql, "SELECT current_database() || '/' || current_user"), "pendataan/postgres");

    // Blanks after the port are harmless to the client library; more
    // settings after it are only a port value that is no number.
    PostgreSQLSession blanks;
    EXPECT_TRUE(blanks.OpenOnPort(port + "  ")) << blanks.ErrorText();
    PostgreSQLSession steered;
    EXPECT_FALSE(steered.OpenOnPort(port + " hostaddr=127.0.0.2 password=x"));
    EXPECT_NE(steered.ErrorText().find("invalid integer value"), std::string::npos) << steered.ErrorText();

    // Nobody listening: false, with the library's reason kept, and the same
    // object can still be opened afterwards.
    PostgreSQLSession refused;
    EXPECT_FALSE(refused.OpenOnPort(UnusedPort()));
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_NE(refused.ErrorText(), "");
    Sql onRefused(refused);
    EXPECT_FALSE(onRefused.Query("SELECT 1"));
    EXPECT_NE(onRefused.ErrorText(), "");
    EXPECT_TRUE(refused.OpenOnPort(port)) << refused.ErrorText();
    EXPECT_EQ(refused.ErrorText(), "");

    // Closing ends the connection; statements then fail instead of crashing.
    session.Close();
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(sql.Query("SELECT 1"));
    EXPECT_FALSE(sql.Fetch());
}

TEST(Database, WrongPasswordIsRefused)
{
    PELANTRA_REQUIRE_SCRAM_DATABASE(port);

    PostgreSQLSession right;
    ASSERT_TRUE(right.OpenOnPort(port)) << right.ErrorText();

    PostgreSQLSession wrong;
    const std::string connect =
        "hostaddr=127.0.0.1 port=" + port + " dbname=pendataan user=postgres password=m4r1nd4l4y2012!";
    EXPECT_FALSE(wrong.Open(connect.c_str()));
    EXPECT_FALSE(wrong.IsOpen());
    EXPECT_NE(wrong.ErrorText().find("password"), std::string::npos) << wrong.ErrorText();
}

TEST(Database, ClientEncodingAfterOpen)
{
    PELANTRA_REQUIRE_DATABASE(port);

    {
        // Even when the environment asks for another client encoding the
        // session talks UTF-8.
        ScopedEnv latin1("PGCLIENTENCODING", "LATIN1");
        PostgreSQLSession session;
        ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
        Sql sql(session);
        EXPECT_EQ(QueryOne(sql, "SHOW client_encoding"), "UTF8");
    }

    // A SQL_ASCII database is left as it is.
    RunPsql(port, "postgres",
            "DROP DATABASE IF EXISTS pelantra_ascii;"
            "CREATE DATABASE pelantra_ascii ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0;");
    {
        ScopedEnv none("PGCLIENTENCODING", nullptr);
        PostgreSQLSession session;
        const std::string connect =
            "hostaddr=127.0.0.1 port=" + port + " dbname=pelantra_ascii user=postgres password=" + kDatabasePassword;
        ASSERT_TRUE(session.Open(connect.c_str())) << session.ErrorText();
        Sql sql(session);
        EXPECT_EQ(QueryOne(sql, "SHOW client_encoding"), "SQL_ASCII");
    }
    RunPsql(port, "postgres", "DROP DATABASE pelantra_ascii;");
}

TEST(Database, ReadingValues)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    Sql sql(session);

    EXPECT_FALSE(sql.Fetch()) << "nothing to fetch before a statement ran";

    ASSERT_TRUE(sql.Query("SELECT NULL::text, '', 'x', NULL::integer, 0"));
    ASSERT_TRUE(sql.Fetch());
    EXPECT_EQ(sql[0], "");
    EXPECT_EQ(sql[1], "");
    EXPECT_EQ(sql[2], "x");
    EXPECT_EQ(sql[3], "");
    EXPECT_EQ(sql[4], "0");
    EXPECT_EQ(sql[5], "") << "a column past the end";
    EXPECT_EQ(sql[-1], "");
    // Typed, NULL is no value, and the empty text still one.
    EXPECT_EQ(sql.Value<std::string>(0), std::nullopt);
    EXPECT_EQ(sql.Value<std::string>(1), "");
    EXPECT_EQ(sql.Value<std::uint64_t>(3), std::nullopt);
    EXPECT_EQ(sql.Value<std::uint64_t>(4), 0u);
    EXPECT_EQ(sql.Value<std::uint64_t>(2), std::nullopt) << "text that is no number";
    EXPECT_FALSE(sql.Fetch());

    ASSERT_TRUE(sql.Query("SELECT g, 'r' || g FROM generate_series(1, 3) AS g ORDER BY g"));
    std::string seen;
    while (sql.Fetch())
        seen += sql[0] + "=" + sql[1] + ";";
    EXPECT_EQ(seen, "1=r1;2=r2;3=r3;");

    // Non-ASCII text arrives at the server as characters and comes back as
    // the same bytes.
    const std::string name = "\xC5\x9A"
                             "ar\xC4\xAB"
                             "fah M\xC3\xBC"
                             "ller";
    ASSERT_TRUE(sql.Execute("CREATE TEMP TABLE siswa (nama text)"));
    ASSERT_TRUE(sql.Execute("INSERT INTO siswa VALUES ($1)", {name})) << sql.ErrorText();
    EXPECT_EQ(QueryOne(sql, "SELECT nama FROM siswa"), name);
    EXPECT_EQ(QueryOne(sql, "SELECT char_length(nama) FROM siswa"), "14");
    EXPECT_EQ(QueryOne(sql, "SELECT 'Ng\xE1\xBB\x8D"
                            "c \xC4\x90\xE1\xBB\xA9"
                            "c'"),
              "Ng\xE1\xBB\x8D"
              "c \xC4\x90\xE1\xBB\xA9"
              "c");
}

TEST(Database, ParametersStayData)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    Sql sql(session);

    ASSERT_TRUE(sql.Execute("CREATE TEMP TABLE x (nama text, catatan text)"));
    const std::string hostile = "'); DROP TABLE x; --";
    const std::string quotes = "O'Brien \\ \"a\"\tb\nc";
    ASSERT_TRUE(sql.Execute("INSERT INTO x VALUES ($1, $2)", {hostile, quotes})) << sql.ErrorText();

    EXPECT_EQ(QueryOne(sql, "SELECT count(*) FROM x WHERE nama = $1", {hostile}), "1");
    ASSERT_TRUE(sql.Query("SELECT nama, catatan FROM x"));
    ASSERT_TRUE(sql.Fetch());
    EXPECT_EQ(sql[0], hostile);
    EXPECT_EQ(sql[1], quotes);
    EXPECT_EQ(QueryOne(sql, "SELECT to_regclass('pg_temp.x') IS NOT NULL"), "t");

    // A parameter never opens a second statement, and a wrong count of
    // parameters is an error, not a silent success.
    EXPECT_EQ(QueryOne(sql, "SELECT $1::text", {"1; DROP TABLE x"}), "1; DROP TABLE x");
    EXPECT_FALSE(sql.Query("SELECT $1::text, $2::text", {"only one"}));
    EXPECT_EQ(QueryOne(sql, "SELECT count(*) FROM x"), "1");
}

TEST(Database, FailedStatementLeavesSessionUsable)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    Sql sql(session);

    ASSERT_TRUE(sql.Query("SELECT 'before'"));
    EXPECT_FALSE(sql.Query("SELECT * FROM tabel_yang_tidak_ada"));
    EXPECT_NE(sql.ErrorText().find("tabel_yang_tidak_ada"), std::string::npos) << sql.ErrorText();
    // The rows of the statement before are gone with the failure.
    EXPECT_FALSE(sql.Fetch());
    EXPECT_EQ(sql[0], "");

    EXPECT_FALSE(sql.Query("SELEKT 1"));
    EXPECT_NE(sql.ErrorText(), "");

    EXPECT_EQ(QueryOne(sql, "SELECT 'after'"), "after");
    EXPECT_EQ(sql.ErrorText(), "");
    Sql other(session);
    EXPECT_EQ(QueryOne(other, "SELECT 2"), "2");
    EXPECT_TRUE(session.IsOpen());
}

// A wait that turns an event loop may run handlers that use the session:
// they fail at once, and the statement under way goes on undisturbed.
TEST(Database, StatementsThatComeWhileOneWaitsAreRefused)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    int refused = 0;
    {
        const ServerWaitScope waiting(session, [&] {
            Sql meanwhile(session);
            refused += !meanwhile.Query("SELECT 1");
            session.Close();
            return false;
        });
        Sql sql(session);
        EXPECT_EQ(QueryOne(sql, "SELECT pg_sleep(0.3)::text || 'done'"), "done");
    }
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(session.IsOpen());
    Sql after(session);
    EXPECT_EQ(QueryOne(after, "SELECT 'after'"), "after");
}

TEST(Database, DefaultSessionServesEveryThread)
{
    PELANTRA_REQUIRE_DATABASE(port);
    DefaultSessionGuard guard;
    SetDefaultSession(nullptr);

    Sql none;
    EXPECT_FALSE(none.Query("SELECT 1"));
    EXPECT_NE(none.ErrorText(), "");

    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    SetDefaultSession(&session);
    EXPECT_EQ(DefaultSession(), &session);

    Sql named(session);
    const std::optional<std::string> pid = QueryOne(named, "SELECT pg_backend_pid()");
    ASSERT_TRUE(pid);
    Sql byDefault;
    EXPECT_EQ(QueryOne(byDefault, "SELECT pg_backend_pid()"), pid);

    // The default is the process's, not the installing thread's.
    std::optional<std::string> fromThread;
    std::thread([&] {
        Sql inThread;
        fromThread = QueryOne(inThread, "SELECT pg_backend_pid()");
    }).join();
    EXPECT_EQ(fromThread, pid);
}

TEST(Database, SessionHandedToAnotherThread)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    Sql sql(session);
    ASSERT_TRUE(sql.Execute("CREATE TEMP TABLE status (teks text)"));

    bool inserted = false;
    std::optional<std::string> read;
    std::thread worker([&] {
        Sql own(session);
        inserted = own.Execute("INSERT INTO status VALUES ($1)", {"menulis"});
        read = QueryOne(own, "SELECT count(*) FROM status");
    });
    worker.join();
    EXPECT_TRUE(inserted);
    EXPECT_EQ(read, "1");

    // Back on this thread the same connection sees the worker's row.
    EXPECT_EQ(QueryOne(sql, "SELECT teks FROM status"), "menulis");
}

TEST(Database, StatementsMustGiveTheStatusTheyAreRunFor)
{
    PELANTRA_REQUIRE_DATABASE(port);
    PostgreSQLSession session;
    ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
    Sql sql(session);

    // Rows where none were expected, and the other way round, are failures.
    EXPECT_FALSE(sql.Execute("SELECT 1"));
    EXPECT_FALSE(sql.Query("CREATE TEMP TABLE other (x int)"));
    EXPECT_FALSE(sql.Execute(""));
    EXPECT_TRUE(sql.Execute("CREATE TEMP TABLE t (x int)")) << sql.ErrorText();

    // A transaction is rolled back unless committed, and a COMMIT that the
    // server answers with a rollback is no commit.
    {
        Transaction left(session);
        ASSERT_TRUE(left.Begun()) << left.ErrorText();
        ASSERT_TRUE(left.Execute("INSERT INTO t VALUES (1)"));
    }
    EXPECT_EQ(QueryOne(sql, "SELECT count(*) FROM t"), "0");
    {
        Transaction failed(session, IsolationLevel::RepeatableRead);
        ASSERT_TRUE(failed.Execute("INSERT INTO t VALUES (2)"));
        EXPECT_FALSE(failed.Execute("INSERT INTO t VALUES ('not a number')"));
        EXPECT_TRUE(failed.Failed(SqlState::InvalidTextRepresentation)) << failed.ErrorText();
        EXPECT_FALSE(failed.Commit());
        EXPECT_NE(failed.ErrorText(), "");
    }
    {
        Transaction committed(session);
        ASSERT_TRUE(committed.Execute("INSERT INTO t VALUES (3)"));
        EXPECT_TRUE(committed.Commit()) << committed.ErrorText();
    }
    EXPECT_EQ(QueryOne(sql, "SELECT string_agg(x::text, ',') FROM t"), "3");
}

} // namespace pelantra
