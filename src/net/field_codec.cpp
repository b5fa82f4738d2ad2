#include "net/field_codec.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "codecs/gbk_text.h"
#include "net/wire.h"

namespace kavo::wire {

std::size_t FieldLength(const void* record, const FieldSpec& field) {
    // Fields are short and mostly empty: a plain scan beats a library call per field.
    const char* p = FieldPtr(record, field);
    std::size_t n = 0;
    while (n < field.width && p[n] != 0) ++n;
    return n;
}

std::size_t PackedSize(const void* record, std::span<const FieldSpec> fields) {
    std::size_t total = 0;
    for (const FieldSpec& f : fields) total += 2 + FieldLength(record, f);
    return total;
}

std::size_t PackFields(const void* record, std::span<const FieldSpec> fields, std::uint8_t* out,
                       std::size_t capacity) {
    // Each field's length is measured once; the record is written only when it all fits.
    constexpr std::size_t kMaxFields = 64;
    std::size_t lengths[kMaxFields];
    if (fields.size() > kMaxFields) return 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        lengths[i] = FieldLength(record, fields[i]);
        total += 2 + lengths[i];
    }
    if (total > capacity) return 0;
    std::uint8_t* p = out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::size_t n = lengths[i];
        PutU16(p, static_cast<std::uint16_t>(n));
        if (n) std::memcpy(p + 2, FieldPtr(record, fields[i]), n);
        p += 2 + n;
    }
    return total;
}

std::size_t UnpackFields(const std::uint8_t* in, std::size_t size, void* record,
                         std::span<const FieldSpec> fields) {
    // Every field of a record lies inside it, so the end of the last one is its size.
    std::size_t recordSize = 0;
    for (const FieldSpec& f : fields) recordSize = std::max(recordSize, f.offset + f.width);
    std::memset(record, 0, recordSize);
    std::size_t pos = 0;
    for (const FieldSpec& f : fields) {
        if (size - pos < 2) return 0;
        std::size_t n = GetU16(in + pos);
        pos += 2;
        if (n > size - pos) return 0;
        if (n && f.width > 1) std::memcpy(FieldPtr(record, f), in + pos, std::min(n, f.width - 1));
        pos += n;
    }
    return pos;
}

void ConvertPictureSlashes(CRelData& contact) {
    char* p = contact.Picture;
    constexpr FieldSpec kPicture{"Picture", offsetof(CRelData, Picture), sizeof(contact.Picture)};
    std::size_t size = FieldLength(&contact, kPicture);
    // Most pictures are empty or plain ASCII paths; the GBK walk is needed only for the rest.
    if (!std::memchr(p, '\\', size)) return;
    std::string_view text(p, size);
    for (std::size_t pos = 0; pos < size;) {
        std::size_t n = GbkCharLength(text, pos);
        if (n == 1 && p[pos] == '\\') p[pos] = '/';
        pos += n;
    }
}

std::size_t PackContact(CRelData& contact, std::uint8_t* out, std::size_t capacity) {
    ConvertPictureSlashes(contact);
    return PackFields(&contact, kRelFields, out, capacity);
}

std::size_t PackedContactSize(const CRelData& contact) { return PackedSize(&contact, kRelFields); }

std::size_t PackedSmsSize(const CSmsData& sms) {
    return 2 + sizeof(sms.SmsID) + PackedSize(&sms, std::span(kSmsFields).subspan(1));
}

std::size_t PackSms(const CSmsData& sms, std::uint8_t* out, std::size_t capacity) {
    std::size_t total = PackedSmsSize(sms);
    if (total > capacity) return 0;
    PutU16(out, sizeof(sms.SmsID));
    PutU32(out + 2, sms.SmsID);
    PackFields(&sms, std::span(kSmsFields).subspan(1), out + 6, capacity - 6);
    return total;
}

}  // namespace kavo::wire
