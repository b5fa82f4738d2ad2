// Comparing GBK names without letter case, for the store's own lookups.
#pragma once

#include <string_view>

namespace kavo {

// True when both texts are the same characters, ASCII letters compared without case. The
// second byte of a double-byte character can look like an ASCII letter; it is compared as
// it is, so two different Chinese characters never count as one.
bool EqualsNoCaseGbk(std::string_view a, std::string_view b);

}  // namespace kavo
