// CSV files as other programs and other systems write them: every encoding the import
// detects, every kind of line end, and the contacts exports of mail services, mail
// programs and phones, read through the real import.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "import/csv_encoding.h"
#include "import/csv_import.h"
#include "import_test_util.h"

using namespace kavo;
using kavo::test::G;
using kavo::test::U;

namespace {

// The UTF-8 text in another encoding, through iconv as a spreadsheet would write it.
std::string Encode(const std::string& utf8, const char* to) {
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string out(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(cd, &in, &inLeft, &dst, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::vector<CRelData> ReadOk(std::string_view bytes) {
    std::vector<CRelData> out;
    ImportError error = ImportError::kEmptyFile;
    EXPECT_TRUE(ReadCsvContactsFromText(bytes, out, &error));
    EXPECT_EQ(error, ImportError::kNone);
    return out;
}

std::vector<CRelData> ReadFile(const std::string& name) {
    std::vector<CRelData> out;
    ImportError error = ImportError::kEmptyFile;
    EXPECT_TRUE(ReadCsvContacts(kavo::test::TestData("import/csv/" + name), out, &error))
        << static_cast<int>(error);
    return out;
}

const std::string kSample =
    "姓名,移动电话(公),组织,备注\r\n"
    "张三,13800138000,华星公司,老同学\r\n"
    "\"李四\",\"13900139000\",\"远航, 有限公司\",\"\"\r\n";

void ExpectSample(const std::vector<CRelData>& list) {
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].RelName), "张三");
    EXPECT_EQ(U(list[0].MobilePhone1), "13800138000");
    EXPECT_EQ(U(list[0].KeshNum), "华星公司");
    EXPECT_EQ(U(list[0].RelRemark), "备注:老同学 ");
    EXPECT_EQ(U(list[1].RelName), "李四");
    EXPECT_EQ(U(list[1].KeshNum), "远航, 有限公司");
}

}  // namespace

TEST(CsvEncodings, EveryEncodingAndLineEndReadsAlike) {
    const std::string bom8 = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string bytes;
        const char* encoding;
    } cases[] = {
        {"GBK", G(kSample), kCsvGbk},
        {"UTF-8 without BOM", kSample, kCsvUtf8},
        {"UTF-8 with BOM", bom8 + kSample, kCsvUtf8},
        {"UTF-16 LE", "\xFF\xFE" + Encode(kSample, "UTF-16LE"), kCsvUtf16Le},
        {"UTF-16 BE", "\xFE\xFF" + Encode(kSample, "UTF-16BE"), kCsvUtf16Be},
        {"LF only",
         G("姓名,移动电话(公),组织,备注\n张三,13800138000,华星公司,老同学\n"
           "\"李四\",\"13900139000\",\"远航, 有限公司\",\"\"\n"),
         kCsvGbk},
        {"CR only",
         G("姓名,移动电话(公),组织,备注\r张三,13800138000,华星公司,老同学\r"
           "\"李四\",\"13900139000\",\"远航, 有限公司\",\"\"\r"),
         kCsvGbk},
        {"UTF-8 with CR only",
         "姓名,移动电话(公),组织,备注\r张三,13800138000,华星公司,老同学\r"
         "\"李四\",\"13900139000\",\"远航, 有限公司\",\"\"",
         kCsvUtf8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DetectCsvEncoding(c.bytes), c.encoding);
        ExpectSample(ReadOk(c.bytes));
    }
}

