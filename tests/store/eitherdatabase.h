#pragma once

#include "pgshared.h"
#include "store/rankdb.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

enum class Backend { Sqlite, Postgres };

// Tests that hold for either database: "Sort.mdb", and a shared PostgreSQL database on a server
// of the test program's own (skipped, with the reason, where none can be started).
class OnEitherDatabase : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        if (GetParam() == Backend::Postgres && !sharedPgServer().running())
            GTEST_SKIP() << qPrintable(sharedPgServer().skipReason());
        m_connection = freshDatabase();
    }
    // The test's database, the same for every connection.
    DatabaseAddress connection() const { return m_connection; }
    // A new, empty database.
    DatabaseAddress freshDatabase() {
        static int made = 0;
        ++made;
        if (GetParam() == Backend::Sqlite)
            return DatabaseAddress::file(m_dir.filePath(QStringLiteral("Sort%1.mdb").arg(made)));
        const QString url = sharedPgServer().createDatabase(
            QStringLiteral("test_%1_%2").arg(QCoreApplication::applicationPid()).arg(made));
        return DatabaseAddress::server(url, PgServer::password());
    }

    QTemporaryDir m_dir;
    DatabaseAddress m_connection;
};

inline const auto eitherDatabase = testing::Values(Backend::Sqlite, Backend::Postgres);

inline std::string databaseName(const testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}
