// What the archive grammar accepts, restored for real with psql on servers
// that read backslashes both ways: each server must receive exactly the
// INSERTs the grammar parsed, with the values it parsed, and nothing else.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_grammar.h"
#include "archive/staged_tables.h"
#include "support/files.h"
#include "support/test_database.h"

namespace pelantra {
namespace {

namespace fs = std::filesystem;

constexpr int kAcceptedWanted = 300;
constexpr int kMostTries = 6000;
constexpr unsigned kSeed = 20261210;

struct Parsed {
    Status status;
    DumpFacts facts;
    std::vector<std::string> statements;
    struct Row {
        std::string table;
        std::vector<std::string> columns;
        std::vector<ArchiveRow::Value::Kind> kinds;
        std::vector<std::string> texts;
    };
    std::vector<Row> rows;
};

Parsed Parse(const std::string& text)
{
    Parsed parsed;
    ArchiveGrammar grammar([&parsed](const ArchiveRow& row) {
        parsed.statements.emplace_back(row.statement);
        Parsed::Row copy{std::string(row.table), row.columns, {}, {}};
        for (const ArchiveRow::Value& value : row.values) {
            copy.kinds.push_back(value.kind);
            copy.texts.emplace_back(value.text);
        }
        parsed.rows.push_back(std::move(copy));
        return Status();
    });
    parsed.status = grammar.Feed(text);
    if (parsed.status.ok())
        parsed.status = grammar.Finish();
    parsed.facts = grammar.Facts();
    return parsed;
}

// The dump shapes after the rewrite, and one with E'...' values.
std::vector<std::string> Corpus()
{
    std::vector<std::string> corpus;
    for (const char* name : {"old-search-path", "modern-pg15", "modern-pg17"})
        corpus.push_back(ReadFile(fs::path(PELANTRA_TEST_DATA_DIR) / "dumps" / (std::string(name) + ".rewritten.sql")));
    std::string escaped = corpus.back();
    escaped.replace(escaped.find("'O''Brien'"), 10, "E'C:\\\\dir\\\\ O''Brien', 1e2");
    escaped.replace(escaped.find("(ptk_id,nama,catatan)"), 21, "(ptk_id,nama,tinggi,catatan)");
    corpus.push_back(escaped);
    return corpus;
}

// What the readers of a dump might take another way.
const std::vector<std::string> kMutations = {"\r",  "\n", "\r\n", "\\",  "\\\\", "'",  "''", "\\'", "--", "/*",
                                             "*/",  "$",  "$$",   ";",   "E",    "E'", "e'", "\t",  "\f", " ",
                                             "\\!", "\v", "\"",   "1e2", "-",    ":",  "(",  ")"};

// One to three of them put in anywhere, or next to a quote or a line end,
// where readers part ways most often.
std::string Mutated(std::mt19937& random, const std::string& text)
{
    std::string mutated = text;
    for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n) {
        std::size_t at = random() % (mutated.size() + 1);
        if (random() % 2 == 0) {
            const std::size_t near = mutated.find_first_of("'\n", at);
            if (near != std::string::npos)
                at = near + random() % 2;
        }
        mutated.insert(at, kMutations[random() % kMutations.size()]);
    }
    return mutated;
}

// One database whose sessions read '...' with standard_conforming_strings as
// given, and log every statement they receive.
class ReadingDatabase {
public:
    ReadingDatabase(const std::string& port, const std::string& name, bool standardStrings) : port_(port), name_(name)
    {
        PostgreSQLSession admin;
        EXPECT_TRUE(admin.Open(("host=127.0.0.1 port=" + port + " user=postgres dbname=postgres").c_str()));
        Sql sql(admin);
        EXPECT_TRUE(sql.Execute("DROP DATABASE IF EXISTS " + name));
        EXPECT_TRUE(sql.Execute("CREATE DATABASE " + name + " ENCODING 'UTF8' TEMPLATE template0"));
        EXPECT_TRUE(sql.Execute("ALTER DATABASE " + name + " SET log_statement = 'all'"));
        EXPECT_TRUE(sql.Execute("ALTER DATABASE " + name +
                                " SET standard_conforming_strings = " + (standardStrings ? "on" : "off")));
        EXPECT_TRUE(session_.Open(("host=127.0.0.1 port=" + port + " user=postgres dbname=" + name).c_str()));
        for (std::string_view table : kStagedTables)
            Run("CREATE TABLE public." + std::string(table) + " (pelantra_order bigserial)");
    }

