// Texts at the Win32 edge: the core speaks UTF-8, the wide (...W) API speaks
// UTF-16, so the Chinese texts show right whatever the system's code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zvp::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's words for a GetLastError() code, in the user's language, on
// one line ("error 5" when the system has none).
std::string SystemMessage(unsigned long error);

// The first `max_chars` characters of `wide` as UTF-8; a surrogate pair
// counts as one character and is never split.
std::string FirstChars(std::wstring_view wide, size_t max_chars);

// A file-dialog filter in the core's "name|pattern|name|pattern||" form as
// the common dialogs want it: every '|' becomes a zero character, so the
// closing "||" gives the double zero that ends the list (added when the
// filter lacks it).
std::wstring DialogFilter(std::string_view filter);

}  // namespace zvp::win
