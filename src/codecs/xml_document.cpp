#include "codecs/xml_document.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

// Offsets are reported as int, and the index keeps them in 32 bits.
constexpr std::size_t kMaxText = 0x7FFFFFFF;

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c > 0x60;
}

bool IsNameEnd(unsigned char c) {
    return IsSpace(c) ||
           std::string_view("<>=\\/?!").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::size_t NameEnd(std::string_view t, std::size_t p) {
    while (p < t.size() && !IsNameEnd(static_cast<unsigned char>(t[p]))) ++p;
    return p;
}

std::string At(const char* what, std::size_t offset) {
    return std::string(what) + " at offset " + std::to_string(offset);
}

std::string Quoted(std::string_view name) {
    std::string quoted(1, '\'');
    quoted.append(name);
    quoted += '\'';
    return quoted;
}

// Bytes taken by the UTF-8 sequence at s[i]; `valid` false for an invalid one, which then
// takes its lead byte and the continuation bytes that fit it (at least one byte).
std::size_t Utf8Sequence(std::string_view s, std::size_t i, bool& valid) {
    const auto c = static_cast<unsigned char>(s[i]);
    valid = true;
    if (c < 0x80) return 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the next byte: no overlongs, no surrogates
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        valid = false;
        return 1;
    }
    std::size_t k = 1;
    for (; k <= need && i + k < s.size(); ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if (d < lo || d > hi) break;
        lo = 0x80;
        hi = 0xBF;
    }
    valid = k > need;
    return k;
}

// UTF-8 file text to GBK, one code point at a time: what GBK lacks, code points above
// U+FFFF and invalid sequences each become "?". Valid runs go through the converter whole.
std::string Utf8ToLocal(std::string_view in) {
    if (IsAscii(in)) return std::string(in);
    std::string out;
    out.reserve(in.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < in.size();) {
        bool valid;
        const std::size_t len = Utf8Sequence(in, i, valid);
        if (valid && len < 4) {
            i += len;
            continue;
        }
        out += Utf8ToGbk(in.substr(run, i - run));
        out += '?';
        i += len;
        run = i;
    }
    out += Utf8ToGbk(in.substr(run));
    return out;
}

