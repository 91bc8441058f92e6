// Small text helpers shared by the whole program.
#pragma once

#include <string>
#include <string_view>

namespace tracora {

// printf-style formatting into a std::string.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` without the characters of `blanks` at either end.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " \t");

// Whether `a` and `b` are the same text but for the case of ASCII letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tracora
