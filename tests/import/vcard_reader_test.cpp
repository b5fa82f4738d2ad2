#include "pelbook/vcard_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "import_test_util.h"
#include "pelbook/pelbook.h"

using namespace kavo;

namespace {

CVCardEntry One(const std::string& text) {
    std::vector<CVCardEntry> cards = ParseVCards(text);
    EXPECT_EQ(cards.size(), 1u);
    return cards.empty() ? CVCardEntry() : cards[0];
}

}  // namespace

TEST(VCardReader, FoldedLinesAndSoftLineBreaksJoin) {
    CVCardEntry e =
        One("BEGIN:VCARD\r\nVERSION:2.1\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E7=AC=AC=E4=\r\n"
            "=B8=80 line=3Dx=\r\n"
            " tail\r\n"
            "FN:Ann\r\n  Lee\r\n"
            "END:VCARD\r\n");
    EXPECT_EQ(e.note, "第一 line=x tail");
    EXPECT_EQ(e.displayName, "Ann Lee");
}

TEST(VCardReader, EscapesGroupsAndQuotedParameters) {
    CVCardEntry e =
        One("BEGIN:VCARD\nVERSION:3.0\n"
            "item2.FN:A\\, B\\; C\\\\D\n"
            "ORG:Big\\; Co;Dept\n"
            "TEL;TYPE=\"work,fax\":1\n"
            "item1.TEL;type=pref;type=CELL:2\n"
            "TEL;TYPE=CELL:3\n"
            "END:VCARD\n");
    EXPECT_EQ(e.displayName, "A, B; C\\D");
    EXPECT_EQ(e.company, "Big; Co");
    EXPECT_EQ(e.department, "Dept");
    EXPECT_EQ(e.workFax, "1");
    EXPECT_EQ(e.mobilePhone, "2");
}

TEST(VCardReader, PhoneKindsAndFallbacks) {
    CVCardEntry e =
        One("BEGIN:VCARD\nVERSION:3.0\nN:Doe;Jane;;;\n"
            "TEL;TYPE=HOME,FAX:9\nTEL;TYPE=PAGER:8\nTEL:7\nTEL;TYPE=VOICE:6\n"
            "EMAIL:jane@example.com\nEND:VCARD\n");
    EXPECT_EQ(e.displayName, "Jane Doe");
    EXPECT_EQ(e.mobilePhone, "7");  // a number of no kind is taken for the mobile
    EXPECT_EQ(e.workFax, "");       // a home fax is no business fax
    EXPECT_EQ(e.homePhone, "");

    // Without a name the display name falls back to what there is.
    EXPECT_EQ(One("BEGIN:VCARD\nVERSION:3.0\nORG:Acme\nEND:VCARD\n").displayName, "Acme");
    EXPECT_EQ(One("BEGIN:VCARD\nVERSION:4.0\nEMAIL:a@b.c\nEND:VCARD\n").displayName, "a@b.c");
}

TEST(VCardReader, CharsetsOfOldPhones) {
    // 2.1 without a charset, in GBK bytes; and Latin-1 named as such.
    CVCardEntry gbk =
        One("BEGIN:VCARD\nVERSION:2.1\nFN:" + kavo::test::G("赵六") + "\nEND:VCARD\n");
    EXPECT_EQ(gbk.displayName, "赵六");
    CVCardEntry latin = One("BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=ISO-8859-1:Jos\xE9\nEND:VCARD\n");
    EXPECT_EQ(latin.displayName, "José");
}

TEST(VCardReader, BirthdaysThatAreNotFullDatesAreLeftOut) {
    auto birthday = [](const std::string& value) {
        CVCardEntry e = One("BEGIN:VCARD\nVERSION:4.0\nFN:x\nBDAY" + value + "\nEND:VCARD\n");
        return std::to_string(e.birthYear) + "-" + std::to_string(e.birthMonth) + "-" +
               std::to_string(e.birthDay);
    };
    EXPECT_EQ(birthday(":1980-03-05"), "1980-3-5");
    EXPECT_EQ(birthday(":19800305T103000Z"), "1980-3-5");
    EXPECT_EQ(birthday(":--0305"), "0-0-0");
    EXPECT_EQ(birthday(";X-APPLE-OMIT-YEAR=1604:1604-03-05"), "0-0-0");
    EXPECT_EQ(birthday(":1981-02-29"), "0-0-0");
    EXPECT_EQ(birthday(";VALUE=text:circa 1800"), "0-0-0");
}