// GBK bytes of a character reference's code point; empty when it has none.
std::string CodePointToLocal(std::uint32_t cp) {
    if (cp == 0 || cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    std::string utf8;
    if (cp < 0x80) {
        utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
        utf8 += static_cast<char>(0xC0 | (cp >> 6));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
    std::string local = Utf8ToGbk(utf8);
    if (local == "?" && cp != '?') return {};
    return local;
}

// The code point of "#123" or "#x7B" (what lies between "&" and ";"); false when malformed.
bool ParseNumericReference(std::string_view ref, std::uint32_t& cp) {
    std::string_view digits = ref.substr(1);
    const bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (digits.empty()) return false;
    cp = 0;
    for (char ch : digits) {
        int v;
        if (ch >= '0' && ch <= '9') {
            v = ch - '0';
        } else if (hex && ch >= 'a' && ch <= 'f') {
            v = ch - 'a' + 10;
        } else if (hex && ch >= 'A' && ch <= 'F') {
            v = ch - 'A' + 10;
        } else {
            return false;
        }
        cp = cp * (hex ? 16 : 10) + v;  // at most 7 digits: no overflow
    }
    return true;
}

// Replaces each entity or character reference that can be read; anything else, and a
// character that GBK lacks, stays as written, starting with its "&".
std::string DecodeEntities(std::string_view value) {
    static constexpr struct {
        std::string_view name;
        char ch;
    } kNamed[] = {{"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        if (value[i] != '&') {
            out += value[i++];
            continue;
        }
        const std::string_view rest = value.substr(i + 1);
        std::size_t taken = 0;
        for (const auto& e : kNamed) {
            if (rest.substr(0, e.name.size()) == e.name) {
                out += e.ch;
                taken = e.name.size();
                break;
            }
        }
        if (taken == 0 && !rest.empty() && rest[0] == '#') {
            const std::size_t semi = rest.find(';');
            std::uint32_t cp;
            if (semi != std::string_view::npos && semi - 1 <= 7 &&
                ParseNumericReference(rest.substr(0, semi), cp)) {
                const std::string local = CodePointToLocal(cp);
                if (!local.empty()) {
                    out += local;
                    taken = semi + 1;
                }
            }
        }
        if (taken == 0) out += '&';
        i += 1 + taken;
    }
    return out;
}

// The "encoding" pseudo-attribute of an XML declaration at the start of the text.
std::string_view DeclaredEncoding(std::string_view t) {
    if (t.substr(0, 5) != "<?xml" || t.size() < 6 || !IsSpace(t[5])) return {};
    const std::string_view decl = t.substr(0, t.find("?>"));
    std::size_t p = decl.find("encoding");
    if (p == std::string_view::npos) return {};
    p += 8;
    while (p < decl.size() && IsSpace(decl[p])) ++p;
    if (p >= decl.size() || decl[p] != '=') return {};
    ++p;
    while (p < decl.size() && IsSpace(decl[p])) ++p;
    if (p >= decl.size() || (decl[p] != '"' && decl[p] != '\'')) return {};
    const std::size_t close = decl.find(decl[p], p + 1);
    if (close == std::string_view::npos) return {};
    return decl.substr(p + 1, close - p - 1);
}

}  // namespace

CXmlDocument::CXmlDocument() { elements_.emplace_back(); }

bool CXmlDocument::LoadFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    int error = file ? 0 : errno;
    std::string bytes;
    if (file) {
        char block[65536];
        std::size_t got;
        while (error == 0 && (got = std::fread(block, 1, sizeof block, file)) > 0) {
            bytes.append(block, got);
            if (bytes.size() > kMaxText) error = EFBIG;
        }
        if (error == 0 && std::ferror(file)) error = errno ? errno : EIO;
        std::fclose(file);
    }
    if (error != 0) {
        Parse({}, {});
        result_ = std::strerror(error);
        return false;
    }
    return LoadBytes(bytes);
}

bool CXmlDocument::LoadBytes(std::string_view bytes) {
    std::string_view body = bytes;
    const bool bom = body.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom) body.remove_prefix(3);
    const std::string_view encoding = DeclaredEncoding(body);
    const bool utf8 = bom || encoding.empty() || EqualsNoCase(encoding.substr(0, 5), "UTF-8");
    std::string load = (utf8 ? std::string("UTF-8") : std::string(encoding)) + " text, " +
                       std::to_string(bytes.size()) + " bytes";
    return Parse(utf8 ? Utf8ToLocal(body) : std::string(body), std::move(load));
}

bool CXmlDocument::ParseText(const char* text) { return Parse(text ? text : "", {}); }

bool CXmlDocument::Parse(std::string text, std::string loadText) {
    text_ = std::move(text);
    error_.clear();
    elements_.clear();
    if (text_.size() > kMaxText) {
        text_.clear();
        Error(std::strerror(EFBIG));
    }
    elements_.reserve(text_.size() / 64 + 8);
    elements_.emplace_back();
    elements_[0].length = static_cast<std::uint32_t>(text_.size());
    if (error_.empty()) Index();
    if (!error_.empty()) elements_[0].flags |= kNotWellFormed;
    result_ = std::move(loadText);
    if (!error_.empty()) result_ += (result_.empty() ? "" : ", ") + error_;
    Rewind();
    return error_.empty();
}

void CXmlDocument::Error(const std::string& message) {
    if (error_.empty()) error_ = message;
}

