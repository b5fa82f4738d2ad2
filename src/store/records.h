// The fixed-width records that move between the windows, the store and the wire.
// Plain, zero-filled blocks of NUL-terminated GBK text fields: a field of width w holds
// at most w - 1 bytes. Their sizes and offsets are part of the wire format and of the
// field codec's tables, so they are pinned down at compile time below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace kavo {

// One contact: 33 fields, in the column order of KAVO_RELATION and of the wire record.
struct CRelData {
    char RelName[50];
    char CorpPosition[50];
    char MobilePhone1[21];
    char MobilePhone2[21];
    char MobilePhone3[21];
    char OfficePhone1[21];
    char OfficePhone2[21];
    char OfficePhone3[21];
    char OfficeFax[21];
    char CompanyWeb[50];
    char CompanyAddr[100];
    char HomeAddr[100];
    char HomePhone[21];
    char Birthday[20];
    char Anniversary[20];
    char NickName[20];
    char Picture[260];
    char Ring[260];
    char IDCard[30];
    char Account1[50];
    char Account2[50];
    char Account3[50];
    char Account4[50];
    char Account5[50];
    char ClientID[20];
    char QQ[20];
    char MSN[40];
    char ICQ[20];
    char KeshNum[100];
    char E_mail[50];
    char GroupName[10];
    char ZipCode[20];
    char RelRemark[512];

    CRelData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// One user who has logged in on this machine. The password is plain in memory.
struct CUserData {
    char UserName[50];
    char UserPwd[20];
    char UserEmail[50];
    std::int32_t LoginState;
    std::int64_t LastTime;  // seconds since the epoch, local time of the last save; 0 unknown

    CUserData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// One game account record, kept on the server.
struct CAccountData {
    char AccountName[50];
    char GameName[50];
    char AccountID[50];
    char AccountPwd[50];
    char Remark[512];

    CAccountData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// One SMS that the phone edition uploaded.
struct CSmsData {
    std::uint32_t SmsID;
    char ContactName[50];
    char PhoneNumber[30];
    char SmsTime[20];
    char SmsText[260];

    CSmsData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// One server notice: the first 50 bytes are its text; the rest is carried unchanged.
struct CMsgData {
    char MsgText[50];
    char Reserved[100];

    CMsgData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// One entry of the user's operation history.
struct CHistoryData {
    char UserName[50];
    char OperTime[20];
    char Operation[100];

    CHistoryData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

// The server's statistics: count and last operation time of the contacts, SMS and game
// accounts it stores, in that order. Little-endian counts, as on the wire.
struct CStatItem {
    std::uint32_t Count;
    char LastTime[20];
};

struct CStatisticsData {
    CStatItem Contacts;
    CStatItem Sms;
    CStatItem Accounts;

    CStatisticsData() { Clear(); }
    void Clear() { std::memset(this, 0, sizeof(*this)); }
};

static_assert(sizeof(CRelData) == 2170);
static_assert(offsetof(CRelData, MobilePhone1) == 100);
static_assert(offsetof(CRelData, Picture) == 578);
static_assert(offsetof(CRelData, GroupName) == 1628);
static_assert(offsetof(CRelData, RelRemark) == 1658);
static_assert(sizeof(CAccountData) == 712);
static_assert(offsetof(CAccountData, Remark) == 200);
static_assert(sizeof(CSmsData) == 364);
static_assert(offsetof(CSmsData, ContactName) == 4);
static_assert(offsetof(CSmsData, SmsText) == 104);
static_assert(sizeof(CMsgData) == 150);
static_assert(sizeof(CHistoryData) == 170);
static_assert(sizeof(CStatItem) == 24);
static_assert(sizeof(CStatisticsData) == 72);
static_assert(offsetof(CStatisticsData, Accounts) == 48);

// Field tables: (offset, width) of every field in record order. The field codec, the
// contacts table, CSV import and the printer all walk these.
struct FieldSpec {
    const char* name;  // the column name
    std::size_t offset;
    std::size_t width;
};

#define KAVO_FIELD(rec, f) FieldSpec{#f, offsetof(rec, f), sizeof(rec::f)}

inline constexpr FieldSpec kRelFields[] = {
    KAVO_FIELD(CRelData, RelName),      KAVO_FIELD(CRelData, CorpPosition),
    KAVO_FIELD(CRelData, MobilePhone1), KAVO_FIELD(CRelData, MobilePhone2),
    KAVO_FIELD(CRelData, MobilePhone3), KAVO_FIELD(CRelData, OfficePhone1),
    KAVO_FIELD(CRelData, OfficePhone2), KAVO_FIELD(CRelData, OfficePhone3),
    KAVO_FIELD(CRelData, OfficeFax),    KAVO_FIELD(CRelData, CompanyWeb),
    KAVO_FIELD(CRelData, CompanyAddr),  KAVO_FIELD(CRelData, HomeAddr),
    KAVO_FIELD(CRelData, HomePhone),    KAVO_FIELD(CRelData, Birthday),
    KAVO_FIELD(CRelData, Anniversary),  KAVO_FIELD(CRelData, NickName),
    KAVO_FIELD(CRelData, Picture),      KAVO_FIELD(CRelData, Ring),
    KAVO_FIELD(CRelData, IDCard),       KAVO_FIELD(CRelData, Account1),
    KAVO_FIELD(CRelData, Account2),     KAVO_FIELD(CRelData, Account3),
    KAVO_FIELD(CRelData, Account4),     KAVO_FIELD(CRelData, Account5),
    KAVO_FIELD(CRelData, ClientID),     KAVO_FIELD(CRelData, QQ),
    KAVO_FIELD(CRelData, MSN),          KAVO_FIELD(CRelData, ICQ),
    KAVO_FIELD(CRelData, KeshNum),      KAVO_FIELD(CRelData, E_mail),
    KAVO_FIELD(CRelData, GroupName),    KAVO_FIELD(CRelData, ZipCode),
    KAVO_FIELD(CRelData, RelRemark),
};

inline constexpr FieldSpec kAccountFields[] = {
    KAVO_FIELD(CAccountData, AccountName), KAVO_FIELD(CAccountData, GameName),
    KAVO_FIELD(CAccountData, AccountID),   KAVO_FIELD(CAccountData, AccountPwd),
    KAVO_FIELD(CAccountData, Remark),
};

inline constexpr FieldSpec kSmsFields[] = {
    KAVO_FIELD(CSmsData, SmsID),       KAVO_FIELD(CSmsData, ContactName),
    KAVO_FIELD(CSmsData, PhoneNumber), KAVO_FIELD(CSmsData, SmsTime),
    KAVO_FIELD(CSmsData, SmsText),
};

inline constexpr FieldSpec kHistoryFields[] = {
    KAVO_FIELD(CHistoryData, UserName),
    KAVO_FIELD(CHistoryData, OperTime),
    KAVO_FIELD(CHistoryData, Operation),
};

#undef KAVO_FIELD

inline constexpr std::size_t kRelFieldCount = std::size(kRelFields);
static_assert(kRelFieldCount == 33);

// Field i of a record, as a pointer into it.
inline char* FieldPtr(void* record, const FieldSpec& f) {
    return static_cast<char*>(record) + f.offset;
}
inline const char* FieldPtr(const void* record, const FieldSpec& f) {
    return static_cast<const char*>(record) + f.offset;
}

}  // namespace kavo
