// Packing and unpacking contacts in their wire form: contacts per CPU second each way.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"

using namespace kavo;

namespace {

constexpr int kContacts = 10000;
constexpr int kRounds = 20;

std::vector<CRelData> MakeContacts() {
    std::vector<CRelData> list(kContacts);
    for (int i = 0; i < kContacts; ++i) {
        CRelData& c = list[i];
        SetField(c.RelName, "\xd5\xc5\xc8\xfd" + std::to_string(i));  // a Chinese name
        SetField(c.CorpPosition, "Manager");
        SetField(c.MobilePhone1, "138" + std::to_string(10000000 + i));
        SetField(c.OfficePhone1, "010-6" + std::to_string(1000000 + i));
        SetField(c.CompanyAddr, "No. 8 Some Road, Some District, Some City");
        SetField(c.E_mail, "user" + std::to_string(i) + "@example.com");
        SetField(c.Picture, "C:\\photos\\p" + std::to_string(i) + ".jpg");
        SetField(c.RelRemark, "A remark of moderate length about this contact.");
    }
    return list;
}

// CPU time of this thread: the figure stays meaningful on a machine busy with other work.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main() {
    std::vector<CRelData> contacts = MakeContacts();
    std::vector<std::uint8_t> wire(static_cast<std::size_t>(kContacts) * 2300);
    std::size_t used = 0;

    double t0 = CpuSeconds();
    for (int r = 0; r < kRounds; ++r) {
        used = 0;
        for (CRelData& c : contacts)
            used += wire::PackContact(c, wire.data() + used, wire.size() - used);
    }
    double t1 = CpuSeconds();

    CRelData out;
    std::size_t sink = 0;
    for (int r = 0; r < kRounds; ++r) {
        std::size_t pos = 0;
        for (int i = 0; i < kContacts; ++i) {
            pos += wire::UnpackContact(wire.data() + pos, used - pos, out);
            sink += static_cast<unsigned char>(out.RelName[4]);
        }
        if (pos != used) std::fprintf(stderr, "unpack stopped at %zu of %zu\n", pos, used);
    }
    double t2 = CpuSeconds();

    double n = static_cast<double>(kContacts) * kRounds;
    std::printf("BENCH net_pack_contacts %.0f contacts/s\n", n / (t1 - t0));
    std::printf("BENCH net_unpack_contacts %.0f contacts/s\n", n / (t2 - t1));
    std::printf("BENCH net_packed_contact_bytes %.1f bytes\n",
                static_cast<double>(used) / kContacts);
    return sink == 42 ? 1 : 0;
}
