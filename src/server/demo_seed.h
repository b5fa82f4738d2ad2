// Demo data: SMS normally come from the phone edition, which this machine lacks, so a
// seeded user is how they, and the other server-side lists, show up in demos and tests.
#pragma once

#include <cstdint>
#include <string>

#include "server/server_store.h"

namespace kavo {

inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoPassword = "demo123";

// Creates the demo user with the known password, a few contacts, SMS, notices, game
// accounts and history entries. Run again, it sets the password back and adds nothing
// twice. `now` is the time of the seeded entries.
bool SeedDemo(IServerStore& db, std::int64_t now, std::string* error);

// Adds one server notice (UTF-8 text, cut to the notice's 49 bytes of GBK).
bool AddNoticeText(IServerStore& db, const std::string& utf8);

}  // namespace kavo
