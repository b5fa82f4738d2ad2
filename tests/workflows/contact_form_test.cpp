// The contact editor's form: birthday, groups, limits, fill and gather, the new-contact
// checks against a real store.
#include "workflows/contact_form.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"

using namespace kavo;

TEST(ContactFormBirthday, OnlyEightDigitsSelectAndTheYearStartsIn1940) {
    EXPECT_EQ(ParseBirthday("19850314"), (CBirthdayParts{46, 3, 14}));
    EXPECT_EQ(ParseBirthday("19391231"), (CBirthdayParts{0, 12, 31}));
    EXPECT_EQ(ParseBirthday("20110101"), (CBirthdayParts{0, 1, 1}));
    EXPECT_EQ(ParseBirthday("198503"), CBirthdayParts{});
    EXPECT_EQ(ParseBirthday("1980-03-05"), CBirthdayParts{});
    EXPECT_EQ(ParseBirthday("1985031a"), CBirthdayParts{});
    EXPECT_EQ(FormatBirthday({46, 3, 0}), "198503");
    EXPECT_EQ(FormatBirthday({0, 12, 31}), "1231");
    EXPECT_EQ(FormatBirthday({71, 0, 9}), "201009");
    EXPECT_TRUE(BirthdayShowable("20100101"));
    EXPECT_TRUE(BirthdayShowable(""));
    EXPECT_FALSE(BirthdayShowable("19391231"));
}

TEST(ContactFormBirthday, ATextTheSelectorsCannotShowIsKeptUntilTheUserPicksADate) {
    // Year and month without a day: stored as six digits, shown as nothing, kept as such.
    const std::string stored = GatherBirthday({46, 3, 0}, "");
    EXPECT_EQ(stored, "198503");
    EXPECT_EQ(ParseBirthday(stored), CBirthdayParts{});
    EXPECT_EQ(GatherBirthday(ParseBirthday(stored), stored), "198503");
    // 31 December 1939 shows month and day only, and survives a save untouched.
    EXPECT_EQ(GatherBirthday(ParseBirthday("19391231"), "19391231"), "19391231");
    // An imported dashed date too.
    EXPECT_EQ(GatherBirthday(ParseBirthday("1980-03-05"), "1980-03-05"), "1980-03-05");
    // Once the user picks something else, the selectors win.
    EXPECT_EQ(GatherBirthday({41, 3, 5}, "1980-03-05"), "19800305");
    EXPECT_EQ(GatherBirthday({}, "19391231"), "");
}

TEST(ContactFormFields, LimitsCountGbkBytesAndSomeFieldsTakeDigitsOnly) {
    const CContactField* name = FindContactField("RelName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->maxBytes, 49);
    EXPECT_TRUE(FitsField(std::string(49, 'a'), 49, false));
    EXPECT_FALSE(FitsField(std::string(50, 'a'), 49, false));
    // 24 Chinese characters are 48 bytes; a 25th would be 50.
    std::string chinese;
    for (int i = 0; i < 24; ++i) chinese += "张";
    EXPECT_TRUE(FitsField(chinese, 49, false));
    EXPECT_FALSE(FitsField(chinese + "张", 49, false));
    EXPECT_TRUE(FitsField(chinese + "a", 49, false));
    EXPECT_TRUE(FindContactField("QQ")->digitsOnly);
    EXPECT_TRUE(FindContactField("Account5")->digitsOnly);
    EXPECT_FALSE(FindContactField("MobilePhone1")->digitsOnly);
    EXPECT_FALSE(FitsField("12a", 19, true));
    EXPECT_EQ(CutToGbkBytes("ab张三", 3), "ab");
    // Every limit is one less than its column, so nothing typed can be cut on save.
    for (const CContactField& f : ContactEditorFields()) {
        const int i = RelFieldIndex(f.column);
        ASSERT_GE(i, 0) << f.column;
        EXPECT_EQ(static_cast<std::size_t>(f.maxBytes), kRelFields[i].width - 1) << f.column;
    }
}

TEST(ContactForm, FillAndGatherRoundTripWithGroupsComparedExactly) {
    std::vector<std::string> groups = {"", Utf8ToGbk("家人"), "Work"};
    CRelData rel;
    SetFieldUtf8(rel.RelName, "张三");
    SetField(rel.MobilePhone1, "13900000001");
    SetField(rel.Birthday, "19391231");
    SetField(rel.GroupName, "Work");
    SetFieldUtf8(rel.RelRemark, "第一行\n第二行");
    CContactForm form = FillContactForm(rel, groups);
    EXPECT_EQ(form.groupIndex, 2);
    EXPECT_EQ(form.Text("RelName"), "张三");
    CRelData out;
    ASSERT_TRUE(GatherContactForm(form, groups, out));
    EXPECT_EQ(std::memcmp(&rel, &out, sizeof(rel)), 0);

    // Another letter case is another group: the first one is shown and saved.
    SetField(rel.GroupName, "work");
    form = FillContactForm(rel, groups);
    EXPECT_EQ(form.groupIndex, 0);
    ASSERT_TRUE(GatherContactForm(form, groups, out));
    EXPECT_EQ(FieldText(out.GroupName), "");

    // An invalid group selection writes nothing at all.
    SetField(out.RelName, "keep");
    form.groupIndex = 3;
    EXPECT_FALSE(GatherContactForm(form, groups, out));
    EXPECT_EQ(FieldText(out.RelName), "keep");
}

class NewContactCheckTest : public kavo::test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        AppState().SetCurrentUser("checker", "pw");
    }
};

TEST_F(NewContactCheckTest, ExistenceComesBeforeTheEmptyChecksAndTheNameIsTrimmed) {
    CRelData stored;
    SetFieldUtf8(stored.RelName, "李四");
    SetField(stored.MobilePhone1, "138");
    ASSERT_TRUE(CDataAccess().InsertContact(stored));

    CContactForm form;
    form.Text("RelName") = " 李四 ";
    // Empty mobile phone 1: the name alone is compared, and it exists.
    EXPECT_EQ(CheckNewContact(form), ENewContactCheck::kExists);
    EXPECT_EQ(form.Text("RelName"), "李四");
    EXPECT_STREQ(NewContactCheckMessage(ENewContactCheck::kExists), "该联系人姓名已存在!");

    form.Text("RelName") = "王五";
    EXPECT_EQ(CheckNewContact(form), ENewContactCheck::kEmptyMobile1);
    form.Text("RelName") = "  ";
    form.Text("MobilePhone1") = "137";
    EXPECT_EQ(CheckNewContact(form), ENewContactCheck::kEmptyName);
    form.Text("RelName") = "李四";
    EXPECT_EQ(CheckNewContact(form), ENewContactCheck::kOk);  // another number
    form.Text("MobilePhone1") = "138";
    EXPECT_EQ(CheckNewContact(form), ENewContactCheck::kExists);
}
