// Any bytes as a vCard file, then every property asked for as the address book hands it
// out: GBK text cut to a small buffer and the birthday as a file time.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/gbk_text.h"
#include "pelbook/pelbook.h"
#include "pelbook/vcard_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<kavo::CVCardEntry> entries =
        kavo::ParseVCards(std::string_view(reinterpret_cast<const char*>(data), size));
    static const std::uint32_t kTags[] = {
        PELBOOK_PR_DISPLAY_NAME,
        PELBOOK_PR_TITLE,
        PELBOOK_PR_COMPANY_NAME,
        PELBOOK_PR_EMAIL_ADDRESS,
        PELBOOK_PR_OFFICE_LOCATION,
        PELBOOK_PR_MOBILE_TELEPHONE_NUMBER,
        PELBOOK_PR_BUSINESS_FAX_NUMBER,
        PELBOOK_PR_BUSINESS_TELEPHONE_NUMBER,
        PELBOOK_PR_BUSINESS_HOME_PAGE,
        PELBOOK_PR_POSTAL_CODE,
        PELBOOK_PR_HOME_TELEPHONE_NUMBER,
        PELBOOK_PR_NICKNAME,
        PELBOOK_PR_COMMENT,
    };
    for (const kavo::CVCardEntry& e : entries) {
        for (std::uint32_t tag : kTags) {
            const std::string* text = e.StringProperty(tag);
            if (!text) continue;
            char buffer[21];
            kavo::SetField(buffer, sizeof buffer, kavo::Utf8ToGbk(*text));
            if (buffer[20] != '\0') __builtin_trap();
        }
        if (e.birthYear != 0 && kavo::DateToFileTime(e.birthYear, e.birthMonth, e.birthDay) == 0) {
            __builtin_trap();  // a birthday the reader accepted must be a real date
        }
    }
    return 0;
}
