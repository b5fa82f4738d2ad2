#include "pg_cluster.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace kavo::test {
namespace {

// The newest /usr/lib/postgresql/N/bin that has initdb.
std::string FindBinDir() {
    std::error_code ec;
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        std::filesystem::path bin = entry.path() / "bin";
        if (std::filesystem::exists(bin / "initdb", ec) &&
            std::filesystem::exists(bin / "pg_ctl", ec))
            found.push_back(bin.string());
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return found.empty() ? std::string() : found.back();
}

}  // namespace

PgCluster::~PgCluster() { Stop(); }

bool PgCluster::RunAsOwner(const std::string& program, const std::string& args) {
    std::string log = dir_ + "/commands.log";
    std::string command = "exec '" + bin_ + "/" + program + "' " + args + " >>'" + log + "' 2>&1";
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (uid_ >= 0) {
            if (setgid(static_cast<gid_t>(gid_)) != 0 || setuid(static_cast<uid_t>(uid_)) != 0)
                _exit(126);
        }
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    why_ = program + " failed; see " + log;
    return false;
}

bool PgCluster::Start() {
    if (running_) return true;
    bin_ = FindBinDir();
    if (bin_.empty()) {
        why_ = "PostgreSQL's server programs are not installed";
        return false;
    }
    char tmpl[] = "/tmp/kavo-pg-XXXXXX";
    if (!mkdtemp(tmpl)) {
        why_ = "no temporary directory";
        return false;
    }
    dir_ = tmpl;
    if (geteuid() == 0) {
        passwd* pw = getpwnam("nobody");
        if (!pw) {
            why_ = "running as root and there is no user \"nobody\" to run PostgreSQL as";
            return false;
        }
        uid_ = static_cast<int>(pw->pw_uid);
        gid_ = static_cast<int>(pw->pw_gid);
        if (chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            why_ = "cannot hand the temporary directory to \"nobody\"";
            return false;
        }
    }
    chmod(dir_.c_str(), 0700);
    if (!RunAsOwner("initdb",
                    "-D '" + dir_ + "/data' -U kavo -A trust -E UTF8 --no-locale --no-sync"))
        return false;
    // No TCP at all: the socket lives in the temporary directory, so the port number only
    // names the socket file and cannot collide with anything.
    if (!RunAsOwner("pg_ctl",
                    "-D '" + dir_ + "/data' -l '" + dir_ + "/server.log' -w -t 60 -o \"-k '" +
                        dir_ + "' -c listen_addresses='' -p 5432 -F -c max_connections=60\" start"))
        return false;
    running_ = true;
    return true;
}

void PgCluster::Stop() {
    if (running_) {
        RunAsOwner("pg_ctl", "-D '" + dir_ + "/data' -m immediate -w -t 30 stop");
        running_ = false;
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

std::string PgCluster::ConnInfo(const std::string& dbname) const {
    return "host=" + dir_ + " port=5432 user=kavo dbname=" + dbname;
}

bool PgCluster::CreateDatabase(const std::string& dbname) {
    PGconn* conn = PQconnectdb(ConnInfo("postgres").c_str());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        std::string sql = "CREATE DATABASE \"" + dbname + "\"";
        PGresult* r = PQexec(conn, sql.c_str());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
    }
    if (!ok) why_ = PQerrorMessage(conn);
    PQfinish(conn);
    return ok;
}

}  // namespace kavo::test
