#include "store/text_compare.h"

#include "codecs/gbk_text.h"

namespace kavo {

bool EqualsNoCaseGbk(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t i = 0;
    while (i < a.size()) {
        std::size_t n = GbkCharLength(a, i);
        if (n == 2) {
            if (GbkCharLength(b, i) != 2 || a.substr(i, 2) != b.substr(i, 2)) return false;
        } else if (!EqualsNoCase(a.substr(i, 1), b.substr(i, 1))) {
            return false;
        }
        i += n;
    }
    return true;
}

}  // namespace kavo
