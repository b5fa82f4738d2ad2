// Feeds arbitrary bytes to the XML reader the way a KAVO.cfg file reaches it, then walks
// what it indexed and reads attributes, as the configuration reader does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codecs/xml_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kavo::CXmlDocument doc;
    doc.LoadBytes(bytes);
    for (int pass = 0; pass < 2; ++pass) {
        doc.Rewind();
        while (doc.NextElement(pass ? "Kavo" : nullptr)) {
            doc.ElementAttribute("SvrIP0");
            while (doc.NextChildElement(pass ? "IP" : nullptr)) {
                doc.ChildAttribute("SvrIP0");
                doc.ChildAttribute("SvrIP2");
            }
        }
        // The same bytes as text that is already GBK (up to the first NUL).
        doc.ParseText(std::string(bytes).c_str());
    }
    (void)doc.ResultText().size();
    return 0;
}