// One pass over the text. Open elements live on an explicit stack, and each name keeps
// the stack of its own open elements, so deep nesting and long runs of stray end tags
// cost neither recursion nor repeated scans.
void CXmlDocument::Index() {
    const std::string_view t = text_;
    const std::size_t n = t.size();
    std::vector<std::uint32_t> open;
    std::unordered_map<std::string_view, std::vector<std::uint32_t>> openByName;

    auto startTag = [&](std::size_t p, std::size_t nameEnd, std::size_t gt) {
        const auto index = static_cast<std::uint32_t>(elements_.size());
        Element e;
        e.start = static_cast<std::uint32_t>(p);
        e.tagLength = static_cast<std::uint32_t>(gt + 1 - p);
        e.nameLength = static_cast<std::uint32_t>(nameEnd - p - 1);
        e.parent = open.empty() ? 0 : open.back();
        Element& parent = elements_[e.parent];
        if (parent.lastChild != 0) {
            e.prev = parent.lastChild;
            elements_[parent.lastChild].next = index;
        } else {
            parent.firstChild = index;
        }
        parent.lastChild = index;
        if (t[gt - 1] == '/') {
            e.flags = kEmptyElement;
            e.length = e.tagLength;
            elements_.push_back(e);
        } else {
            elements_.push_back(e);
            open.push_back(index);
            openByName[NameOf(index)].push_back(index);
        }
    };
    auto pop = [&](std::size_t end, bool ended) {
        const std::uint32_t index = open.back();
        open.pop_back();
        openByName[NameOf(index)].pop_back();
        Element& e = elements_[index];
        e.length = static_cast<std::uint32_t>(end - e.start);
        if (!ended) e.flags |= kNotEnded;
        return index;
    };
    auto endTag = [&](std::string_view name, std::size_t p, std::size_t gt) {
        const auto found = openByName.find(name);
        if (found == openByName.end() || found->second.empty()) {
            Error("No start tag for end tag " + Quoted(name) + At("", p));
            return;
        }
        const std::uint32_t target = found->second.back();
        if (open.back() != target) {
            Error("End tag " + Quoted(name) + At("", p) + " does not match start tag " +
                  Quoted(NameOf(open.back())) + At("", elements_[open.back()].start));
        }
        while (open.back() != target) pop(p, false);
        pop(gt + 1, true);
    };
    // Finds `close` after `from`; on failure reports the token as unterminated.
    auto skipTo = [&](std::string_view close, std::size_t from, const char* kind,
                      std::size_t p) -> std::size_t {
        const std::size_t at = t.find(close, from);
        if (at == std::string_view::npos) {
            Error(At(kind, p) + " unterminated");
            return n;
        }
        return at + close.size();
    };

    std::size_t p = 0;
    while (p < n) {
        p = t.find('<', p);
        if (p == std::string_view::npos) break;
        const std::string_view rest = t.substr(p);
        const unsigned char c = p + 1 < n ? t[p + 1] : 0;
        if (rest.starts_with("<!--")) {
            p = skipTo("-->", p + 4, "Comment", p);
        } else if (rest.starts_with("<![CDATA[")) {
            p = skipTo("]]>", p + 9, "CDATA Section", p);
        } else if (rest.starts_with("<!-")) {
            Error(At("Incorrect comment tag", p));
            p += 2;
        } else if (rest.starts_with("<![")) {
            Error(At("Incorrect ! tag", p));
            p += 2;
        } else if (c == '!') {
            if (p + 2 >= n || !IsAsciiLetter(t[p + 2])) {
                Error(At("Incorrect tag", p));
                p += 2;
                continue;
            }
            // A declaration such as <!DOCTYPE ...>, with its internal subset in brackets.
            std::size_t q = p + 2;
            while (q < n && t[q] != '>') {
                q = t.find_first_of("[>", q);
                if (q != std::string_view::npos && t[q] == '[') q = t.find(']', q);
                if (q == std::string_view::npos)
                    q = n;
                else if (t[q] == ']')
                    ++q;
            }
            if (q >= n) Error(At("Doctype", p) + " unterminated");
            p = q + 1;
        } else if (c == '?') {
            p = skipTo("?>", p + 2, "Processing instruction", p);
        } else if (c == '/') {
            const std::size_t nameEnd = NameEnd(t, p + 2);
            const std::size_t gt = t.find('>', nameEnd);
            if (gt == std::string_view::npos) {
                Error(At("Element end tag", p) + " unterminated");
                break;
            }
            endTag(t.substr(p + 2, nameEnd - p - 2), p, gt);
            p = gt + 1;
        } else if (c != 0 && IsNameStart(c)) {
            const std::size_t nameEnd = NameEnd(t, p + 1);
            // The tag ends at the first ">" outside quotes.
            std::size_t q = nameEnd;
            while (q < n && t[q] != '>') {
                if (t[q] == '"' || t[q] == '\'') {
                    q = t.find(t[q], q + 1);
                    if (q == std::string_view::npos) q = n;
                }
                if (q < n) ++q;
            }
            if (q >= n) {
                Error(At("Element tag", p) + " unterminated");
                break;
            }
            startTag(p, nameEnd, q);
            p = q + 1;
        } else if (p + 1 >= n) {
            Error(At("Element tag", p) + " unterminated");
            break;
        } else {
            Error(At("Incorrect tag name character", p + 1));
            ++p;
        }
    }

    while (!open.empty()) {
        const std::uint32_t index = pop(n, false);
        Error("Element " + Quoted(NameOf(index)) + At("", elements_[index].start) + " not ended");
    }
    if (n == 0) {
        Error("Empty document");
    } else if (elements_[0].firstChild == 0) {
        Error("No root element");
    } else if (elements_[elements_[0].firstChild].next != 0) {
        Error("Root element has sibling");
    }
}

