#include "codecs/xml_document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using kavo::CXmlDocument;

namespace {

const char kConfig[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Kavo><IP SvrIP0=\"127.0.0.1\" SvrIP1=\"\" "
    "SvrIP2=\"\"/></Kavo>";

// The server list as the program reads it; empty when the document is not well formed.
std::string ReadServers(CXmlDocument& doc) {
    doc.Rewind();
    if (!doc.NextElement() || !doc.NextChildElement("IP")) return "no IP";
    return doc.ChildAttribute("SvrIP0") + "|" + doc.ChildAttribute("SvrIP1") + "|" +
           doc.ChildAttribute("SvrIP2");
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/kavo_xml_XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

TEST(XmlDocument, ReadsTheServerListInAnyAttributeOrder) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(kConfig)) << doc.ResultText();
    EXPECT_EQ(doc.ResultText(), "");
    EXPECT_EQ(ReadServers(doc), "127.0.0.1||");

    ASSERT_TRUE(doc.ParseText(
        "<Root>\n  <Other SvrIP0='x'/>\n  <IP SvrIP2='c.example' SvrIP0=a SvrIP1 = \"b\" ></IP>"
        "\n</Root>"));
    EXPECT_EQ(ReadServers(doc), "a|b|c.example");
    // A missing attribute, and one whose name only starts like the one asked for.
    ASSERT_TRUE(doc.ParseText("<K><IP SvrIP00=\"x\" SvrIP1=\"y\"/></K>"));
    EXPECT_EQ(ReadServers(doc), "|y|");
}

TEST(XmlDocument, WalksElementsByNameAndLevel) {
    CXmlDocument doc;
    ASSERT_TRUE(
        doc.ParseText("<r a='1'><x n='1'><IP n='deep'/></x><IP n='2'/><y/><IP n='3'/></r>"));
    EXPECT_FALSE(doc.NextChildElement());  // nothing current yet
    EXPECT_EQ(doc.ElementAttribute("a"), "");
    ASSERT_TRUE(doc.NextElement("r"));
    EXPECT_EQ(doc.ElementAttribute("a"), "1");
    EXPECT_TRUE(doc.NextChildElement("IP"));
    EXPECT_EQ(doc.ChildAttribute("n"), "2");
    EXPECT_TRUE(doc.NextChildElement("IP"));
    EXPECT_EQ(doc.ChildAttribute("n"), "3");
    EXPECT_FALSE(doc.NextChildElement("IP"));
    EXPECT_EQ(doc.ChildAttribute("n"), "3");  // a failed search keeps the position
    EXPECT_FALSE(doc.NextElement());          // the root has no sibling
    doc.Rewind();
    ASSERT_TRUE(doc.NextElement());
    ASSERT_TRUE(doc.NextChildElement());
    EXPECT_EQ(doc.ChildAttribute("n"), "1");
    // Names match with exact case and as whole words only.
    doc.Rewind();
    EXPECT_FALSE(doc.NextElement("R"));
    EXPECT_FALSE(doc.NextElement("rr"));
    ASSERT_TRUE(doc.NextElement("r"));
    EXPECT_FALSE(doc.NextChildElement("I"));
}

TEST(XmlDocument, DecodesReferencesInAttributeValues) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(
        "<r a='x &amp; y' b='&amp;amp;' c='&unknown; &amp' d='&lt;b' e='&quot;&apos;&gt;'"
        " f='&#65;&#x42;&#x43' g='&#12345678; &#xZZ; &#;' h='&#27721;' i='&#x1F600;'"
        " j='&#0;' k='&'/>"));
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementAttribute("a"), "x & y");
    EXPECT_EQ(doc.ElementAttribute("b"), "&amp;");
    EXPECT_EQ(doc.ElementAttribute("c"), "&unknown; &amp");
    EXPECT_EQ(doc.ElementAttribute("d"), "<b");
    EXPECT_EQ(doc.ElementAttribute("e"), "\"'>");
    EXPECT_EQ(doc.ElementAttribute("f"), "AB&#x43");
    EXPECT_EQ(doc.ElementAttribute("g"), "&#12345678; &#xZZ; &#;");
    EXPECT_EQ(doc.ElementAttribute("h"), "\xBA\xBA");   // "汉" in GBK
    EXPECT_EQ(doc.ElementAttribute("i"), "&#x1F600;");  // beyond what GBK can hold
    EXPECT_EQ(doc.ElementAttribute("j"), "&#0;");
    EXPECT_EQ(doc.ElementAttribute("k"), "&");
}

TEST(XmlDocument, SkipsCommentsCdataInstructionsAndDoctype) {
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(
        "<?xml version='1.0'?>\n<!DOCTYPE r [ <!ENTITY e 'v'> ]>\n<!-- <IP/> -->"
        "<r><![CDATA[<IP SvrIP0='no'/>]]><?pi <IP/> ?><IP SvrIP0='yes' SvrIP1='a>b'/></r>"
        "<!-- after -->"))
        << doc.ResultText();
    EXPECT_EQ(ReadServers(doc), "yes|a>b|");
}

