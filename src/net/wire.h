// The wire format shared by the client and the reference server: command codes, header
// layouts, size limits, little-endian helpers and bounded packet builders and readers.
// One request packet is answered by one reply packet on the same connection.
//
// Request:  u32 length | u32 command | u32 sequence | [32-byte login token] | body
// Reply:    u32 length | u32 command | u32 sequence | u32 result | body
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "store/records.h"

namespace kavo::wire {

// Request command codes.
enum class Cmd : std::uint32_t {
    Register = 0x01,
    LoginClose = 0x02,
    Login = 0x04,
    ChangePassword = 0x05,
    NoticeCount = 0x20,
    NoticeBatch = 0x21,
    ContactUploadBegin = 0x32,
    ContactUploadBatch = 0x33,
    ContactCount = 0x34,
    ContactDelete = 0x37,
    ContactDownloadBatch = 0x38,
    SmsCount = 0x40,
    SmsBatch = 0x41,
    SmsDelete = 0x45,
    AccountCount = 0x50,
    AccountBatch = 0x51,
    AccountModify = 0x52,
    AccountAdd = 0x53,
    AccountDelete = 0x54,
    HistoryList = 0x60,
    MemberStatus = 0x71,
    ServerStatistics = 0x80,
};

inline constexpr std::size_t kCommandCount = 22;

inline constexpr std::size_t kRequestHeaderSize = 12;
inline constexpr std::size_t kTokenOffset = 12;
inline constexpr std::size_t kTokenSize = 32;
inline constexpr std::size_t kBodyOffset = kTokenOffset + kTokenSize;  // 44, with a token
inline constexpr std::size_t kReplyHeaderSize = 16;
inline constexpr std::size_t kReplyBodyOffset = kReplyHeaderSize;

// Both sides hold packets in buffers of this size; a reply of this length or more is refused.
inline constexpr std::size_t kMaxPacket = 8192;

inline constexpr std::uint32_t kReplyFlag = 0x80000000u;

// Contact upload batches stay strictly below the size of one in-memory contact.
inline constexpr std::size_t kUploadBatchLimit = 2170;
inline constexpr std::size_t kUploadBatchHeader = 49;  // token, u32 count at 44, u8 mode at 48

// Fixed text widths on the wire.
inline constexpr std::size_t kUserNameWidth = 50;
inline constexpr std::size_t kDigestWidth = 32;
inline constexpr std::size_t kTimeTextWidth = 6;
inline constexpr std::size_t kContactNameWidth = 50;          // one name of ContactDelete
inline constexpr std::size_t kNoticeSize = sizeof(CMsgData);  // 150, copied byte for byte
inline constexpr std::size_t kStatisticsSize = sizeof(CStatisticsData);  // 72

// Result codes the client itself sets.
inline constexpr int kResultOk = 0;
inline constexpr int kResultTransport = 26;    // any send/receive/connect failure
inline constexpr int kResultDataLength = 123;  // a packet or a field that does not fit

// The reply command that answers a request: the request's code with the top bit set,
// except ContactDownloadBatch (0x38), which is answered by 0x80000035.
constexpr std::uint32_t ReplyCommand(Cmd cmd) {
    if (cmd == Cmd::ContactDownloadBatch) return 0x80000035u;
    return static_cast<std::uint32_t>(cmd) | kReplyFlag;
}

constexpr std::uint32_t Code(Cmd cmd) { return static_cast<std::uint32_t>(cmd); }

// One row of the command table.
struct CommandInfo {
    Cmd command;
    const char* name;
    std::uint32_t replyCommand;
    bool hasToken;                // the 32-byte login token at 12..43
    std::uint32_t requestLength;  // exact length, or the minimum when variableLength
    bool variableLength;          // a body that grows with its content
    std::uint32_t replyMinimum;   // shortest reply the client accepts
};

// All 22 requests, in code order.
std::span<const CommandInfo> Commands();

// The table row of a request code, or nullptr for an unknown code.
const CommandInfo* FindCommand(std::uint32_t code);
const CommandInfo& InfoOf(Cmd cmd);

// Little-endian access to byte buffers. The caller guarantees the bytes are there.
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct RequestHeader {
    std::uint32_t length = 0;
    std::uint32_t command = 0;
    std::uint32_t sequence = 0;
};

struct ReplyHeader {
    std::uint32_t length = 0;
    std::uint32_t command = 0;
    std::uint32_t sequence = 0;
    std::uint32_t result = 0;
};

// Reads a header from the first bytes of a packet; false when fewer bytes are given.
bool ParseRequestHeader(const std::uint8_t* data, std::size_t size, RequestHeader& out);
bool ParseReplyHeader(const std::uint8_t* data, std::size_t size, ReplyHeader& out);

// Appends to a caller-owned buffer of fixed capacity. A write that does not fit writes
// nothing and marks the writer failed; every later write is refused too, so a packet is
// either complete or reported as broken by ok()/Finish().
class CPacketWriter {
public:
    CPacketWriter(std::uint8_t* buffer, std::size_t capacity);

