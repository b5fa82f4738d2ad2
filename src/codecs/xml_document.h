// A small, lenient XML reader: it loads a document, indexes its elements in one pass and
// lets the caller walk them and read attributes. It reads the server list in "KAVO.cfg".
// Any bytes are accepted; what is malformed is reported in the result text, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

class CXmlDocument {
public:
    CXmlDocument();

    // Reads and parses a file; true when it was read and is well formed. A file that cannot
    // be read leaves the system's description of the error in the result text.
    bool LoadFile(const std::string& path);
    // Parses file bytes as LoadFile does once it has read them: UTF-8 text (declared so, or
    // undeclared) is converted to GBK first.
    bool LoadBytes(std::string_view bytes);
    // Parses text that is already GBK; null counts as empty. True when well formed.
    bool ParseText(const char* text);

    // Back to the document level with nothing current.
    void Rewind();
    // The next element (the first when nothing is current) at the current level, of that
    // name or, without one, of any name.
    bool NextElement(const char* name = nullptr);
    // The same among the children of the current element.
    bool NextChildElement(const char* name = nullptr);
    // Decoded attribute values of the current element and of its current child; empty
    // when there is no such element or attribute.
    std::string ElementAttribute(const char* name) const;
    std::string ChildAttribute(const char* name) const;

    // What the last load did and the first parse error.
    const std::string& ResultText() const { return result_; }

private:
    enum Flags : std::uint8_t {
        kEmptyElement = 1,  // <name/>
        kNotEnded = 2,      // closed by the end of the text or by an ancestor's end tag
        kNotWellFormed = 4  // kept on entry 0
    };
    struct Element {
        std::uint32_t start = 0;      // offset of "<"
        std::uint32_t length = 0;     // the whole element, end tag included
        std::uint32_t tagLength = 0;  // the start tag
        std::uint32_t nameLength = 0;
        std::uint32_t parent = 0;
        std::uint32_t firstChild = 0;  // 0: none (entry 0 is never anyone's child)
        std::uint32_t lastChild = 0;
        std::uint32_t next = 0;
        std::uint32_t prev = 0;
        std::uint8_t flags = 0;
    };

    bool Parse(std::string text, std::string loadText);
    void Index();
    void Error(const std::string& message);
    std::string_view NameOf(std::uint32_t element) const;
    std::uint32_t FindSibling(std::uint32_t from, const char* name) const;
    std::string Attribute(std::uint32_t element, const char* name) const;

    std::string text_;
    std::vector<Element> elements_;
    std::string error_;  // the first parse error
    std::string result_;
    std::uint32_t parent_ = 0;
    std::uint32_t current_ = 0;
    std::uint32_t child_ = 0;
};

}  // namespace kavo
