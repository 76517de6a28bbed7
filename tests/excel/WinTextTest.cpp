// Text conversion between UTF-8 and UTF-16, as the Windows code converts every text it
// hands to or takes from the Windows API and COM.
#include <gtest/gtest.h>

#include <string>

#include "host/Failure.h"
#include "platform/win/WinText.h"

namespace gridmoor {
namespace {

using Cause = HostError::Cause;

TEST(Text, Utf8AndUtf16RoundTrip) {
    for (const std::string s : {"", "Sheet1", "合并临时单元格", "a\tb\"c", "😀 (U+1F600)"}) {
        EXPECT_EQ(win::narrow(win::widen(s)), s);
    }
    EXPECT_EQ(win::widen("刷新"), std::wstring(L"\x5237\x65b0"));
    EXPECT_EQ(win::widen("\xF0\x9F\x98\x80").size(), 2u);  // a surrogate pair
}

TEST(Text, InvalidUtf8IsABadArgument) {
    for (const std::string& bad :
         {std::string("\xC3"), std::string("a\xFF"), std::string("\xED\xA0\x80")}) {
        try {
            win::widen(bad);
            ADD_FAILURE() << "accepted invalid UTF-8";
        } catch (const HostError& e) {
            EXPECT_EQ(e.cause(), Cause::BadArgument);
        }
    }
}

}  // namespace
}  // namespace gridmoor
