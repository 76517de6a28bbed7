// WinText: text conversion between UTF-8, the project's text, and UTF-16, the text of the
// Windows API and of COM. Shared by the Excel backend, the Win32 window, the Windows log
// and their tests;
// includes no Windows header, so a caller that only converts text does not get one.
#pragma once

#include <string>
#include <string_view>

namespace gridmoor::win {

// UTF-8 to UTF-16. Invalid UTF-8 or a text longer than the Windows API converts at once:
// HostError (BadArgument).
std::wstring widen(std::string_view utf8);
// UTF-8 to UTF-16 for text that must get through whatever its bytes (a log line quoting
// what an exception said): each invalid sequence becomes U+FFFD, and a text longer than
// the Windows API converts at once is cut to that length. Fails only when memory runs out.
std::wstring widenLossy(std::string_view utf8);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. A text longer than the Windows
// API converts at once: HostError (BadArgument).
std::string narrow(std::wstring_view utf16);

}  // namespace gridmoor::win
