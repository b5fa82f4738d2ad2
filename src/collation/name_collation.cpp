#include "collation/name_collation.h"

#include <unicode/alphaindex.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace kavo {
namespace {

// The letter sections. An ImmutableIndex may be shared by threads.
struct Sections {
    std::unique_ptr<icu::AlphabeticIndex::ImmutableIndex> index;

    Sections() {
        UErrorCode status = U_ZERO_ERROR;
        icu::AlphabeticIndex builder(icu::Locale::getChinese(), status);
        if (U_SUCCESS(status)) index.reset(builder.buildImmutableIndex(status));
        if (U_FAILURE(status)) index.reset();
    }
};

const Sections& SharedSections() {
    static const Sections sections;
    return sections;
}

// A collator per thread: ICU collators are cheap to clone, and a clone of its own spares a
// thread any doubt about sharing one.
struct ThreadOrder {
    std::unique_ptr<icu::Collator> collator;
    // The section of a name follows from its first character when that is a letter or a
    // Chinese character; names share few of those, so each is looked up once.
    std::unordered_map<UChar32, int> sectionOfFirst;

    ThreadOrder() {
        UErrorCode status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getChinese(), status));
        if (U_FAILURE(status)) collator.reset();
    }
};

ThreadOrder& ThisThread() {
    thread_local ThreadOrder order;
    return order;
}

bool DecidesSection(UChar32 c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0x3400 && c <= 0x9FFF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

int SectionOf(ThreadOrder& order, const icu::UnicodeString& name) {
    const Sections& sections = SharedSections();
    if (!sections.index) return 0;
    UErrorCode status = U_ZERO_ERROR;
    const UChar32 first = name.isEmpty() ? 0 : name.char32At(0);
    if (!DecidesSection(first)) return sections.index->getBucketIndex(name, status);
    auto it = order.sectionOfFirst.find(first);
    if (it != order.sectionOfFirst.end()) return it->second;
    const int section = sections.index->getBucketIndex(icu::UnicodeString(first), status);
    if (U_FAILURE(status)) return 0;
    order.sectionOfFirst.emplace(first, section);
    return section;
}

}  // namespace

std::string NameSortKey(std::string_view utf8Name) {
    ThreadOrder& order = ThisThread();
    const icu::UnicodeString name = icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8Name.data(), static_cast<int32_t>(utf8Name.size())));
    std::string key(1, static_cast<char>(std::min(SectionOf(order, name), 255)));
    if (!order.collator) {
        // Without ICU's data the names keep at least the order of their code points.
        key.append(utf8Name);
        return key;
    }
    uint8_t buffer[256];
    int32_t length = order.collator->getSortKey(name, buffer, sizeof buffer);
    if (length <= static_cast<int32_t>(sizeof buffer)) {
        // The key ends in a 0 byte, which std::string needs no more than memcmp does.
        key.append(reinterpret_cast<const char*>(buffer), length > 0 ? length - 1 : 0);
        return key;
    }
    std::string whole(static_cast<std::size_t>(length), '\0');
    order.collator->getSortKey(name, reinterpret_cast<uint8_t*>(whole.data()), length);
    whole.pop_back();
    return key + whole;
}

}  // namespace kavo
