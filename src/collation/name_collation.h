// The order of contact names that Chinese users expect: by the pinyin of Chinese names,
// A to Z, with Latin names under the same letters ("Alice" among the A's, before 白), as
// phones and Chinese address books list them.
//
// The order is ICU's Chinese collation inside each letter of ICU's Chinese alphabetic index.
// Names that start with neither a letter nor a Chinese character (digits, signs) come
// before A, names in other scripts after Z.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

// A key whose byte order (std::string's <) is the order of the names: compute it once per
// name and compare keys instead of names. The name is UTF-8; invalid bytes sort as U+FFFD.
// Safe to call from any thread.
std::string NameSortKey(std::string_view utf8Name);

}  // namespace kavo