TEST(VCardReader, NestedCardsLinesOutsideCardsAndALostEndLine) {
    std::vector<CVCardEntry> cards = ParseVCards(
        "FN:stray\n"
        "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\n"
        "AGENT:\nBEGIN:VCARD\nFN:Agent\nEND:VCARD\n"
        "TEL;CELL:1\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nFN:Last");
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].displayName, "Boss");
    EXPECT_EQ(cards[0].mobilePhone, "1");
    EXPECT_EQ(cards[1].displayName, "Last");
}

// A file is read a part at a time: lines and folds that straddle two parts, a line longer
// than a part and a byte order mark give the cards the same bytes give in memory.
TEST(VCardReader, AFileReadInPartsGivesTheCardsOfItsBytes) {
    std::string bytes = "\xEF\xBB\xBF";
    for (int i = 0; i < 4000; ++i) {
        const std::string n = std::to_string(i);
        bytes += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:联系人" + n + "\r\nN:联;系人" + n +
                 ";;;\r\nTEL;TYPE=CELL:138" + n + "\r\nNOTE:第一行\\n第二\r\n  行" + n +
                 "\r\nADR;TYPE=WORK:;;中关村大街" + n + "号;海淀区;北京市;100080;中国\r\n";
        if (i == 3000) bytes += "PHOTO;ENCODING=b:" + std::string(700 * 1024, 'Q') + "\r\n";
        if (i % 7 == 0) bytes += "EMAIL;ENCODING=QUOTED-PRINTABLE:a=\r\n" + n + "@x.cn\r\n";
        bytes += i % 2 ? "END:VCARD\r\n" : "END:VCARD\n";
    }
    bytes += "BEGIN:VCARD\nFN:最后一张";  // cut off at the end, without its END line
    kavo::test::TempDir dir;
    dir.Write("book.vcf", bytes);

    const std::vector<CVCardEntry> want = ParseVCards(bytes);
    ASSERT_EQ(want.size(), 4001u);
    CVCardBook book;
    ASSERT_TRUE(LoadAddressBook(dir.Path(), book));
    ASSERT_EQ(book.Size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        for (std::uint32_t tag :
             {PELBOOK_PR_DISPLAY_NAME, PELBOOK_PR_SURNAME, PELBOOK_PR_GIVEN_NAME,
              PELBOOK_PR_MOBILE_TELEPHONE_NUMBER, PELBOOK_PR_COMMENT, PELBOOK_PR_EMAIL_ADDRESS,
              PELBOOK_PR_OFFICE_LOCATION, PELBOOK_PR_POSTAL_CODE}) {
            std::string_view text;
            book.StringProperty(i, tag, text);
            const std::string* expected = want[i].StringProperty(tag);
            ASSERT_EQ(text, expected ? *expected : "") << "card " << i << " tag " << tag;
        }
    }
    EXPECT_EQ(want[0].displayName, "联系人0");
    EXPECT_EQ(want[7].note, "第一行\n第二 行7");
    EXPECT_EQ(want[7].email, "a7@x.cn");
    EXPECT_EQ(want[4000].displayName, "最后一张");
}

TEST(VCardReader, TheFolderComesFromTheEnvironment) {
    ::setenv("KAVO_ADDRESSBOOK_DIR", "/some/where", 1);
    EXPECT_EQ(AddressBookDir(), "/some/where");
    ::unsetenv("KAVO_ADDRESSBOOK_DIR");
    ::setenv("XDG_DATA_HOME", "/xdg", 1);
    EXPECT_EQ(AddressBookDir(), "/xdg/kavo/addressbook");
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(AddressBookDir(), "/home/u/.local/share/kavo/addressbook");
}
