// Feeds kavo-server's request handler sequences of packets on one connection, against an
// in-memory database with one registered user whose session token is 32 bytes of 'A'.
// Input: records of [u8 role][u16 little-endian size][size bytes]; the harness writes the
// size into the packet's length field so the fuzzer spends its time on the bodies.

#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/md5_checksum.h"
#include "net/wire.h"
#include "server/request_handler.h"
#include "server/server_db.h"

namespace {

struct Fixture {
    kavo::CServerDb db;
    kavo::CRequestHandler handler{db, kavo::ServerConfig{}};

    Fixture() {
        db.Open(":memory:");
        handler.SetClock([] { return std::int64_t{1'800'000'000}; });
        handler.SetRandomSource([](std::uint8_t* out, std::size_t n) {
            std::memset(out, 'A', n);
            return true;
        });
        std::int64_t id = 0;
        std::string digest = kavo::CMD5Checksum::GetMD5("pw", 2);
        db.RegisterUser("fuzz", digest, "", 1'800'000'000, &id);
        db.CreateSession(std::string(32, 'A'), id, 1'800'000'000, 128);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    kavo::ConnectionState state;
    std::vector<std::uint8_t> packet;
    std::vector<std::uint8_t> reply(kavo::wire::kMaxPacket);
    std::size_t pos = 0;
    while (size - pos >= 3) {
        auto role = data[pos] & 1 ? kavo::ServerRole::Service : kavo::ServerRole::Login;
        std::size_t n = kavo::wire::GetU16(data + pos + 1);
        pos += 3;
        n = std::min(n, size - pos);
        n = std::min(n, kavo::wire::kMaxPacket);
        packet.assign(data + pos, data + pos + n);
        pos += n;
        if (packet.size() < kavo::wire::kRequestHeaderSize) continue;
        kavo::wire::PutU32(packet.data(), static_cast<std::uint32_t>(packet.size()));
        kavo::RequestOutcome outcome;
        std::size_t r = fixture.handler.Handle(role, packet.data(), packet.size(), state,
                                               "127.0.0.1", reply.data(), &outcome);
        if (r >= kavo::wire::kMaxPacket) __builtin_trap();
        if (r != 0 && kavo::wire::GetU32(reply.data()) != r) __builtin_trap();
    }
    return 0;
}