    ~ReadingDatabase()
    {
        session_.Close();
        PostgreSQLSession admin;
        if (admin.Open(("host=127.0.0.1 port=" + port_ + " user=postgres dbname=postgres").c_str()))
            Sql(admin).Execute("DROP DATABASE IF EXISTS " + name_);
    }

    // Empty tables that have every column the rows name, as text.
    void Prepare(const std::vector<Parsed::Row>& rows)
    {
        for (const Parsed::Row& row : rows)
            for (const std::string& column : row.columns)
                if (columns_[row.table].insert(column).second)
                    Run(Scalar(session_,
                               "SELECT format('ALTER TABLE public.%I ADD COLUMN %I text', $1::text, $2::text)",
                               {row.table, column}));
        for (std::string_view table : kStagedTables)
            Run("TRUNCATE public." + std::string(table) + " RESTART IDENTITY");
    }

    // psql's output restoring `file`.
    std::string Restore(const QString& file) const
    {
        QProcess psql;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PGCLIENTENCODING", "UTF8");
        psql.setProcessEnvironment(env);
        psql.setProcessChannelMode(QProcess::MergedChannels);
        psql.start("psql", {"-X", "-q", "-h", "127.0.0.1", "-p", QString::fromStdString(port_), "-U", "postgres", "-d",
                            QString::fromStdString(name_), "-f", file});
        psql.waitForFinished(-1);
        EXPECT_EQ(psql.exitStatus(), QProcess::NormalExit);
        return psql.readAll().toStdString();
    }

    // The rows of `table` in the order they came, each as its columns' values.
    std::vector<QJsonObject> Rows(const std::string& table)
    {
        const std::string json =
            Scalar(session_, "SELECT coalesce(json_agg(t ORDER BY pelantra_order), '[]') FROM public." + table + " t");
        std::vector<QJsonObject> rows;
        for (const QJsonValue& row : QJsonDocument::fromJson(QByteArray::fromStdString(json)).array())
            rows.push_back(row.toObject());
        return rows;
    }

    // What a constant of that kind and text is as text, as the server makes it.
    std::string AsText(ArchiveRow::Value::Kind kind, const std::string& text)
    {
        switch (kind) {
        case ArchiveRow::Value::Kind::Integer:
            return Scalar(session_, "SELECT $1::integer::text", {text});
        case ArchiveRow::Value::Kind::BigInteger:
            return Scalar(session_, "SELECT $1::bigint::text", {text});
        case ArchiveRow::Value::Kind::Numeric:
            return Scalar(session_, "SELECT $1::numeric::text", {text});
        case ArchiveRow::Value::Kind::Boolean:
            return Scalar(session_, "SELECT $1::boolean::text", {text});
        default:
            return text;
        }
    }

private:
    void Run(const std::string& statement)
    {
        Sql sql(session_);
        EXPECT_TRUE(sql.Execute(statement)) << statement << "\n" << sql.ErrorText();
    }

    std::string port_;
    std::string name_;
    PostgreSQLSession session_;
    std::map<std::string, std::set<std::string>> columns_;
};

std::int64_t FileSize(const std::string& path)
{
    return QFile(QString::fromStdString(path)).size();
}

// The statements the server logged from `offset` on: each query it received,
// or could not parse, once. A line break inside an entry is followed by a tab.
std::vector<std::string> LoggedStatements(const std::string& path, std::int64_t offset)
{
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.seek(offset));
    const std::string log = file.readAll().toStdString();
    std::vector<std::string> entries;
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        while (end != std::string::npos && end + 1 < log.size() && log[end + 1] == '\t')
            end = log.find('\n', end + 1);
        if (end == std::string::npos)
            end = log.size();
        std::string entry = log.substr(at, end - at);
        for (std::size_t tab = entry.find("\n\t"); tab != std::string::npos; tab = entry.find("\n\t", tab + 1))
            entry.erase(tab + 1, 1);
        entries.push_back(std::move(entry));
        at = end + 1;
    }
    std::vector<std::string> statements;
    for (const std::string& entry : entries) {
        for (const char* mark : {"] LOG:  statement: ", "] STATEMENT:  "}) {
            const std::size_t found = entry.find(mark);
            if (found == std::string::npos || found != entry.find(']'))
                continue; // another kind of entry, or the mark inside a statement
            std::string text = entry.substr(found + std::string(mark).size());
            if (std::string(mark) == "] STATEMENT:  " && !statements.empty() && statements.back() == text)
                continue; // logged as received, then failed
            statements.push_back(std::move(text));
        }
    }
    return statements;
}

