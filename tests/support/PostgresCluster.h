#pragma once

#include <QString>
#include <cstdio>
#include <string>

namespace kt::testing {

// A throwaway PostgreSQL server of Debian's postgresql-15 for one test
// executable: made by initdb in a temporary folder, reached over a Unix
// socket there (and on TCP port 5432 at the address in the environment
// variable tcpVariable, when a test in a network namespace of its own
// sets it), run as an unprivileged user (nobody, when the tests run
// as root). A guardian shell of its own stops it and removes the folder when
// the test process ends, however it ends.
class PostgresCluster {
  public:
    static constexpr const char* tcpVariable = "KT_POSTGRES_TCP_ADDRESS";
    // Started on first use.
    static PostgresCluster& shared();
    // Why there is none here; empty when it runs.
    const std::string& skipReason() const { return skipReason_; }
    // A new empty database: its address (postgresql://...) for --database.
    QString newDatabase();
    // For --database-password-file.
    QString passwordFile() const { return base_ + "/password"; }
    // Stops the server at once, as a crash would; its data stays.
    bool stop();
    // Starts it again, when it was stopped.
    bool start();
    // Halts every process of the server (or lets them go on), as a server
    // does that hangs: its connections stay open and nothing answers.
    bool freeze(bool frozen);

  private:
    PostgresCluster();
    ~PostgresCluster();
    std::string skipReason_;
    QString base_;
    QString tcpAddress_;        // empty: the Unix socket only
    FILE* guardian_ = nullptr;  // its output
    int guardianInput_ = -1;    // closed: the guardian cleans up
    bool running_ = false;
    int databases_ = 0;
};

}  // namespace kt::testing
