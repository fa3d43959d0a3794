#pragma once

#include "pgserver.h"

#include <gtest/gtest.h>
#include <memory>

// One PostgreSQL server for a whole test program, started on first use and stopped after the
// last test (while the application object still exists); tests make databases of their own.
inline std::unique_ptr<PgServer>& sharedPgServerSlot() {
    static std::unique_ptr<PgServer> server;
    return server;
}

inline PgServer& sharedPgServer() {
    class Stop : public testing::Environment {
    public:
        void TearDown() override { sharedPgServerSlot().reset(); }
    };
    std::unique_ptr<PgServer>& server = sharedPgServerSlot();
    if (!server) {
        server = std::make_unique<PgServer>();
        testing::AddGlobalTestEnvironment(new Stop);
    }
    return *server;
}
