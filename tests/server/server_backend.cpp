#include "server_backend.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#ifdef KAVO_SERVER_TEST_PG
#include "pg_cluster.h"
#endif

namespace kavo::test {

#ifdef KAVO_SERVER_TEST_PG
namespace {

PgCluster* cluster = nullptr;

// Starts the cluster before the first test and stops it after the last one. Where no
// cluster can be had, every test is skipped and says why.
class PgEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static PgCluster instance;
        if (!instance.Start()) GTEST_SKIP() << "no PostgreSQL here: " << instance.why();
        cluster = &instance;
    }
    void TearDown() override {
        if (cluster) cluster->Stop();
        cluster = nullptr;
    }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new PgEnvironment);

}  // namespace

bool OnPostgres() { return true; }

std::vector<std::string> Backend(std::vector<std::string> args) {
    static std::map<std::string, std::string> databases;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string key = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
    auto it = databases.find(key);
    if (it == databases.end()) {
        std::string name = "t" + std::to_string(databases.size() + 1);
        if (!cluster || !cluster->CreateDatabase(name)) {
            ADD_FAILURE() << "cannot create a database: " << (cluster ? cluster->why() : "");
            return args;
        }
        it = databases.emplace(key, cluster->ConnInfo(name)).first;
    }
    args.push_back("--pg");
    args.push_back(it->second);
    return args;
}

#else

bool OnPostgres() { return false; }

std::vector<std::string> Backend(std::vector<std::string> args) { return args; }

#endif

}  // namespace kavo::test
