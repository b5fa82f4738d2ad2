// Throughput of the codecs on inputs far larger than the program ever meets: the digest
// and the Base64 codec per megabyte, the password cipher per call, the XML reader on a
// 50 MB document.
#include <chrono>
#include <cstdio>
#include <string>

#include "codecs/base64.h"
#include "codecs/md5_checksum.h"
#include "codecs/xml_document.h"

namespace {

template <typename F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.1f %s\n", name, value, unit);
}

}  // namespace

int main() {
    const double mb = 64;
    std::string bytes(static_cast<std::size_t>(mb * 1024 * 1024), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);

    std::string digest;
    Report("md5",
           mb / Seconds([&] { digest = kavo::CMD5Checksum::GetMD5(bytes.data(), bytes.size()); }),
           "MB/s");

    kavo::CBase64 b64;
    Report("base64_encode",
           mb / Seconds([&] {
               b64.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
           }),
           "MB/s");
    const std::string text(b64.GetEncoded(), b64.GetEncodedLength());
    Report("base64_decode", mb / Seconds([&] { b64.Decode(text.data(), text.size()); }), "MB/s");

    // A fresh object, as the users table uses one: every reservation zero-fills the whole
    // buffer, so one grown by the megabytes above would dominate.
    kavo::CBase64 cipher;
    const int calls = 20000;
    std::string stored;
    Report("password_roundtrip",
           calls / Seconds([&] {
               for (int i = 0; i < calls; ++i) {
                   stored = cipher.EncipherText("K4v0#key", "password" + std::to_string(i));
                   cipher.DecipherText("K4v0#key", stored);
               }
           }),
           "calls/s");

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Kavo>";
    const std::string row =
        "<Contact Name=\"张三 &amp; 李四\" Phone='13800000000'><Note>text, 汉字</Note></Contact>\n";
    while (xml.size() < 50u * 1024 * 1024) xml += row;
    xml += "<IP SvrIP0=\"127.0.0.1\"/></Kavo>";
    kavo::CXmlDocument doc;
    bool ok = false;
    const double xmlMb = xml.size() / (1024.0 * 1024.0);
    Report("xml_load_utf8", xmlMb / Seconds([&] { ok = doc.LoadBytes(xml); }), "MB/s");
    Report("xml_parse_gbk", xmlMb / Seconds([&] { ok = ok && doc.ParseText(xml.c_str()); }),
           "MB/s");
    return ok && digest.size() == 32 ? 0 : 1;
}
