// A fresh program directory with its own database for every test, and raw access to the
// file to plant rows and look at what the store wrote.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "codecs/gbk_text.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"

namespace kavo::test {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavo-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        SetProgramDir(dir_);
        CloseConnection();
        SetConnectionInfo({}, {}, GetDatabasePath());
        AppState().Reset();
        AppState().SetCurrentUser("alice", "secret");
    }

    void TearDown() override {
        CloseConnection();
        SetConnectionInfo({}, {}, {});
        SetProgramDir({});
        AppState().Reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string DbPath() const { return GetDatabasePath(); }

    // Runs SQL on a connection of its own, as another program would.
    void RawExec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        char* err = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
        std::string message = err ? err : "";
        sqlite3_free(err);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
    }

    // First column of the first row as text ("<none>" without a row, "<null>" for NULL).
    std::string RawQuery(const std::string& sql) {
        sqlite3* db = nullptr;
        if (sqlite3_open(DbPath().c_str(), &db) != SQLITE_OK) return "<open failed>";
        sqlite3_stmt* stmt = nullptr;
        std::string out = "<error>";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            int rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                const unsigned char* t = sqlite3_column_text(stmt, 0);
                out = t ? reinterpret_cast<const char*>(t) : "<null>";
            } else if (rc == SQLITE_DONE) {
                out = "<none>";
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return out;
    }

    int RawCount(const std::string& where) {
        return std::stoi(RawQuery("select count(*) from " + where));
    }

    std::string dir_;
};

// A contact with a name and first mobile number (given in UTF-8) and a little more.
inline CRelData Contact(std::string_view name, std::string_view mobile1,
                        std::string_view group = {}) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, name);
    SetFieldUtf8(rel.MobilePhone1, mobile1);
    SetFieldUtf8(rel.GroupName, group);
    SetFieldUtf8(rel.CompanyAddr, "北京市海淀区");
    return rel;
}

inline std::string Gbk(std::string_view utf8) { return Utf8ToGbk(utf8); }

}  // namespace kavo::test