TEST(XmlDocument, ReportsTheFirstErrorWithNameAndOffset) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Empty document"},
        {" text only <!-- c -->", "No root element"},
        {"<a/><b/>", "Root element has sibling"},
        {"<Kavo><IP SvrIP0='1'/>", "Element 'Kavo' at offset 0 not ended"},
        {"<a><b></a>", "End tag 'a' at offset 6 does not match start tag 'b' at offset 3"},
        {"<a></b></a>", "No start tag for end tag 'b' at offset 3"},
        {"<a><!DOCTYPE x [ ", "Doctype at offset 3 unterminated"},
        {"<a x='>", "Element tag at offset 0 unterminated"},
        {"<a></a", "Element end tag at offset 3 unterminated"},
        {"<a><![CDATA[ x", "CDATA Section at offset 3 unterminated"},
        {"<a><? x", "Processing instruction at offset 3 unterminated"},
        {"<a><!-- x", "Comment at offset 3 unterminated"},
        {"<a>1 < 2</a>", "Incorrect tag name character at offset 6"},
        {"<a><![x]></a>", "Incorrect ! tag at offset 3"},
        {"<a><!-x></a>", "Incorrect comment tag at offset 3"},
        {"<a><!></a>", "Incorrect tag at offset 3"},
        {"<a>", "Element 'a' at offset 0 not ended"},
        {"<", "Element tag at offset 0 unterminated"},
    };
    for (const auto& c : cases) {
        CXmlDocument doc;
        EXPECT_FALSE(doc.ParseText(c.text)) << c.text;
        EXPECT_EQ(doc.ResultText(), c.message) << c.text;
    }
    CXmlDocument doc;
    EXPECT_FALSE(doc.ParseText(nullptr));
    EXPECT_EQ(doc.ResultText(), "Empty document");
}

TEST(XmlDocument, MalformedDocumentStillIndexesWhatItCould) {
    CXmlDocument doc;
    // <b> is closed by </a> and flagged; the stray </c> is ignored.
    EXPECT_FALSE(doc.ParseText("<a><b><IP SvrIP0='1'/></c></a>"));
    EXPECT_EQ(doc.ResultText(), "No start tag for end tag 'c' at offset 22");
    doc.Rewind();
    ASSERT_TRUE(doc.NextElement("a"));
    ASSERT_TRUE(doc.NextChildElement("b"));
    EXPECT_FALSE(doc.NextChildElement());
    // Two roots: each is there, but the document is not well formed.
    EXPECT_FALSE(doc.ParseText("<K><IP SvrIP0='1'/></K><K/>"));
    EXPECT_EQ(ReadServers(doc), "1||");
}

TEST(XmlDocument, LoadsUtf8FilesAsGbk) {
    TempDir dir;
    CXmlDocument doc;
    const std::string cfg = dir.Write("KAVO.cfg", kConfig);
    ASSERT_TRUE(doc.LoadFile(cfg)) << doc.ResultText();
    EXPECT_EQ(doc.ResultText(), "UTF-8 text, " + std::to_string(std::strlen(kConfig)) + " bytes");
    EXPECT_EQ(ReadServers(doc), "127.0.0.1||");

    // Chinese converts; what GBK lacks, code points above U+FFFF and invalid sequences
    // (a lone continuation, a cut sequence, an overlong form, a surrogate) become "?".
    const std::string utf8 = "<r n='汉字한😀|\x80|\xE6\xB1|\xC0\xAF|\xED\xA0\x80|ok'/>";
    ASSERT_TRUE(doc.LoadBytes(utf8)) << doc.ResultText();
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementAttribute("n"), "\xBA\xBA\xD7\xD6??|?|?|??|???|ok");
    // A byte-order mark is dropped with the same result; undeclared text is UTF-8 as well.
    ASSERT_TRUE(doc.LoadBytes("\xEF\xBB\xBF<r n='汉'/>"));
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementAttribute("n"), "\xBA\xBA");
    // Any other declared encoding keeps the bytes as they are.
    ASSERT_TRUE(doc.LoadBytes("<?xml version='1.0' encoding='GBK'?><r n='\xBA\xBA'/>"));
    EXPECT_EQ(doc.ResultText().substr(0, 10), "GBK text, ");
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementAttribute("n"), "\xBA\xBA");
    ASSERT_TRUE(doc.LoadBytes("<?xml version='1.0' encoding='utf-8'?><r n='汉'/>"));
    ASSERT_TRUE(doc.NextElement());
    EXPECT_EQ(doc.ElementAttribute("n"), "\xBA\xBA");
}

