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

// The lossy form converts valid text as widen does and keeps every valid character around
// invalid bytes, which become U+FFFD (how many per sequence is the API's choice).
TEST(Text, LossyWideningReplacesOnlyTheInvalidBytes) {
    struct Case {
        std::string in;
        std::wstring before, after;  // the valid text around the invalid bytes
        bool invalid;
    };
    const Case table[] = {
        {"", L"", L"", false},
        {"合并 \xF0\x9F\x98\x80", L"\x5408\x5e76 \xD83D\xDE00", L"", false},
        {"[A] \xC3", L"[A] ", L"", true},                // cut short at the end
        {"a\xFFz", L"a", L"z", true},                    // a byte never in UTF-8
        {"x\xED\xA0\x80y", L"x", L"y", true},            // an encoded surrogate
        {"\xC0\xAF 刷新", L"", L" \x5237\x65b0", true},  // an overlong "/"
    };
    for (const Case& c : table) {
        const std::wstring out = win::widenLossy(c.in);
        if (!c.invalid) {
            EXPECT_EQ(out, win::widen(c.in));
            continue;
        }
        ASSERT_GT(out.size(), c.before.size() + c.after.size()) << c.in;
        EXPECT_EQ(out.substr(0, c.before.size()), c.before) << c.in;
        EXPECT_EQ(out.substr(out.size() - c.after.size()), c.after) << c.in;
        const std::wstring middle =
            out.substr(c.before.size(), out.size() - c.before.size() - c.after.size());
        EXPECT_EQ(middle.find_first_not_of(L'\xFFFD'), std::wstring::npos) << c.in;
    }
}

}  // namespace
}  // namespace gridmoor
