#include "net/wire.h"

#include <array>
#include <cstring>

#include "net/field_codec.h"

namespace kavo::wire {
namespace {

constexpr CommandInfo Row(Cmd cmd, const char* name, bool token, std::uint32_t length,
                          bool variable, std::uint32_t replyMinimum) {
    return CommandInfo{cmd, name, ReplyCommand(cmd), token, length, variable, replyMinimum};
}

constexpr std::array<CommandInfo, kCommandCount> kCommands = {{
    Row(Cmd::Register, "Register", false, 144, false, 48),
    Row(Cmd::LoginClose, "LoginClose", true, 44, false, 16),
    Row(Cmd::Login, "Login", false, 104, false, 67),
    Row(Cmd::ChangePassword, "ChangePassword", true, 164, false, 16),
    Row(Cmd::NoticeCount, "NoticeCount", true, 44, false, 20),
    Row(Cmd::NoticeBatch, "NoticeBatch", true, 44, false, 16),
    Row(Cmd::ContactUploadBegin, "ContactUploadBegin", true, 52, false, 16),
    Row(Cmd::ContactUploadBatch, "ContactUploadBatch", true, 49, true, 16),
    Row(Cmd::ContactCount, "ContactCount", true, 44, false, 20),
    Row(Cmd::ContactDelete, "ContactDelete", true, 48, true, 16),
    Row(Cmd::ContactDownloadBatch, "ContactDownloadBatch", true, 44, false, 16),
    Row(Cmd::SmsCount, "SmsCount", true, 44, false, 20),
    Row(Cmd::SmsBatch, "SmsBatch", true, 52, false, 16),
    Row(Cmd::SmsDelete, "SmsDelete", true, 48, true, 16),
    Row(Cmd::AccountCount, "AccountCount", true, 44, false, 20),
    Row(Cmd::AccountBatch, "AccountBatch", true, 44, false, 16),
    Row(Cmd::AccountModify, "AccountModify", true, 44, true, 16),
    Row(Cmd::AccountAdd, "AccountAdd", true, 44, true, 16),
    Row(Cmd::AccountDelete, "AccountDelete", true, 46, true, 16),
    Row(Cmd::HistoryList, "HistoryList", true, 44, false, 20),
    Row(Cmd::MemberStatus, "MemberStatus", true, 44, false, 48),
    Row(Cmd::ServerStatistics, "ServerStatistics", true, 44, false, 88),
}};

}  // namespace

std::span<const CommandInfo> Commands() { return kCommands; }

const CommandInfo* FindCommand(std::uint32_t code) {
    for (const CommandInfo& info : kCommands)
        if (Code(info.command) == code) return &info;
    return nullptr;
}

const CommandInfo& InfoOf(Cmd cmd) { return *FindCommand(Code(cmd)); }

bool ParseRequestHeader(const std::uint8_t* data, std::size_t size, RequestHeader& out) {
    if (size < kRequestHeaderSize) return false;
    out.length = GetU32(data);
    out.command = GetU32(data + 4);
    out.sequence = GetU32(data + 8);
    return true;
}

bool ParseReplyHeader(const std::uint8_t* data, std::size_t size, ReplyHeader& out) {
    if (size < kReplyHeaderSize) return false;
    out.length = GetU32(data);
    out.command = GetU32(data + 4);
    out.sequence = GetU32(data + 8);
    out.result = GetU32(data + 12);
    return true;
}

// ---------------------------------------------------------------------------------------------
// CPacketWriter

CPacketWriter::CPacketWriter(std::uint8_t* buffer, std::size_t capacity)
    : buf_(buffer), capacity_(capacity) {}

bool CPacketWriter::Reserve(std::size_t n) {
    if (!ok_ || n > capacity_ - size_) {
        ok_ = false;
        return false;
    }
    return true;
}

void CPacketWriter::BeginRequest(Cmd cmd, std::uint32_t sequence, const std::uint8_t* token) {
    size_ = 0;
    ok_ = true;
    PutU32(0);
    PutU32(Code(cmd));
    PutU32(sequence);
    if (token) PutBytes(token, kTokenSize);
}

void CPacketWriter::BeginReply(std::uint32_t replyCommand, std::uint32_t sequence,
                               std::uint32_t result) {
    size_ = 0;
    ok_ = true;
    PutU32(0);
    PutU32(replyCommand);
    PutU32(sequence);
    PutU32(result);
}

bool CPacketWriter::PutU8(std::uint8_t v) {
    if (!Reserve(1)) return false;
    buf_[size_++] = v;
    return true;
}

bool CPacketWriter::PutU16(std::uint16_t v) {
    if (!Reserve(2)) return false;
    wire::PutU16(buf_ + size_, v);
    size_ += 2;
    return true;
}

bool CPacketWriter::PutU32(std::uint32_t v) {
    if (!Reserve(4)) return false;
    wire::PutU32(buf_ + size_, v);
    size_ += 4;
    return true;
}

bool CPacketWriter::PutBytes(const void* data, std::size_t n) {
    if (!Reserve(n)) return false;
    if (n) std::memcpy(buf_ + size_, data, n);
    size_ += n;
    return true;
}

bool CPacketWriter::PutZeros(std::size_t n) {
    if (!Reserve(n)) return false;
    std::memset(buf_ + size_, 0, n);
    size_ += n;
    return true;
}

bool CPacketWriter::PutFixedText(std::string_view text, std::size_t width) {
    if (text.size() > width) {
        ok_ = false;
        return false;
    }
    if (!Reserve(width)) return false;
    std::memset(buf_ + size_, 0, width);
    if (!text.empty()) std::memcpy(buf_ + size_, text.data(), text.size());
    size_ += width;
    return true;
}

bool CPacketWriter::PutU16String(std::string_view text) {
    if (text.size() > 0xFFFF) {
        ok_ = false;
        return false;
    }
    if (!Reserve(2 + text.size())) return false;
    PutU16(static_cast<std::uint16_t>(text.size()));
    return PutBytes(text.data(), text.size());
}

bool CPacketWriter::PutRecord(const void* record, std::span<const FieldSpec> fields) {
    if (!ok_) return false;
    std::size_t n = PackFields(record, fields, buf_ + size_, capacity_ - size_);
    if (n == 0) {
        ok_ = false;
        return false;
    }
    size_ += n;
    return true;
}

bool CPacketWriter::PutContact(CRelData& contact) {
    ConvertPictureSlashes(contact);
    return PutRecord(&contact, kRelFields);
}

bool CPacketWriter::PutSms(const CSmsData& sms) {
    if (!ok_) return false;
    std::size_t n = PackSms(sms, buf_ + size_, capacity_ - size_);
    if (n == 0) {
        ok_ = false;
        return false;
    }
    size_ += n;
    return true;
}

bool CPacketWriter::PatchU32(std::size_t offset, std::uint32_t v) {
    if (offset > size_ || size_ - offset < 4) {
        ok_ = false;
        return false;
    }
    wire::PutU32(buf_ + offset, v);
    return true;
}

std::size_t CPacketWriter::Finish() {
    if (!ok_ || size_ < 4) return 0;
    wire::PutU32(buf_, static_cast<std::uint32_t>(size_));
    return size_;
}

// ---------------------------------------------------------------------------------------------
// CPacketReader

bool CPacketReader::Seek(std::size_t pos) {
    if (pos > size_) return Fail();
    pos_ = pos;
    return true;
}

bool CPacketReader::Skip(std::size_t n) {
    if (n > remaining()) return Fail();
    pos_ += n;
    return true;
}

bool CPacketReader::ReadU8(std::uint8_t& v) {
    if (remaining() < 1) return Fail();
    v = data_[pos_++];
    return true;
}

bool CPacketReader::ReadU16(std::uint16_t& v) {
    if (remaining() < 2) return Fail();
    v = GetU16(data_ + pos_);
    pos_ += 2;
    return true;
}

bool CPacketReader::ReadU32(std::uint32_t& v) {
    if (remaining() < 4) return Fail();
    v = GetU32(data_ + pos_);
    pos_ += 4;
    return true;
}

bool CPacketReader::ReadBytes(void* out, std::size_t n) {
    if (n > remaining()) return Fail();
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
}

bool CPacketReader::ReadFixedText(std::string& out, std::size_t width) {
    if (width > remaining()) return Fail();
    const char* p = reinterpret_cast<const char*>(data_ + pos_);
    const void* nul = std::memchr(p, 0, width);
    out.assign(p, nul ? static_cast<const char*>(nul) - p : width);
    pos_ += width;
    return true;
}

bool CPacketReader::ReadU16String(std::string_view& out) {
    if (remaining() < 2) return Fail();
    std::size_t n = GetU16(data_ + pos_);
    if (n > remaining() - 2) return Fail();
    out = std::string_view(reinterpret_cast<const char*>(data_ + pos_ + 2), n);
    pos_ += 2 + n;
    return true;
}

bool CPacketReader::ReadRecord(void* record, std::span<const FieldSpec> fields) {
    if (!ok_) return false;
    std::size_t n = UnpackFields(data_ + pos_, remaining(), record, fields);
    if (n == 0) return Fail();
    pos_ += n;
    return true;
}

bool CPacketReader::ReadContact(CRelData& contact) { return ReadRecord(&contact, kRelFields); }
bool CPacketReader::ReadAccount(CAccountData& account) {
    return ReadRecord(&account, kAccountFields);
}
bool CPacketReader::ReadSms(CSmsData& sms) { return ReadRecord(&sms, kSmsFields); }
bool CPacketReader::ReadHistory(CHistoryData& history) {
    return ReadRecord(&history, kHistoryFields);
}

}  // namespace kavo::wire
