#include "platform/tokenizer.h"

#include <gtest/gtest.h>

#include <string>

TEST(Tokenizer, PlainTokensSkipRunsOfDelimitersAndCutLongTokens) {
    CTokenizer t;
    EXPECT_EQ(t.Init("a  b", nullptr), -1);
    ASSERT_EQ(t.Init("a  b", " "), 0);
    char token[16];
    EXPECT_STREQ(t.Next(token, sizeof token), "a");
    EXPECT_EQ(t.IsAtEnd(), 0);
    EXPECT_STREQ(t.Next(token, sizeof token), "b");
    EXPECT_EQ(t.IsAtEnd(), 1);
    EXPECT_STREQ(t.Next(token, sizeof token), "");

    ASSERT_EQ(t.Init("\t abcdefgh\r\nnext 42 -7 x\n", " \t\r\n"), 0);
    char small[4];
    EXPECT_STREQ(t.Next(small, sizeof small), "abc") << "cut to size - 1";
    EXPECT_STREQ(t.Next(token, sizeof token), "next") << "the rest of the long token is dropped";
    const int32_t before = t.position;
    EXPECT_EQ(t.IsAtEnd(), 0);
    EXPECT_EQ(t.position, before) << "IsAtEnd leaves the position alone";
    EXPECT_EQ(t.NextInt(), 42);
    EXPECT_EQ(t.NextInt(), -7);
    EXPECT_EQ(t.NextInt(), 0);
    EXPECT_EQ(t.NextInt(), 0);
    EXPECT_EQ(t.IsAtEnd(), 1);

    ASSERT_EQ(t.Init(nullptr, " "), 0);
    EXPECT_EQ(t.IsAtEnd(), 1);
    EXPECT_STREQ(t.Next(token, 1), "");
    EXPECT_EQ(t.NextInt(), 0);
}

TEST(Tokenizer, NumbersBeyondThirtyTwoBitsSaturateInsteadOfWrapping) {
    CTokenizer t;
    const std::string longOne = "00000000000000000000000000000000000000007";
    const std::string text = "4294967297 -4294967295 2147483647 2147483648 -2147483648 -2147483649 +12x " +
                             longOne + " 99999999999999999999999999999999999999999 - 5";
    ASSERT_EQ(t.Init(text.c_str(), " "), 0);
    // The token is read into 32 bytes: the 41 digits of longOne are cut to 31 zeros.
    const int32_t expected[] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, 12, 0, INT32_MAX, 0, 5};
    for (const int32_t value : expected) EXPECT_EQ(t.NextInt(), value);
    EXPECT_EQ(t.IsAtEnd(), 1);
    EXPECT_EQ(ReadTableInt(" \t-17 "), -17);
    EXPECT_EQ(ReadTableInt("123abc"), 123);
    EXPECT_EQ(ReadTableInt(nullptr), 0);
}

TEST(Tokenizer, QuotedAndBracketedTokens) {
    CTokenizer t;
    char quoted[kQuotedTokenSize];
    char plain[32];
    ASSERT_EQ(t.Init("\"x y\" z", " "), 0);
    EXPECT_STREQ(t.NextQuoted(quoted), "x y");
    EXPECT_STREQ(t.Next(plain, sizeof plain), "z");

    // Not a quoted token: empty, and the position stays on it.
    ASSERT_EQ(t.Init("  12 \"Movie/op.mpg\"", " "), 0);
    EXPECT_STREQ(t.NextQuoted(quoted), "");
    EXPECT_EQ(t.NextInt(), 12);
    EXPECT_STREQ(t.NextQuoted(quoted), "Movie/op.mpg");
    EXPECT_EQ(t.IsAtEnd(), 1);

    // An opening quote without a closing one: empty, and that token is skipped.
    ASSERT_EQ(t.Init("\"open token\n", " \n"), 0);
    EXPECT_STREQ(t.NextQuoted(quoted), "");
    EXPECT_STREQ(t.Next(plain, sizeof plain), "token");

    // Cut to 259 bytes; the position still moves behind the closing quote.
    const std::string longText = "\"" + std::string(300, 'q') + "\" after";
    ASSERT_EQ(t.Init(longText.c_str(), " "), 0);
    EXPECT_EQ(std::string(t.NextQuoted(quoted)), std::string(259, 'q'));
    EXPECT_STREQ(t.Next(plain, sizeof plain), "after");

    // Shift-JIS inside quotes, and an empty quoted string.
    ASSERT_EQ(t.Init("\"\x83\x5C\x83\x74\x83\x67\" \"\"", " "), 0);
    EXPECT_STREQ(t.NextQuoted(quoted), "\x83\x5C\x83\x74\x83\x67");
    EXPECT_STREQ(t.NextQuoted(quoted), "");
    EXPECT_EQ(t.IsAtEnd(), 1);

    char bracketed[kBracketedTokenSize];
    const std::string brackets = "[part 1] [" + std::string(200, 'b') + "] [open";
    ASSERT_EQ(t.Init(brackets.c_str(), " "), 0);
    EXPECT_STREQ(t.NextBracketed(bracketed), "part 1");
    EXPECT_EQ(std::string(t.NextBracketed(bracketed)), std::string(127, 'b'));
    EXPECT_STREQ(t.NextBracketed(bracketed), "");
    EXPECT_EQ(t.IsAtEnd(), 1);
}
