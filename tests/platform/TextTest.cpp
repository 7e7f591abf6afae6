#include "platform/api/text.h"

#include <gtest/gtest.h>

using platform::CopyToBuffer;
using platform::FromUtf8;
using platform::ToUtf8;

TEST(Text, RoundTripsChineseAndAstralText) {
    const std::u16string text = u"Tavrel升级提醒 \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"已经是最新版本"), "已经是最新版本");
}

TEST(Text, IllFormedInputBecomesReplacementCharacter) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
}

TEST(Text, CopyToBufferCutsAndTerminates) {
    WCHAR buf[4] = {1, 1, 1, 1};
    EXPECT_EQ(CopyToBuffer(buf, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(CopyToBuffer(buf, 1, u"abc"), 0u);
    EXPECT_EQ(buf[0], 0);
}