TEST(CsvEncodings, CharactersGbkLacksBecomeOneQuestionMarkEach) {
    // 𠮷 is a four-byte sequence in GB18030 and has no GBK code; the file is no GBK.
    const std::string text = "姓名,组织\r\n赵𠮷,华星\r\n钱孙,远航😀\r\n";
    const std::string gb18030 = Encode(text, "GB18030");
    EXPECT_EQ(DetectCsvEncoding(gb18030), kCsvGb18030);
    for (const std::string& bytes : {gb18030, text, "\xFF\xFE" + Encode(text, "UTF-16LE")}) {
        std::vector<CRelData> list = ReadOk(bytes);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(U(list[0].RelName), "赵?");
        EXPECT_EQ(U(list[0].KeshNum), "华星");
        EXPECT_EQ(U(list[1].RelName), "钱孙");
        EXPECT_EQ(U(list[1].KeshNum), "远航?");
    }
    // Every GBK file is read byte for byte as before, whatever GB18030 would make of it.
    EXPECT_EQ(DetectCsvEncoding(G("姓名,组织\r\n张三,华星\r\n")), kCsvGbk);
    EXPECT_EQ(DetectCsvEncoding("Name,Phone\r\nAnn,1\r\n"), kCsvGbk);
}

TEST(CsvEncodings, AChosenEncodingReplacesTheDetectedOne) {
    // Big5 bytes look like GBK to the detector; the user knows better.
    const std::string big5 = Encode("姓名,組織\r\n陳大文,長江實業\r\n", "BIG5");
    CCsvImportPlan plan;
    ASSERT_TRUE(plan.LoadBytes(big5));
    EXPECT_EQ(plan.Document().encoding, kCsvGbk);
    ASSERT_TRUE(plan.SetEncoding("BIG5"));
    EXPECT_TRUE(plan.WantsPreview());
    std::vector<CRelData> list;
    ASSERT_TRUE(plan.Build(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].RelName), "陳大文");
    EXPECT_FALSE(plan.SetEncoding("NO-SUCH-ENCODING"));
    EXPECT_EQ(plan.Document().encoding, "BIG5");  // unchanged
}

TEST(CsvOtherPrograms, GoogleContactsExport) {
    std::vector<CRelData> list = ReadFile("google_contacts.csv");
    ASSERT_EQ(list.size(), 2u);
    const CRelData& li = list[0];
    EXPECT_EQ(U(li.RelName), "李明");  // a Chinese name: family name first, no blank
    EXPECT_EQ(U(li.NickName), "小明");
    EXPECT_EQ(U(li.KeshNum), "星辰科技");
    EXPECT_EQ(U(li.CorpPosition), "产品经理");
    EXPECT_EQ(U(li.Birthday), "19850721");
    EXPECT_EQ(U(li.E_mail), "liming@xingchen.example");
    EXPECT_EQ(U(li.MobilePhone1), "+86 138 0013 8000");  // the first of a value list
    EXPECT_EQ(U(li.OfficePhone1), "010-6655 4433");
    EXPECT_EQ(U(li.OfficeFax), "010-6655 4434");
    EXPECT_EQ(U(li.CompanyAddr), "北京市海淀区 中关村大街 27 号");
    EXPECT_EQ(U(li.ZipCode), "100080");
    EXPECT_EQ(U(li.CompanyWeb), "https://xingchen.example");
    const std::string remark = U(li.RelRemark);
    EXPECT_NE(remark.find("Notes:大学同学\n喜欢爬山 "), std::string::npos) << remark;
    EXPECT_NE(remark.find("E-mail 2 - Value:ming.li@mail.example "), std::string::npos);
    EXPECT_EQ(remark.find("myContacts"), std::string::npos);  // bookkeeping stays out

    const CRelData& anna = list[1];
    EXPECT_EQ(U(anna.RelName), "Anna Schmidt");
    EXPECT_EQ(U(anna.HomePhone), "+49 30 1234567");
    EXPECT_EQ(U(anna.HomeAddr), "Hauptstr. 5 10115 Berlin");
    EXPECT_EQ(U(anna.CompanyAddr), "");
    EXPECT_EQ(U(anna.ZipCode), "");  // the postal code of a home address is no work one
    EXPECT_EQ(U(anna.Birthday), "--04-12");
}

