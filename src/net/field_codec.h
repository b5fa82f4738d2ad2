// The u16-string form of the fixed-width records: each field travels as a little-endian
// u16 byte count followed by exactly that many text bytes, no terminator, no fill. A
// record is its fields back to back in table order; a batch is records back to back.
//
// Unpacking clips a field to width - 1 bytes but steps over all the bytes the count
// announces, so an over-long field never spills into the next one. Every count is checked
// against the bytes really there: an unpack that would run past the end fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "store/records.h"

namespace kavo::wire {

// Bytes of a field's text: up to its first NUL and never more than the field's width.
std::size_t FieldLength(const void* record, const FieldSpec& field);

// Bytes that PackFields writes for this record.
std::size_t PackedSize(const void* record, std::span<const FieldSpec> fields);

// Writes the record's u16-strings to out. Returns the bytes written, or 0 (writing
// nothing) when they do not fit in `capacity`.
std::size_t PackFields(const void* record, std::span<const FieldSpec> fields, std::uint8_t* out,
                       std::size_t capacity);

// Fills one record (zeroed first) from in[0..size). Returns the bytes consumed, or 0 when
// a count runs past `size`; the record then holds only what was read before.
std::size_t UnpackFields(const std::uint8_t* in, std::size_t size, void* record,
                         std::span<const FieldSpec> fields);

// Replaces every backslash of the contact's Picture path by a slash, stepping over whole
// GBK characters so that a trail byte equal to 0x5C is left alone.
void ConvertPictureSlashes(CRelData& contact);

// The contact's wire form, after ConvertPictureSlashes on the record itself.
std::size_t PackContact(CRelData& contact, std::uint8_t* out, std::size_t capacity);
// The contact's wire size; the slash rule does not change it.
std::size_t PackedContactSize(const CRelData& contact);

// The SMS wire form. Its id is binary, not text: it always goes as a count of 4 and the
// four little-endian bytes. The receiver keeps the low three bytes (a field of width 4).
std::size_t PackSms(const CSmsData& sms, std::uint8_t* out, std::size_t capacity);
std::size_t PackedSmsSize(const CSmsData& sms);

// Typed shorthands over the field tables of records.h.
inline std::size_t PackAccount(const CAccountData& a, std::uint8_t* out, std::size_t cap) {
    return PackFields(&a, kAccountFields, out, cap);
}
inline std::size_t PackHistory(const CHistoryData& h, std::uint8_t* out, std::size_t cap) {
    return PackFields(&h, kHistoryFields, out, cap);
}
inline std::size_t UnpackContact(const std::uint8_t* in, std::size_t size, CRelData& c) {
    return UnpackFields(in, size, &c, kRelFields);
}
inline std::size_t UnpackAccount(const std::uint8_t* in, std::size_t size, CAccountData& a) {
    return UnpackFields(in, size, &a, kAccountFields);
}
inline std::size_t UnpackSms(const std::uint8_t* in, std::size_t size, CSmsData& s) {
    return UnpackFields(in, size, &s, kSmsFields);
}
inline std::size_t UnpackHistory(const std::uint8_t* in, std::size_t size, CHistoryData& h) {
    return UnpackFields(in, size, &h, kHistoryFields);
}

}  // namespace kavo::wire
