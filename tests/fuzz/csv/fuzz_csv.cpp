// Any bytes as a CSV file of contacts: the reader must neither overrun a field nor fail
// to keep every field terminated.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "import/csv_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<kavo::CRelData> out;
    kavo::ReadCsvContactsFromText(std::string_view(reinterpret_cast<const char*>(data), size), out);
    for (const kavo::CRelData& rec : out) {
        for (const kavo::FieldSpec& f : kavo::kRelFields) {
            const char* field = kavo::FieldPtr(&rec, f);
            if (field[f.width - 1] != '\0') __builtin_trap();
        }
    }
    return 0;
}