TEST(CsvOtherPrograms, OutlookExportInGbk) {
    std::vector<CRelData> list = ReadFile("outlook_contacts.csv");
    ASSERT_EQ(list.size(), 2u);
    const CRelData& wang = list[0];
    EXPECT_EQ(U(wang.RelName), "王伟");
    EXPECT_EQ(U(wang.KeshNum), "远航贸易有限公司");
    EXPECT_EQ(U(wang.CorpPosition), "销售总监");
    EXPECT_EQ(U(wang.MobilePhone1), "13912345678");
    EXPECT_EQ(U(wang.OfficePhone1), "021-5888 0000");
    EXPECT_EQ(U(wang.OfficePhone2), "021-5888 0002");
    EXPECT_EQ(U(wang.HomePhone), "021-6123 4567");
    EXPECT_EQ(U(wang.OfficeFax), "021-5888 0001");
    EXPECT_EQ(U(wang.CompanyAddr), "浦东新区世纪大道 100 号 上海");
    EXPECT_EQ(U(wang.ZipCode), "200120");
    EXPECT_EQ(U(wang.Birthday), "19781103");
    EXPECT_EQ(U(wang.Anniversary), "");  // Outlook's "0/0/00"
    EXPECT_EQ(U(wang.E_mail), "wang.wei@yuanhang.example");
    EXPECT_EQ(U(wang.CompanyWeb), "www.yuanhang.example");
    // Outlook's defaults ("Normal", "False", "Unspecified") are no remarks.
    EXPECT_EQ(U(wang.RelRemark), "Notes:重要客户, 每季度拜访 ");

    const CRelData& john = list[1];
    EXPECT_EQ(U(john.RelName), "John Carter");
    EXPECT_EQ(U(john.CompanyAddr), "1 Main St, Springfield, IL, United States of America");
    EXPECT_EQ(U(john.MobilePhone1), "+1 217 555 0100");
    EXPECT_EQ(U(john.RelRemark), "E-mail 2 Address:jc@home.example Notes:Says \"hi\" ");
}

TEST(CsvOtherPrograms, ThunderbirdExport) {
    std::vector<CRelData> list = ReadFile("thunderbird.csv");
    ASSERT_EQ(list.size(), 2u);
    const CRelData& jane = list[0];
    EXPECT_EQ(U(jane.RelName), "Jane Doe");  // the display name before first + last
    EXPECT_EQ(U(jane.NickName), "JD");
    EXPECT_EQ(U(jane.E_mail), "jane@doe.example");
    EXPECT_EQ(U(jane.OfficePhone1), "+1 555 0100");
    EXPECT_EQ(U(jane.HomePhone), "+1 555 0101");
    EXPECT_EQ(U(jane.OfficeFax), "+1 555 0102");
    EXPECT_EQ(U(jane.MobilePhone1), "+1 555 0199");
    EXPECT_EQ(U(jane.HomeAddr), "12 Oak Ave, Portland, OR, USA");
    EXPECT_EQ(U(jane.CompanyAddr), "500 Market St, Suite 9, Portland, OR, USA");
    EXPECT_EQ(U(jane.ZipCode), "97204");
    EXPECT_EQ(U(jane.CorpPosition), "Engineer");
    EXPECT_EQ(U(jane.KeshNum), "Doe Labs");
    EXPECT_EQ(U(jane.CompanyWeb), "https://doe.example");
    EXPECT_EQ(U(jane.Birthday), "19900214");  // from year, month and day columns
    const std::string remark = U(jane.RelRemark);
    EXPECT_NE(remark.find("Notes:Met at, the conference "), std::string::npos) << remark;
    EXPECT_NE(remark.find("Department:R&D "), std::string::npos) << remark;

    EXPECT_EQ(U(list[1].RelName), "陈晓红");
    EXPECT_EQ(U(list[1].MobilePhone1), "13800001111");
}