std::string_view CXmlDocument::NameOf(std::uint32_t element) const {
    const Element& e = elements_[element];
    return std::string_view(text_).substr(e.start + 1, e.nameLength);
}

void CXmlDocument::Rewind() {
    parent_ = 0;
    current_ = 0;
    child_ = 0;
}

std::uint32_t CXmlDocument::FindSibling(std::uint32_t from, const char* name) const {
    for (std::uint32_t i = from; i != 0; i = elements_[i].next) {
        if (!name || NameOf(i) == name) return i;
    }
    return 0;
}

bool CXmlDocument::NextElement(const char* name) {
    const std::uint32_t from = current_ ? elements_[current_].next : elements_[parent_].firstChild;
    const std::uint32_t found = FindSibling(from, name);
    if (found == 0) return false;
    current_ = found;
    child_ = 0;
    return true;
}

bool CXmlDocument::NextChildElement(const char* name) {
    if (current_ == 0) return false;
    const std::uint32_t from = child_ ? elements_[child_].next : elements_[current_].firstChild;
    const std::uint32_t found = FindSibling(from, name);
    if (found == 0) return false;
    child_ = found;
    return true;
}

std::string CXmlDocument::ElementAttribute(const char* name) const {
    return Attribute(current_, name);
}

std::string CXmlDocument::ChildAttribute(const char* name) const { return Attribute(child_, name); }

// Walks the start tag's attributes: name, then optionally "=" and a value in double or
// single quotes, or unquoted up to white space. The walk never leaves the tag.
std::string CXmlDocument::Attribute(std::uint32_t element, const char* name) const {
    if (element == 0 || !name) return {};
    const Element& e = elements_[element];
    const std::string_view tag = std::string_view(text_).substr(e.start, e.tagLength);
    // The ">" closes the tag, and "/>" an empty element.
    const std::size_t end = tag.size() - ((e.flags & kEmptyElement) ? 2 : 1);
    auto skipSpace = [&](std::size_t p) {
        while (p < end && IsSpace(tag[p])) ++p;
        return p;
    };
    std::size_t p = 1 + e.nameLength;
    while ((p = skipSpace(p)) < end) {
        std::size_t nameEnd = p;
        while (nameEnd < end && !IsNameEnd(tag[nameEnd])) ++nameEnd;
        if (nameEnd == p) {  // a stray "=", "/" or the like
            ++p;
            continue;
        }
        const std::string_view attribute = tag.substr(p, nameEnd - p);
        std::string_view value;
        p = skipSpace(nameEnd);
        if (p < end && tag[p] == '=') {
            p = skipSpace(p + 1);
            if (p < end && (tag[p] == '"' || tag[p] == '\'')) {
                const std::size_t close = std::min(tag.find(tag[p], p + 1), end);
                value = tag.substr(p + 1, close - p - 1);
                p = close + 1;
            } else {
                const std::size_t start = p;
                while (p < end && !IsSpace(tag[p])) ++p;
                value = tag.substr(start, p - start);
            }
        }
        if (attribute == name) return DecodeEntities(value);
    }
    return {};
}

}  // namespace kavo
