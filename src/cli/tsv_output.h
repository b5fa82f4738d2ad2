// The tables kavoctl prints: UTF-8, one record per line, columns separated by tabs, a
// first line of column names. A value keeps to its line: a backslash is written as "\\",
// a tab as "\t", a line feed as "\n" and a carriage return as "\r".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

std::string EscapeTsvValue(std::string_view utf8);

// One line: the escaped values joined by tabs, ended by "\n".
std::string TsvLine(const std::vector<std::string>& values);

}  // namespace kavo
