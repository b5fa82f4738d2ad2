#include "import/address_book_import.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "codecs/gbk_text.h"
#include "pelbook/pelbook.h"

namespace kavo {
namespace {

// More entries than any address book holds: a count past it is not believed.
constexpr int kMaxEntries = 4 * 1024 * 1024;

struct LibraryCloser {
    void operator()(void* handle) const {
        if (handle) dlclose(handle);
    }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

LibraryHandle LoadPelbook(const std::string& programDir) {
    if (!programDir.empty()) {
        std::string path = programDir;
        if (path.back() != '/') path += '/';
        path += kPelbookLibraryName;
        if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return LibraryHandle(h);
    }
    return LibraryHandle(dlopen(kPelbookLibraryName, RTLD_NOW | RTLD_LOCAL));
}

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    return fn != nullptr;
}

struct Exports {
    PelbookOpenFn open;
    PelbookGetNumEntriesFn getNumEntries;
    PelbookGetEntriesFn getEntries;
    PelbookGetPropStringFn getPropString;
    PelbookGetPropSysTimeFn getPropSysTime;
    PelbookGetPropLongFn getPropLong;
    PelbookGetPropBoolFn getPropBool;
    PelbookGetPropShortFn getPropShort;
    PelbookFreeEntriesFn freeEntries;
    PelbookCloseFn close;

    bool ResolveAll(void* h) {
        // All ten must be there, even the three the import never calls: a library without
        // them is not the one this program was built for.
        return Resolve(h, "PelbookOpen", open) &&
               Resolve(h, "PelbookGetNumEntries", getNumEntries) &&
               Resolve(h, "PelbookGetEntries", getEntries) &&
               Resolve(h, "PelbookGetProp_String", getPropString) &&
               Resolve(h, "PelbookGetProp_SysTime", getPropSysTime) &&
               Resolve(h, "PelbookGetProp_Long", getPropLong) &&
               Resolve(h, "PelbookGetProp_Bool", getPropBool) &&
               Resolve(h, "PelbookGetProp_Short", getPropShort) &&
               Resolve(h, "PelbookFreeEntries", freeEntries) && Resolve(h, "PelbookClose", close);
    }
};

void SetFail(ImportError* error, ImportError reason) {
    if (error) *error = reason;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

// Reads one property of the string kind straight into a record's field.
template <std::size_t N>
void ReadString(const Exports& x, PelbookContext* ctx, const PelbookEntryId* id, std::uint32_t tag,
                char (&field)[N]) {
    x.getPropString(ctx, id, tag, field, static_cast<int>(N), 0);
    field[N - 1] = '\0';  // whatever the library did, the field stays terminated
}

}  // namespace

std::string FileTimeToDateText(std::uint64_t fileTime) {
    constexpr std::uint64_t kTicksPerDay = 86400ull * 10000000ull;
    constexpr std::int64_t kDays1601To1970 = 134774;
    std::int64_t days = static_cast<std::int64_t>(fileTime / kTicksPerDay) - kDays1601To1970;
    std::int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return text;
}

bool ReadAddressBookContacts(const std::string& programDir, std::vector<CRelData>& out,
                             ImportError* error) {
    out.clear();
    return ReadAddressBookContacts(
        programDir, static_cast<std::size_t>(kMaxEntries),
        [&out](std::span<const CRelData> part) { out.insert(out.end(), part.begin(), part.end()); },
        error);
}

bool ReadAddressBookContacts(const std::string& programDir, std::size_t batch,
                             const AddressBookSink& sink, ImportError* error) {
    LibraryHandle library = LoadPelbook(programDir);
    if (!library) {
        SetFail(error, ImportError::kLibraryMissing);
        return false;
    }
    Exports x{};
    if (!x.ResolveAll(library.get())) {
        SetFail(error, ImportError::kExportMissing);
        return false;
    }

    PelbookContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    if (x.open(&ctx) == 0) {
        SetFail(error, ImportError::kAddressBookRefused);
        return false;
    }
    const int count = x.getNumEntries(&ctx);
    if (count <= 0) {
        x.close(&ctx);
        SetFail(error, ImportError::kNone);
        return true;
    }
    if (count > kMaxEntries) {
        x.close(&ctx);
        SetFail(error, ImportError::kAddressBookRefused);
        return false;
    }

    std::vector<PelbookEntryId> ids(static_cast<std::size_t>(count));
    std::memset(ids.data(), 0, ids.size() * sizeof(PelbookEntryId));
    int n = x.getEntries(&ctx, ids.data(), count);
    if (n < 0) n = 0;
    if (n > count) n = count;

    // One part's worth of records, filled in place and handed on, then filled over.
    std::vector<CRelData> part(
        std::min(std::max<std::size_t>(batch, 1), static_cast<std::size_t>(std::max(n, 1))));
    std::size_t filled = 0;
    for (int i = 0; i < n; ++i) {
        const PelbookEntryId* id = &ids[static_cast<std::size_t>(i)];
        CRelData& rec = part[filled];
        rec.Clear();
        char name[50] = {};
        x.getPropString(&ctx, id, PELBOOK_PR_DISPLAY_NAME, name, sizeof name, 0);
        name[sizeof name - 1] = '\0';
        SetField(rec.RelName, FieldText(name));
        ReadString(x, &ctx, id, PELBOOK_PR_TITLE, rec.CorpPosition);
        ReadString(x, &ctx, id, PELBOOK_PR_COMPANY_NAME, rec.KeshNum);
        ReadString(x, &ctx, id, PELBOOK_PR_EMAIL_ADDRESS, rec.E_mail);
        ReadString(x, &ctx, id, PELBOOK_PR_OFFICE_LOCATION, rec.CompanyAddr);
        ReadString(x, &ctx, id, PELBOOK_PR_MOBILE_TELEPHONE_NUMBER, rec.MobilePhone1);
        std::uint64_t birthday = 0;
        x.getPropSysTime(&ctx, id, PELBOOK_PR_BIRTHDAY, &birthday);
        if (birthday != 0) SetField(rec.Birthday, FileTimeToDateText(birthday));
        ReadString(x, &ctx, id, PELBOOK_PR_BUSINESS_FAX_NUMBER, rec.OfficeFax);
        ReadString(x, &ctx, id, PELBOOK_PR_BUSINESS_TELEPHONE_NUMBER, rec.OfficePhone1);
        ReadString(x, &ctx, id, PELBOOK_PR_BUSINESS_HOME_PAGE, rec.CompanyWeb);
        ReadString(x, &ctx, id, PELBOOK_PR_POSTAL_CODE, rec.ZipCode);
        ReadString(x, &ctx, id, PELBOOK_PR_HOME_TELEPHONE_NUMBER, rec.HomePhone);
        ReadString(x, &ctx, id, PELBOOK_PR_NICKNAME, rec.NickName);
        ReadString(x, &ctx, id, PELBOOK_PR_COMMENT, rec.RelRemark);
        if (++filled < part.size()) continue;
        sink(std::span<const CRelData>(part.data(), filled));
        filled = 0;
    }
    if (filled > 0) sink(std::span<const CRelData>(part.data(), filled));

    x.freeEntries(&ctx, ids.data(), count);
    x.close(&ctx);
    SetFail(error, ImportError::kNone);
    return true;
}

}  // namespace kavo
