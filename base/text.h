#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace loopsmith {

// 1048576 -> "1,048,576", as every figure the user reads is written.
std::string WithCommas(std::uint64_t value);

// A file name as a line of text shows it: unchanged, or where it holds a
// newline or another control character, or bytes that are not UTF-8, quoted
// as the shell reads it back ($'drums\n2.wav', $'caf\xe9.wav'), so that one
// name is never taken for two lines and its bytes can be had back.
std::string QuotedName(const std::string& name);

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 where
// the bytes there are not one (overlong, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);

// The system's own words for an errno value.
std::string SystemErrorText(int error);

// ASCII letters in lower case, every other byte as it is: for names and
// options, whose letters are ASCII, never for text in other scripts.
std::string AsciiLower(std::string text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool EndsWithIgnoringCase(std::string_view text, std::string_view end);

#ifdef _WIN32
// UTF-8 and the wide form Windows calls take; Utf16 is empty for bytes that are not UTF-8.
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& text);
#endif

}  // namespace loopsmith
