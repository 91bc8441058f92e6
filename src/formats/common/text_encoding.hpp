// The character encoding of text files: the program keeps UTF-8; files that are not valid UTF-8
// are taken as Latin-1 (the 8-bit code page of older programs) and decoded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tracora::formats {

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Every byte of `text` as the Latin-1 character of that code, in UTF-8.
std::string Latin1ToUtf8(std::string_view text);

// `text` without a leading UTF-8 byte-order mark, as UTF-8: unchanged when it is valid UTF-8,
// else decoded as Latin-1.
std::string TextAsUtf8(std::string_view text);

// The length in bytes of the UTF-8 sequence that starts with `lead` (1 for ASCII and for a
// byte that cannot start a sequence).
std::size_t Utf8SequenceLength(unsigned char lead);

// The code point of the sequence at `text[position]` (valid UTF-8 assumed), with its length.
char32_t DecodeUtf8At(std::string_view text, std::size_t position, std::size_t& length);

}  // namespace tracora::formats