    // Request header with the length left for Finish(); the token is written when given
    // (every request except Login and Register).
    void BeginRequest(Cmd cmd, std::uint32_t sequence, const std::uint8_t* token);
    // Reply header with the length left for Finish().
    void BeginReply(std::uint32_t replyCommand, std::uint32_t sequence, std::uint32_t result);

    bool PutU8(std::uint8_t v);
    bool PutU16(std::uint16_t v);
    bool PutU32(std::uint32_t v);
    bool PutBytes(const void* data, std::size_t n);
    bool PutZeros(std::size_t n);
    // A zero-filled field of `width` bytes holding the text's first bytes (no terminator
    // needed when the text fills it). False, writing nothing, when the text is longer.
    bool PutFixedText(std::string_view text, std::size_t width);
    // u16 count then the bytes; false when the text is longer than 65535 bytes.
    bool PutU16String(std::string_view text);
    // A record as u16-strings (see field_codec.h).
    bool PutRecord(const void* record, std::span<const FieldSpec> fields);
    // A contact, after turning backslashes of its Picture into slashes (in the record).
    bool PutContact(CRelData& contact);
    bool PutSms(const CSmsData& sms);

    // Overwrites a u32 already written (a count known only at the end).
    bool PatchU32(std::size_t offset, std::uint32_t v);

    // Writes the total length at offset 0 and returns it; 0 when any write failed.
    std::size_t Finish();

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    std::size_t room() const { return ok_ ? capacity_ - size_ : 0; }
    bool ok() const { return ok_; }
    std::uint8_t* data() { return buf_; }
    const std::uint8_t* data() const { return buf_; }

private:
    bool Reserve(std::size_t n);

    std::uint8_t* buf_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool ok_ = true;
};

// Reads a packet held in [data, data + size). Nothing is ever read past the end: a read
// that would is refused, leaves the position alone and marks the reader failed.
class CPacketReader {
public:
    CPacketReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Seek(std::size_t pos);
    bool Skip(std::size_t n);
    bool ReadU8(std::uint8_t& v);
    bool ReadU16(std::uint16_t& v);
    bool ReadU32(std::uint32_t& v);
    bool ReadBytes(void* out, std::size_t n);
    // A fixed field of `width` bytes; the text ends at its first NUL.
    bool ReadFixedText(std::string& out, std::size_t width);
    // A u16-string; the view points into the packet.
    bool ReadU16String(std::string_view& out);
    // One record of u16-strings, clipped field by field (see field_codec.h).
    bool ReadRecord(void* record, std::span<const FieldSpec> fields);
    bool ReadContact(CRelData& contact);
    bool ReadAccount(CAccountData& account);
    bool ReadSms(CSmsData& sms);
    bool ReadHistory(CHistoryData& history);

    std::size_t pos() const { return pos_; }
    std::size_t size() const { return size_; }
    std::size_t remaining() const { return size_ - pos_; }
    bool ok() const { return ok_; }
    const std::uint8_t* data() const { return data_; }

private:
    bool Fail() {
        ok_ = false;
        return false;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace kavo::wire