TEST(CsvOtherPrograms, PhoneExportWithChineseTitlesAsUnicodeText) {
    std::vector<CRelData> list = ReadFile("phone_unicode_text.csv");
    ASSERT_EQ(list.size(), 2u);
    const CRelData& z = list[0];
    EXPECT_EQ(U(z.RelName), "张伟");
    EXPECT_EQ(U(z.MobilePhone1), "13811112222");
    EXPECT_EQ(U(z.OfficePhone1), "010-1234 5678");
    EXPECT_EQ(U(z.E_mail), "zhangwei@example.cn");
    EXPECT_EQ(U(z.KeshNum), "华星公司");
    EXPECT_EQ(U(z.CorpPosition), "经理");
    EXPECT_EQ(U(z.CompanyAddr), "北京市朝阳区建国路 8 号");
    EXPECT_EQ(U(z.Birthday), "19800305");
    EXPECT_EQ(U(z.RelRemark), "备注:老同事 ");
    EXPECT_EQ(U(list[1].RelName), "刘洋");
    EXPECT_EQ(U(list[1].RelRemark), "");
}

TEST(CsvOtherPrograms, TheProductsOwnLabelsKeepPriority) {
    // "手机" would be a mobile, but the product's own mobile column is there; "移动电话(私)"
    // stays the second mobile, and the synonym column goes nowhere else.
    auto list = ReadOk("姓名,移动电话(公),手机,邮箱\n张三,13800000001,13800000002,a@b.c\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].MobilePhone1), "13800000001");
    EXPECT_EQ(U(list[0].MobilePhone2), "13800000002");  // a second mobile moves on
    EXPECT_EQ(U(list[0].E_mail), "a@b.c");

    std::vector<CCsvColumn> m =
        DefaultCsvMapping(SplitCsvHeaderLine(G("工作地址(公司),Full Name,昵称,Mobile Phone")));
    EXPECT_EQ(m[0].match, ECsvMatch::kOwnLabel);
    EXPECT_EQ(m[1].target, ECsvTarget::kRelName);
    EXPECT_EQ(m[2].target, ECsvTarget::kNickName);
    EXPECT_EQ(m[3].target, ECsvTarget::kMobilePhone1);
    EXPECT_EQ(m[3].match, ECsvMatch::kOtherProgram);
}

TEST(CsvOtherPrograms, ChosenColumnsOverrideTheTable) {
    CCsvImportPlan plan;
    ASSERT_TRUE(plan.LoadBytes("Name,Phone,Remark\nAnn,555-1,vip\n"));
    EXPECT_TRUE(plan.WantsPreview());
    std::string reason;
    ASSERT_TRUE(plan.ApplyChoices("Phone=MobilePhone1, #3=忽略", reason)) << reason;
    std::vector<CRelData> list;
    ASSERT_TRUE(plan.Build(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].MobilePhone1), "555-1");
    EXPECT_EQ(U(list[0].OfficePhone1), "");
    EXPECT_EQ(U(list[0].RelRemark), "");

    EXPECT_FALSE(plan.ApplyChoices("Fax=MobilePhone1", reason));
    EXPECT_NE(reason.find("Fax"), std::string::npos);
    EXPECT_FALSE(plan.ApplyChoices("Phone=Nowhere", reason));
    EXPECT_FALSE(plan.ApplyChoices("#9=姓名", reason));
    // Taking the name column away leaves nothing to import.
    ASSERT_TRUE(plan.ApplyChoices("Name=附注", reason));
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(plan.Build(list, &error));
    EXPECT_EQ(error, ImportError::kNoNameColumn);
}

