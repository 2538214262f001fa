#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/database.h"

namespace pelantra {


// The sandbox clusters that scripts/test starts announce themselves through
// the environment:
//   PELANTRA_TEST_PGPORT        cluster that lets postgres in over TCP without a password
//   PELANTRA_TEST_PGPORT_SCRAM  cluster that asks for the password (scram-sha-256)
//   PELANTRA_TEST_PGSANDBOX     the first one's folder, for stopping and starting its server
// Without the ports a database test skips, except under CI, where it fails.
std::optional<std::string> SandboxPort();
std::optional<std::string> ScramSandboxPort();
std::optional<std::string> SandboxFolder();

// Stops ("halt") or starts again ("resume") the server of the sandbox in
// `folder`, keeping its data and port.
void SandboxServer(const std::string& folder, const char* command);

#define PELANTRA_REQUIRE(portExpr, port)                                                                               \
    const std::optional<std::string> port##Maybe = (portExpr);                                                         \
    if (!port##Maybe) {                                                                                                \
        if (RunningUnderCi())                                                                                          \
            FAIL() << "database sandbox not started (" #portExpr ")";                                                  \
        GTEST_SKIP() << "database sandbox not started; run scripts/test";                                              \
    }                                                                                                                  \
    const std::string port = *port##Maybe

// Declares `const std::string port` for the trust sandbox, or skips/fails.
#define PELANTRA_REQUIRE_DATABASE(port) PELANTRA_REQUIRE(SandboxPort(), port)
#define PELANTRA_REQUIRE_SCRAM_DATABASE(port) PELANTRA_REQUIRE(ScramSandboxPort(), port)

bool RunningUnderCi();

// The first value of the first row of `statement` on `session` as text, the
// empty text when there is no row; fails the test when the statement fails.
std::string Scalar(PostgreSQLSession& session, const std::string& statement,
                   const SqlParams& params = {});

// Runs psql against database `dbname` of the sandbox on `port` with
// ON_ERROR_STOP, feeding it `sql`. Returns psql's output; fails the test on a
// non-zero exit.
std::string RunPsql(const std::string& port, const std::string& dbname, const std::string& sql);

} // namespace pelantra