TEST(ArchiveGrammarAgainstPsql, WhatTheGrammarAcceptsIsExactlyWhatTheServersReceive)
{
    PELANTRA_REQUIRE_DATABASE(port);
    const std::optional<std::string> sandbox = SandboxFolder();
    ASSERT_TRUE(sandbox) << "the sandbox's folder holds the server's log";
    const std::string logPath = *sandbox + "/server.log";

    ReadingDatabase standard(port, "pelantra_reads_standard", true);
    ReadingDatabase escaping(port, "pelantra_reads_escapes", false);
    const std::vector<std::string> corpus = Corpus();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("dump.sql");

    std::mt19937 random(kSeed);
    int accepted = 0;
    int tried = 0;
    for (; tried < kMostTries && accepted < kAcceptedWanted; ++tried) {
        const std::string text =
            tried < static_cast<int>(corpus.size()) ? corpus[tried] : Mutated(random, corpus[random() % corpus.size()]);
        const Parsed parsed = Parse(text);
        if (!parsed.status.ok())
            continue;
        ++accepted;
        SCOPED_TRACE(text);
        {
            QFile dump(file);
            ASSERT_TRUE(dump.open(QIODevice::WriteOnly | QIODevice::Truncate));
            dump.write(text.data(), static_cast<qint64>(text.size()));
        }
        for (ReadingDatabase* database : {&standard, &escaping}) {
            const bool readsEscapes = database == &escaping;
            SCOPED_TRACE(readsEscapes ? "standard_conforming_strings = off" : "standard_conforming_strings = on");
            database->Prepare(parsed.rows);
            const std::int64_t offset = FileSize(logPath);
            const std::string output = database->Restore(file);
            // Backslash escapes may make a value the server refuses (\0), never a statement.
            const bool valuesDiffer = readsEscapes && parsed.facts.backslashValues > 0;
            if (!valuesDiffer) {
                ASSERT_EQ(output, "") << "psql ran something, or the server refused a row";
            }

            const std::vector<std::string> received = LoggedStatements(logPath, offset);
            ASSERT_EQ(received.size(), parsed.statements.size());
            for (std::size_t i = 0; i < received.size(); ++i) {
                // psql sends a statement with the comments before it that it
                // cannot drop: they must be nothing but comments to the grammar.
                ASSERT_TRUE(received[i].ends_with(parsed.statements[i])) << received[i];
                const std::string before = received[i].substr(0, received[i].size() - parsed.statements[i].size());
                const Parsed prefix = Parse(before);
                ASSERT_TRUE(prefix.status.ok() && prefix.rows.empty()) << before;
            }
            if (valuesDiffer)
                continue;
            std::map<std::string, std::vector<QJsonObject>> restored;
            std::map<std::string, std::size_t> next;
            for (const Parsed::Row& row : parsed.rows) {
                if (!restored.count(row.table))
                    restored[row.table] = database->Rows(row.table);
                const std::size_t index = next[row.table]++;
                ASSERT_LT(index, restored[row.table].size());
                const QJsonObject& values = restored[row.table][index];
                for (std::size_t c = 0; c < row.columns.size(); ++c) {
                    const QJsonValue value = values.value(QString::fromStdString(row.columns[c]));
                    const bool null = row.kinds[c] == ArchiveRow::Value::Kind::Null ||
                                      row.kinds[c] == ArchiveRow::Value::Kind::Default;
                    if (null)
                        EXPECT_TRUE(value.isNull()) << row.columns[c];
                    else
                        EXPECT_EQ(value.toString().toStdString(), database->AsText(row.kinds[c], row.texts[c]))
                            << row.columns[c];
                }
            }
        }
    }
    std::cout << "grammar against psql: " << tried << " texts tried, " << accepted << " accepted and restored\n";
    EXPECT_EQ(accepted, kAcceptedWanted);
}

} // namespace
} // namespace pelantra
