// A throwaway PostgreSQL cluster for tests and benchmarks: initdb in a temporary directory,
// a postmaster that listens on a Unix socket in that directory only (no TCP port at all),
// stopped and removed again by Stop() or the destructor. PostgreSQL refuses to run as
// root, so under root the cluster runs as the unprivileged user "nobody".
#pragma once

#include <string>

namespace kavo::test {

class PgCluster {
public:
    PgCluster() = default;
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // False with why() when no cluster can be had here: PostgreSQL's programs are not
    // installed, there is no unprivileged user to run them as, or they fail.
    bool Start();
    void Stop();
    const std::string& why() const { return why_; }

    // libpq connection text for database `dbname` of the cluster.
    std::string ConnInfo(const std::string& dbname) const;
    // CREATE DATABASE; false with why() on failure.
    bool CreateDatabase(const std::string& dbname);

private:
    bool RunAsOwner(const std::string& program, const std::string& args);

    std::string bin_;  // the directory of initdb and pg_ctl
    std::string dir_;  // the temporary directory: data/, the socket, the log
    int uid_ = -1;     // the user the cluster runs as when we are root
    int gid_ = -1;
    bool running_ = false;
    std::string why_;
};

}  // namespace kavo::test
