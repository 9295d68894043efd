#pragma once
// A suite's own line database: one PostgreSQL server started before the suite's first test and
// stopped after its last, with the records tables and the insert-only bench role. Every test
// fails at once when the server did not start.

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace recordstest {

// Base is the fixture the suite would have without a line (a window fixture, say).
template <typename Base = ::testing::Test>
class LineServerFixture : public Base {
protected:
    static void SetUpTestSuite() {
        s_server = new PgServer();
        if (s_server->ok()) s_server->CreateLineDatabase();
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        Base::SetUp();
        if (!s_server->ok()) GTEST_FAIL() << "PostgreSQL did not start: " << s_server->why();
    }
    static PgServer& Server() { return *s_server; }
    // How a bench reaches the line: as the role that may only insert.
    static std::string BenchConninfo() { return s_server->Conninfo("vantrel", "vantrel_bench"); }

private:
    inline static PgServer* s_server = nullptr;
};

// Each test starts with the server up (an earlier test may have stopped it) and no records.
class EmptyLineFixture : public LineServerFixture<> {
protected:
    void SetUp() override {
        LineServerFixture::SetUp();
        if (HasFatalFailure()) return;
        Server().Start();
        Server().Psql("TRUNCATE vantrel_records, vantrel_interrupt_figures, vantrel_channel_figures");
    }
};

}  // namespace recordstest