// A value whose kind stands beside it may only be read by kind where the file names it.
TEST(CsvOtherPrograms, OnlyColumnsWithATypeColumnAreOfferedTheKindTargets) {
    const std::vector<CCsvColumn> m = DefaultCsvMapping(
        SplitCsvHeaderLine("Name,Phone 1 - Type,Phone 1 - Value,Phone,Address 1 - Formatted"));
    auto offers = [&m](std::size_t column, ECsvTarget target) {
        const std::vector<ECsvTarget> choices = CsvTargetChoices(m[column]);
        return std::find(choices.begin(), choices.end(), target) != choices.end();
    };
    ASSERT_EQ(m[2].target, ECsvTarget::kPhoneByType);
    EXPECT_EQ(m[2].typeColumn, 1);
    EXPECT_TRUE(offers(2, ECsvTarget::kAddressByType));
    EXPECT_FALSE(offers(3, ECsvTarget::kPhoneByType));
    EXPECT_TRUE(offers(3, ECsvTarget::kMobilePhone1));
    // A by-kind column without its type column keeps the target it has.
    ASSERT_EQ(m[4].target, ECsvTarget::kAddressByType);
    EXPECT_EQ(m[4].typeColumn, -1);
    EXPECT_TRUE(offers(4, ECsvTarget::kAddressByType));
    EXPECT_FALSE(offers(4, ECsvTarget::kPhoneByType));
}

TEST(CsvOtherPrograms, OwnFilesNeedNoPreviewAndOthersDo) {
    auto wants = [](std::string_view bytes) {
        CCsvImportPlan plan;
        EXPECT_TRUE(plan.LoadBytes(std::string(bytes)));
        return plan.WantsPreview();
    };
    EXPECT_FALSE(wants(G("姓名,移动电话(公)\r\n张三,1\r\n")));
    EXPECT_TRUE(wants("姓名,移动电话(公)\r\n张三,1\r\n"));            // UTF-8
    EXPECT_TRUE(wants(G("姓名,手机\r\n张三,1\r\n")));                 // a synonym
    EXPECT_TRUE(wants(G("姓名,移动电话(公),QQ号\r\n张三,1,2\r\n")));  // an unknown column
}

TEST(CsvOtherPrograms, OverlongHeadersAndStrayQuotesStayBounded) {
    std::string text = "Name";
    for (int i = 0; i < 20000; ++i) text += ",c" + std::to_string(i);
    text += "\r\nAnn,\"" + std::string(100000, 'x') + "\r\nBob,1\r\n";  // the quote never closes
    CCsvImportPlan plan;
    ASSERT_TRUE(plan.LoadBytes(text));
    EXPECT_EQ(plan.Document().header.size(), 10000u);
    ASSERT_EQ(plan.Document().rows.size(), 1u);
    EXPECT_LE(plan.Document().rows[0][1].size(), 64u * 1024);
    std::vector<CRelData> list;
    ASSERT_TRUE(plan.Build(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].RelName), "Ann");
    EXPECT_EQ(list[0].RelRemark[sizeof list[0].RelRemark - 1], '\0');
}

namespace {

struct ChunkedRead {
    CCsvDocument doc;
    std::vector<CRelData> contacts;
};

// The plan reads its bytes `chunk` at a time.
ChunkedRead ReadInChunks(const std::string& bytes, std::size_t chunk, const std::string& path) {
    CCsvImportPlan plan;
    plan.SetChunkBytes(chunk);
    ChunkedRead read;
    EXPECT_TRUE(path.empty() ? plan.LoadBytes(bytes) : plan.Load(path)) << chunk;
    read.doc = plan.Document();
    EXPECT_TRUE(plan.Build(read.contacts)) << chunk;
    return read;
}

}  // namespace

