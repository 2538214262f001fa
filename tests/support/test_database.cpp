#include "support/test_database.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <cstdlib>

#include "core/database.h"

namespace pelantra {
namespace {

std::optional<std::string> FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

} // namespace

std::optional<std::string> SandboxPort()
{
    return FromEnvironment("PELANTRA_TEST_PGPORT");
}

std::optional<std::string> ScramSandboxPort()
{
    return FromEnvironment("PELANTRA_TEST_PGPORT_SCRAM");
}

std::optional<std::string> SandboxFolder()
{
    return FromEnvironment("PELANTRA_TEST_PGSANDBOX");
}

void SandboxServer(const std::string& folder, const char* command)
{
    QProcess sandbox;
    sandbox.setProcessChannelMode(QProcess::MergedChannels);
    sandbox.start("bash", {PELANTRA_SOURCE_DIR "/scripts/pg-sandbox", command, QString::fromStdString(folder)});
    sandbox.waitForFinished(-1);
    EXPECT_TRUE(sandbox.exitStatus() == QProcess::NormalExit && sandbox.exitCode() == 0)
        << "pg-sandbox " << command << " failed:\n"
        << sandbox.readAll().toStdString();
}

bool RunningUnderCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

std::string Scalar(PostgreSQLSession& session, const std::string& statement, const SqlParams& params)
{
    Sql sql(session);
    const auto value = sql.QueryValue<std::string>(statement, params);
    EXPECT_TRUE(value.ok()) << statement << "\n" << sql.ErrorText();
    return value.ok() ? value.value().value_or(std::string()) : std::string();
}

std::string RunPsql(const std::string& port, const std::string& dbname, const std::string& sql)
{
    QProcess psql;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PGPASSWORD", kDatabasePassword);
    psql.setProcessEnvironment(env);
    psql.setProcessChannelMode(QProcess::MergedChannels);
    psql.start("psql", {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                        QString::fromStdString(port), "-U", "postgres", "-d", QString::fromStdString(dbname)});
    psql.write(sql.data(), static_cast<qint64>(sql.size()));
    psql.closeWriteChannel();
    psql.waitForFinished(-1);
    const std::string output = psql.readAll().toStdString();
    EXPECT_TRUE(psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0) << "psql failed:\n" << output;
    return output;
}

} // namespace pelantra
