#include "cli/tsv_output.h"

namespace kavo {

std::string EscapeTsvValue(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string TsvLine(const std::vector<std::string>& values) {
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) line += '\t';
        line += EscapeTsvValue(values[i]);
    }
    line += '\n';
    return line;
}

}  // namespace kavo
