// Which storage the server tests run kavo-server on. The same tests are built twice: once
// on the SQLite file (the default) and once, with KAVO_SERVER_TEST_PG, on a throwaway
// PostgreSQL cluster that the whole program shares, each test with a database of its own.
#pragma once

#include <string>
#include <vector>

namespace kavo::test {

// `args` plus what points the server at the backend under test: nothing for SQLite, else
// --pg with this test's own database (the same one on every call within one test, so a
// restarted server finds its data again).
std::vector<std::string> Backend(std::vector<std::string> args);

// True in the PostgreSQL build.
bool OnPostgres();

}  // namespace kavo::test