// A file is read a chunk at a time and never held whole: a character, a CR LF, a doubled
// quote or a quoted line break cut by a chunk's end reads as if the file were whole, at
// every cut and from memory and from a file alike.
TEST(CsvChunks, EveryCutReadsAsTheWholeFile) {
    const std::string cjk = "姓名,组织\r\n赵𠮷,华星\r\n钱孙,远航😀\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::size_t contacts;
    };
    const std::vector<Case> cases = {
        {"own GBK", G("姓名,移动电话(公),备注\r\n张三,13800138000,老同学\r\n李四,139,\"同事\"\r\n"),
         2},
        {"UTF-8 with quoted lines",
         "Name,Mobile Phone,Notes\r\n张三,13800138000,\"第一行\r\n第二行 \"\"引\"\"\"\r\n"
         "李四,13900139000,同事\n",
         2},
        {"UTF-16 with surrogate pairs", "\xFF\xFE" + Encode(cjk, "UTF-16LE"), 2},
        {"UTF-16BE", "\xFE\xFF" + Encode(cjk, "UTF-16BE"), 2},
        {"GB18030 four-byte sequences", Encode(cjk, "GB18030"), 2},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" + cjk, 2},
    };
    kavo::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ChunkedRead whole = ReadInChunks(c.bytes, kCsvChunkBytes, {});
        ASSERT_EQ(whole.contacts.size(), c.contacts);
        const std::string path = dir.Write("chunks.csv", c.bytes);
        for (std::size_t chunk = 1; chunk <= 9; ++chunk) {
            for (const std::string& from : {std::string(), path}) {
                const ChunkedRead cut = ReadInChunks(c.bytes, chunk, from);
                EXPECT_EQ(cut.doc.encoding, whole.doc.encoding) << chunk;
                EXPECT_EQ(cut.doc.header, whole.doc.header) << chunk;
                EXPECT_EQ(cut.doc.rows, whole.doc.rows) << chunk;
                ASSERT_EQ(cut.contacts.size(), whole.contacts.size()) << chunk;
                EXPECT_EQ(std::memcmp(cut.contacts.data(), whole.contacts.data(),
                                      whole.contacts.size() * sizeof(CRelData)),
                          0)
                    << chunk;
            }
        }
    }
    // What the whole reads hold.
    const ChunkedRead own = ReadInChunks(cases[0].bytes, 2, {});
    EXPECT_TRUE(own.doc.ownRules);
    EXPECT_EQ(U(own.contacts[0].RelName), "张三");
    EXPECT_EQ(U(own.contacts[1].MobilePhone1), "139");
    const ChunkedRead quoted = ReadInChunks(cases[1].bytes, 3, {});
    EXPECT_EQ(quoted.doc.rows[0][2], G("第一行\r\n第二行 \"引\""));
    EXPECT_EQ(U(quoted.contacts[1].RelName), "李四");
    for (std::size_t i = 2; i < cases.size(); ++i) {
        const ChunkedRead read = ReadInChunks(cases[i].bytes, 3, {});
        EXPECT_EQ(U(read.contacts[0].RelName), "赵?") << cases[i].what;
        EXPECT_EQ(U(read.contacts[1].KeshNum), "远航?") << cases[i].what;
    }
}

// The encoding of a file is detected from its first part, cut after a line's end, and
// lines end as they do in the whole file: a file without any LF ends its lines with CR.
TEST(CsvChunks, AFileIsDetectedFromItsFirstPartAndKeepsItsLineEnds) {
    std::string text = "Name,Mobile Phone\r\n";
    while (text.size() < 3 * 1024 * 1024) text += "张三丰,13800138000\r\n";
    kavo::test::TempDir dir;
    CCsvImportPlan plan;
    ASSERT_TRUE(plan.Load(dir.Write("big.csv", text)));
    EXPECT_EQ(plan.Document().encoding, kCsvUtf8);
    std::vector<CRelData> list;
    ASSERT_TRUE(plan.Build(list));
    ASSERT_EQ(list.size(), plan.Document().RowCount());
    EXPECT_EQ(U(list.back().RelName), "张三丰");

    const std::string crOnly = G("姓名,移动电话(公)\r张三,138\r李四,139\r");
    for (std::size_t chunk : {1u, 2u, 5u}) {
        plan = CCsvImportPlan();
        plan.SetChunkBytes(chunk);
        ASSERT_TRUE(plan.Load(dir.Write("cr.csv", crOnly)));
        ASSERT_TRUE(plan.Build(list));
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(U(list[1].MobilePhone1), "139");
    }
}
