// Base64, the XML writer and number notation: the exact bytes the stored
// formats are compared by.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "SkipUnlessCi.h"
#include "dsp/StringUtil.h"
#include "plugin/Base64.h"
#include "plugin/PresetXml.h"
#include "plugin/XmlWriter.h"

using namespace tonewright;

namespace {

std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

TEST(Base64, KnownVectorsInBothDirections)
{
    const struct {
        const char* plain;
        const char* coded;
    } rows[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},       {"foo", "Zm9v"},
                {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4A"}};
    for (const auto& row : rows) {
        const std::string_view plain(row.plain, std::strlen(row.plain) + (std::string_view(row.coded) == "//4A"));
        const auto in = bytesOf(plain);
        EXPECT_EQ(base64::Encode(in.data(), in.size()), row.coded);
        bool ok = false;
        EXPECT_EQ(base64::Decode(row.coded, &ok), in);
        EXPECT_TRUE(ok);
    }
}

TEST(Base64, LinesOfSixtyFourSeparatedByOneLineFeed)
{
    // 1000 mono samples of three bytes: 8000 characters in 125 lines.
    std::vector<uint8_t> bytes(6000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 3);
    const std::string text = base64::Encode(bytes.data(), bytes.size(), 64);
    ASSERT_EQ(text.size(), 8000u + 124u);
    ASSERT_EQ(base64::EncodedLength(bytes.size(), 64), text.size());
    for (size_t line = 0; line < 125; ++line) {
        if (line < 124) {
            EXPECT_EQ(text[line * 65 + 64], '\n') << line;
        }
        EXPECT_EQ(text.substr(line * 65, 64).find('\n'), std::string::npos) << line;
    }
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.substr(0, 64) + text.substr(65, 64), base64::Encode(bytes.data(), 96));
}

TEST(Base64, RoundTripsEverySizeInBothForms)
{
    std::mt19937 rng(5);
    for (size_t n = 0; n < 400; ++n) {
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes) b = uint8_t(rng());
        for (int line : {0, 64}) {
            std::string text = base64::Encode(bytes.data(), n, line);
            // Layout white space around and inside the lines is skipped.
            text = "\n" + text + "\n\t\t";
            bool ok = false;
            EXPECT_EQ(base64::Decode(text, &ok), bytes) << n << " " << line;
            EXPECT_TRUE(ok);
        }
    }
}

TEST(Base64, DecoderNeverWritesPastItsBoundAndRefusesGarbage)
{
    const std::string text = base64::Encode(reinterpret_cast<const uint8_t*>("0123456789"), 10);
    uint8_t out[16];
    std::fill(std::begin(out), std::end(out), 0xAA);
    const auto cut = base64::Decode(text, out, 4);
    EXPECT_EQ(cut.bytes, 4u);
    EXPECT_FALSE(cut.ok);
    for (int i = 4; i < 16; ++i) EXPECT_EQ(out[i], 0xAA) << i;

    for (const char* bad : {"Zm9v!", "Z", "Zm9vY", "Zg==Zg", "Zm\x80v"}) {
        bool ok = true;
        EXPECT_TRUE(base64::Decode(bad, &ok).empty()) << bad;
        EXPECT_FALSE(ok) << bad;
    }
}

TEST(NumberNotation, MatchesPrintfInTheCLocale)
{
    std::mt19937_64 rng(11);
    std::vector<double> values = {0.0,  -0.0,   1.0,    -1.0,   0.5,     0.7071,  4500.0,  1e-5,   1e-4,
                                  123456.0, 1234567.0, 1e300, -1e-300, 5e-324, 0.1 + 0.2, 100000.0, 999999.5};
    std::uniform_real_distribution<double> exponent(-30.0, 30.0);
    for (int i = 0; i < 2000; ++i) values.push_back((rng() % 2 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng)));
    for (double v : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%g", v);
        EXPECT_EQ(FormatG(v), expected) << v;
    }
    for (int v : {0, -1, 7, 2147483647, -2147483647 - 1}) EXPECT_EQ(FormatI(v), std::to_string(v));
}

TEST(NumberNotation, ReadsLikeScanfInTheCLocale)
{
    const char* texts[] = {"0.5", " -12.25", "+3", "1e3", "1e", "2.5xyz", "\t7", "-0", ".5", "1e400", "-1e-400",
                           "0x1A", "010", "08", "abc", "", "-", "2147483648", "-2147483649", "99999999999999999999"};
    for (const char* text : texts) {
        double d = 0.0;
        const bool hasDouble = std::sscanf(text, "%lg", &d) == 1;
        const auto ours = parseLeadingDouble(text);
        EXPECT_EQ(ours.has_value(), hasDouble) << text;
        if (ours && hasDouble && std::string_view(text).find("0x") == std::string_view::npos) {
            EXPECT_EQ(*ours, d) << text;
        }
        long long i = 0;
        const bool hasInt = std::sscanf(text, "%lli", &i) == 1;
        const auto ourInt = parseLeadingInt(text);
        EXPECT_EQ(ourInt.has_value(), hasInt) << text;
        if (ourInt && hasInt) {
            EXPECT_EQ(*ourInt, std::clamp<long long>(i, INT_MIN, INT_MAX)) << text;
        }
    }
}

TEST(NumberNotation, IndependentOfTheProcessLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) TONEWRIGHT_SKIP_UNLESS_CI("de_DE.UTF-8 is not installed");
    TonewrightParameters p;
    p.master_level = -3.25;
    p.echo.parameters.delay = 0.123456;
    const std::string preset = PresetFileText(p, "Komma");
    const std::string text = FormatG(0.7071);
    const auto read = parseLeadingDouble("0.7071");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text, "0.7071");
    EXPECT_EQ(read, 0.7071);
    EXPECT_TRUE(preset == PresetFileText(p, "Komma"));
}

TEST(XmlWriter, WritesTagsAttributesAndEscapesByteForByte)
{
    std::string out;
    XmlWriter w(out);
    w.Open("Root");
    w.Attribute("name", "a&b<c>\"d\"\n\t\re");
    w.Attribute("on", true);
    w.Attribute("count", 42);
    w.Attribute("level", 0.5);
    w.RawText("\n\t");
    w.Open("Empty");
    w.Close();
    w.Text("x&y<z>\"\n\r");
    w.Open("Child");
    w.Attribute("off", false);
    w.Close();
    w.Close();
    EXPECT_EQ(out,
              "<Root name=\"a&amp;b&lt;c&gt;&quot;d&quot;&#xA;&#x9;&#xD;e\" on=\"true\" count=\"42\" level=\"0.5\">"
              "\n\t<Empty></Empty>x&amp;y&lt;z&gt;\"\n&#xD;<Child off=\"false\"></Child></Root>");
    EXPECT_EQ(w.Depth(), 0);
}

}  // namespace
