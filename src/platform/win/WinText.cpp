#include "platform/win/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <limits>

#include "host/Failure.h"

namespace gridmoor::win {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw HostError(HostError::Cause::BadArgument, "text too long");
    const int inLength = static_cast<int>(utf8.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (length <= 0) throw HostError(HostError::Cause::BadArgument, "text is not valid UTF-8");
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, out.data(), length);
    return out;
}

std::wstring widenLossy(std::string_view utf8) {
    const auto limit = static_cast<std::size_t>(std::numeric_limits<int>::max());
    const int inLength = static_cast<int>(std::min(utf8.size(), limit));
    if (inLength == 0) return {};
    // Without MB_ERR_INVALID_CHARS, invalid input is replaced rather than refused.
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, nullptr, 0);
    if (length <= 0) return {};
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, out.data(), length);
    return out;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    // Each UTF-16 unit becomes at most three bytes, and the result's length must fit an int.
    if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 3))
        throw HostError(HostError::Cause::BadArgument, "text too long");
    const int inLength = static_cast<int>(utf16.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace gridmoor::win
