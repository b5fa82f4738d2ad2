#include <thread>

#include "store/batch_scope.h"
#include "store_fixture.h"

namespace kavo::test {
namespace {

class AdoRecordTest : public StoreTest {};

TEST(VariantToText, FollowsTheTypeTable) {
    auto text = [](VarType t, std::int64_t i = 0, double d = 0, std::string_view s = {}) {
        CVariant v;
        v.type = t;
        v.intVal = i;
        v.dblVal = d;
        v.textVal = s;
        return CAdoRecord::VariantToText(v);
    };
    EXPECT_EQ(text(VarType::I2, -12), "-12");
    EXPECT_EQ(text(VarType::I4, 2147483647), "2147483647");
    EXPECT_EQ(text(VarType::I8, 1LL << 40), "1099511627776");
    EXPECT_EQ(text(VarType::R8, 0, 2.5), "2.500");
    EXPECT_EQ(text(VarType::R4, 0, -0.0004), "-0.000");
    EXPECT_EQ(text(VarType::Date, 0, 0, "2026-12-07 02:57:21"), "26-12-07 02:57:21");
    EXPECT_EQ(text(VarType::Text, 0, 0, "O'Neil"), "O'Neil");
    EXPECT_EQ(text(VarType::Bool, 1), "TRUE");
    EXPECT_EQ(text(VarType::Bool, 0), "FALSE");
    EXPECT_EQ(text(VarType::I1, 5), "VT_I1");
    EXPECT_EQ(text(VarType::UI1, 10), "0x0A");
    EXPECT_EQ(text(VarType::Null), "");
    EXPECT_EQ(text(VarType::Empty), "");
    EXPECT_EQ(text(VarType::Blob), "");
}

TEST_F(AdoRecordTest, ColumnValuesComeBackTyped) {
    CAdoRecord rs;
    ASSERT_TRUE(
        rs.Execute("insert into KAVO_USER(UserName,LastTime,LoginState) values(?,?,?)",
                   {CSqlValue::Utf8("u"), CSqlValue::Utf8("2026-12-07 02:57:21"), CSqlValue(3)}));
    EXPECT_EQ(rs.Changes(), 1);
    ASSERT_TRUE(rs.Execute("select * from KAVO_USER"));
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.GetCollect("lasttime").type, VarType::Date);
    EXPECT_EQ(CAdoRecord::VariantToText(rs.GetCollect("LastTime")), "26-12-07 02:57:21");
    EXPECT_EQ(rs.GetCollect("LOGINSTATE").type, VarType::I4);
    EXPECT_EQ(rs.GetCollect("UserEmail").type, VarType::Null);
    EXPECT_EQ(CAdoRecord::VariantToText(rs.GetCollect("UserEmail")), "");
    EXPECT_EQ(rs.GetCollect("NoSuchColumn").type, VarType::Empty);
}

TEST_F(AdoRecordTest, RecordCountIsExactUntilTheEnd) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(CDataAccess().AddGroup("g" + std::to_string(i)));
    CAdoRecord rs;
    ASSERT_TRUE(rs.Execute("select GroupName from KAVO_RELATION_GROUP order by ID"));
    ASSERT_TRUE(rs.MoveNext());
    EXPECT_EQ(rs.GetRecordCount(), 3);
    // Counting does not move the current row.
    EXPECT_EQ(CAdoRecord::VariantToText(rs.GetCollect(0)), "g1");
    ASSERT_TRUE(rs.MoveNext());
    ASSERT_TRUE(rs.MoveNext());
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 0);
    EXPECT_FALSE(rs.MoveNext());

    ASSERT_TRUE(rs.Execute("select 1 from KAVO_USER"));
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 0);
}

TEST_F(AdoRecordTest, OneStatementPerCallAndWrongStatementsFail) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("u", "p", "", 0));
    EXPECT_FALSE(da.ExecuteStatement("select 1; drop table KAVO_USER"));
    EXPECT_FALSE(da.ExecuteStatement("this is not sql"));
    EXPECT_NE(StoreLastError(), 0);
    EXPECT_TRUE(da.UserExists("u"));
    CAdoRecord rs;
    EXPECT_FALSE(rs.Execute("select 1 from KAVO_USER where UserName=?"));  // a value is missing
    EXPECT_TRUE(rs.Execute("select 1 from KAVO_USER where UserName=?", {CSqlValue::Utf8("u")}));
    EXPECT_EQ(StoreLastError(), 0);
}

// Statements are kept prepared for reuse; one with separators at its end is found again,
// and more distinct statements than are kept never get mixed up.
TEST_F(AdoRecordTest, KeptStatementsAreFoundAgainAndNeverMixedUp) {
    constexpr int kFirstColumn = 0;
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("u", "p", "", 0));
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i) {
            CAdoRecord rs;
            const std::string sql = "select " + std::to_string(i) +
                                    " from KAVO_USER where UserName=?" +
                                    (i % 3 == 0   ? ";"
                                     : i % 3 == 1 ? " ;\n"
                                                  : "");
            ASSERT_TRUE(rs.Execute(sql, {CSqlValue::Utf8("u")})) << sql;
            ASSERT_FALSE(rs.IsEOF());
            ASSERT_EQ(CAdoRecord::VariantToText(rs.GetCollect(kFirstColumn)), std::to_string(i));
        }
    }
    CAdoRecord rs;
    EXPECT_FALSE(rs.Execute("select 1 from KAVO_USER; select 2"));
}

TEST_F(AdoRecordTest, TheConnectionReopensAfterClose) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("u", "p", "", 0));
    CAdoRecord open;
    ASSERT_TRUE(open.Execute("select * from KAVO_USER"));
    CloseConnection();
    EXPECT_FALSE(IsConnectionOpen());
    // A record still reading the old connection keeps its row.
    EXPECT_EQ(CAdoRecord::VariantToText(open.GetCollect("UserName")), "u");
    EXPECT_TRUE(da.UserExists("u"));
    EXPECT_TRUE(IsConnectionOpen());
}

TEST_F(AdoRecordTest, AWorkerMergingInABatchAndTheUserInterfaceReadingDoNotMix) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveContact(Contact("seed", "0")));
    std::thread worker([] {
        CDataAccess wa;
        for (int round = 0; round < 5; ++round) {
            CBatchScope batch;
            for (int i = 0; i < 100; ++i)
                wa.SaveContact(Contact("w" + std::to_string(round * 100 + i), "1"));
        }
    });
    int lastMerged = 0;
    for (int i = 0; i < 50; ++i) {
        std::vector<CRelData> list;
        da.LoadContacts(list);
        int merged = 0;
        for (const CRelData& r : list) merged += r.RelName[0] == 'w';
        // Whole batches only: the reader never sees a merge half-way.
        EXPECT_EQ(merged % 100, 0) << merged;
        EXPECT_GE(merged, lastMerged);
        lastMerged = merged;
        ASSERT_TRUE(da.SaveContact(Contact("ui" + std::to_string(i), "2")));
    }
    worker.join();
    std::vector<CRelData> list;
    EXPECT_EQ(da.LoadContacts(list), 1 + 500 + 50);
}

}  // namespace
}  // namespace kavo::test
