// The address-book library's interface, as the program loads it at run time.
//
// libpelbook.so reads the user's address book and hands it out entry by entry. The
// caller owns a 12-byte context that PelbookOpen fills and that every later call takes;
// entries are named by 8-byte identifiers that PelbookGetEntries writes into an array the
// caller allocates. Properties are asked for by MAPI property tag (identifier in the upper
// 16 bits, type in the lower 16 bits). Text comes back as zero-terminated GBK.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define PELBOOK_API __attribute__((visibility("default")))
#else
#define PELBOOK_API
#endif

// Opaque to the caller; only the library reads or writes its bytes.
typedef struct PelbookContext {
    unsigned char bytes[12];
} PelbookContext;

typedef struct PelbookEntryId {
    unsigned char bytes[8];
} PelbookEntryId;

// Property types.
#define PELBOOK_PT_SHORT 0x0002u
#define PELBOOK_PT_LONG 0x0003u
#define PELBOOK_PT_BOOLEAN 0x000Bu
#define PELBOOK_PT_STRING8 0x001Eu
#define PELBOOK_PT_SYSTIME 0x0040u

// The properties the program reads, and a few more the library can answer.
#define PELBOOK_PR_DISPLAY_NAME 0x3001001Eu
#define PELBOOK_PR_EMAIL_ADDRESS 0x3003001Eu
#define PELBOOK_PR_COMMENT 0x3004001Eu
#define PELBOOK_PR_GIVEN_NAME 0x3A06001Eu
#define PELBOOK_PR_BUSINESS_TELEPHONE_NUMBER 0x3A08001Eu
#define PELBOOK_PR_HOME_TELEPHONE_NUMBER 0x3A09001Eu
#define PELBOOK_PR_SURNAME 0x3A11001Eu
#define PELBOOK_PR_COMPANY_NAME 0x3A16001Eu
#define PELBOOK_PR_TITLE 0x3A17001Eu
#define PELBOOK_PR_DEPARTMENT_NAME 0x3A18001Eu
#define PELBOOK_PR_OFFICE_LOCATION 0x3A19001Eu
#define PELBOOK_PR_MOBILE_TELEPHONE_NUMBER 0x3A1C001Eu
#define PELBOOK_PR_BUSINESS_FAX_NUMBER 0x3A24001Eu
#define PELBOOK_PR_POSTAL_CODE 0x3A2A001Eu
#define PELBOOK_PR_BIRTHDAY 0x3A420040u
#define PELBOOK_PR_GENDER 0x3A4D0002u
#define PELBOOK_PR_NICKNAME 0x3A4F001Eu
#define PELBOOK_PR_PERSONAL_HOME_PAGE 0x3A50001Eu
#define PELBOOK_PR_BUSINESS_HOME_PAGE 0x3A51001Eu
#define PELBOOK_PR_OBJECT_TYPE 0x0FFE0003u

// Non-zero when the address book was opened; zero when there is none to open.
PELBOOK_API int PelbookOpen(PelbookContext* context);
// Number of entries; zero or less means none.
PELBOOK_API int PelbookGetNumEntries(PelbookContext* context);
// Writes at most `capacity` identifiers into `entries`; returns how many it wrote.
PELBOOK_API int PelbookGetEntries(PelbookContext* context, PelbookEntryId* entries, int capacity);
// Writes the property's text into `buffer` as zero-terminated GBK that fits `size` bytes,
// never splitting a double-byte character; an absent property leaves an empty text.
// Non-zero when the entry has the property. `flags` must be 0.
PELBOOK_API int PelbookGetProp_String(PelbookContext* context, const PelbookEntryId* entry,
                                      uint32_t tag, char* buffer, int size, int flags);
// Writes the property's time as a file time (100 ns units since 1601-01-01, UTC); an
// absent property leaves the time unchanged. Non-zero when the entry has the property.
PELBOOK_API int PelbookGetProp_SysTime(PelbookContext* context, const PelbookEntryId* entry,
                                       uint32_t tag, uint64_t* fileTime);
PELBOOK_API int PelbookGetProp_Long(PelbookContext* context, const PelbookEntryId* entry,
                                    uint32_t tag, int32_t* value);
PELBOOK_API int PelbookGetProp_Bool(PelbookContext* context, const PelbookEntryId* entry,
                                    uint32_t tag, int32_t* value);
PELBOOK_API int PelbookGetProp_Short(PelbookContext* context, const PelbookEntryId* entry,
                                     uint32_t tag, int16_t* value);
// Releases what PelbookGetEntries attached to the identifiers; the caller frees the array.
PELBOOK_API int PelbookFreeEntries(PelbookContext* context, PelbookEntryId* entries, int count);
PELBOOK_API int PelbookClose(PelbookContext* context);

typedef int (*PelbookOpenFn)(PelbookContext*);
typedef int (*PelbookGetNumEntriesFn)(PelbookContext*);
typedef int (*PelbookGetEntriesFn)(PelbookContext*, PelbookEntryId*, int);
typedef int (*PelbookGetPropStringFn)(PelbookContext*, const PelbookEntryId*, uint32_t, char*, int,
                                      int);
typedef int (*PelbookGetPropSysTimeFn)(PelbookContext*, const PelbookEntryId*, uint32_t, uint64_t*);
typedef int (*PelbookGetPropLongFn)(PelbookContext*, const PelbookEntryId*, uint32_t, int32_t*);
typedef int (*PelbookGetPropBoolFn)(PelbookContext*, const PelbookEntryId*, uint32_t, int32_t*);
typedef int (*PelbookGetPropShortFn)(PelbookContext*, const PelbookEntryId*, uint32_t, int16_t*);
typedef int (*PelbookFreeEntriesFn)(PelbookContext*, PelbookEntryId*, int);
typedef int (*PelbookCloseFn)(PelbookContext*);

#ifdef __cplusplus
}
#endif