TEST(XmlDocument, FileErrorsAndParseErrorsReachTheResultText) {
    TempDir dir;
    CXmlDocument doc;
    ASSERT_TRUE(doc.ParseText(kConfig));
    EXPECT_FALSE(doc.LoadFile(dir.path() + "/missing.cfg"));
    EXPECT_EQ(doc.ResultText(), std::strerror(ENOENT));
    EXPECT_EQ(ReadServers(doc), "no IP");  // nothing of the earlier document is left
    EXPECT_FALSE(doc.LoadFile(dir.path()));
    EXPECT_EQ(doc.ResultText(), std::strerror(EISDIR));

    EXPECT_FALSE(doc.LoadFile(dir.Write("open.cfg", "<Kavo><IP SvrIP0='1'/>")));
    EXPECT_EQ(doc.ResultText(), "UTF-8 text, 22 bytes, Element 'Kavo' at offset 0 not ended");
    EXPECT_FALSE(doc.LoadFile(dir.Write("empty.cfg", "")));
    EXPECT_EQ(doc.ResultText(), "UTF-8 text, 0 bytes, Empty document");
}

// Hostile input: the reader must stay linear, never recurse by depth and never read out
// of bounds (the sanitizer build runs these too).
TEST(XmlDocument, DeepNestingNeitherRecursesNorSlowsDown) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e" + std::to_string(i % 7) + ">";
    std::string closed = text;
    for (int i = depth - 1; i >= 0; --i) closed += "</e" + std::to_string(i % 7) + ">";
    CXmlDocument doc;
    EXPECT_TRUE(doc.ParseText(closed.c_str())) << doc.ResultText();
    EXPECT_FALSE(doc.ParseText(text.c_str()));
    EXPECT_EQ(doc.ResultText(), "Element 'e" + std::to_string((depth - 1) % 7) + "' at offset " +
                                    std::to_string(text.size() - 4) + " not ended");
    // Stray end tags against a deep stack of other names, and one end tag closing it all.
    std::string stray = text;
    for (int i = 0; i < depth; ++i) stray += "</x>";
    EXPECT_FALSE(doc.ParseText((stray + "</e0>").c_str()));
    EXPECT_EQ(doc.ResultText().substr(0, 26), "No start tag for end tag '");
    doc.Rewind();
    ASSERT_TRUE(doc.NextElement("e0"));
    ASSERT_TRUE(doc.NextChildElement("e1"));
}

TEST(XmlDocument, LargeFileParsesInOnePass) {
    std::string big = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Kavo>";
    const std::string row =
        "<Contact Name=\"张三 &amp; 李四\" Phone='13800000000'><Note>"
        "text &lt; more text, 汉字</Note></Contact>\n";
    while (big.size() < 50u * 1024 * 1024) big += row;
    big += "<IP SvrIP0=\"10.1.1.1\"/></Kavo>";
    TempDir dir;
    CXmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(dir.Write("big.cfg", big))) << doc.ResultText().substr(0, 200);
    EXPECT_EQ(ReadServers(doc), "10.1.1.1||");
    // Cut off in the middle of a tag.
    EXPECT_FALSE(doc.LoadBytes(std::string_view(big).substr(0, big.size() - 20)));
    EXPECT_NE(doc.ResultText().find("unterminated"), std::string::npos) << doc.ResultText();
}

TEST(XmlDocument, RandomBytesAndTruncationsNeverBreakTheReader) {
    std::mt19937 rng(1974);
    const std::string pieces[] = {"<",
                                  ">",
                                  "</",
                                  "/>",
                                  "<!--",
                                  "-->",
                                  "<![CDATA[",
                                  "]]>",
                                  "<?",
                                  "?>",
                                  "<!DOCTYPE",
                                  "[",
                                  "]",
                                  "'",
                                  "\"",
                                  "=",
                                  "&",
                                  "&#x",
                                  ";",
                                  "a",
                                  "IP",
                                  " ",
                                  "\xE6\xB1\x89",
                                  "\xFF",
                                  std::string(1, '\0')};
    CXmlDocument doc;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int count = rng() % 60;
        for (int i = 0; i < count; ++i) bytes += pieces[rng() % std::size(pieces)];
        if (rng() % 2) bytes = std::string(kConfig).substr(0, rng() % sizeof kConfig) + bytes;
        doc.LoadBytes(bytes);
        doc.Rewind();
        // Visit every element on the first two levels and ask for attributes.
        while (doc.NextElement()) {
            doc.ElementAttribute("SvrIP0");
            while (doc.NextChildElement()) doc.ChildAttribute("a");
        }
    }
    // A truncation at every byte of the configuration file.
    for (std::size_t n = 0; n + 1 < sizeof kConfig; ++n) {
        EXPECT_FALSE(doc.LoadBytes(std::string_view(kConfig, n))) << n;
        EXPECT_FALSE(doc.ResultText().empty());
    }
}
