// The code-page conversions on long texts: every kind of byte at many
// offsets, in mixed text and after long runs of one kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/seam.h"

namespace {

// The decoding rules, one byte at a time: each invalid sequence becomes one
// U+FFFD covering its maximal ill-formed subpart.
std::u16string ReferenceUtf8(const std::string& text) {
  std::u16string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned lead = bytes[at++];
    if (lead < 0x80) {
      out.push_back(static_cast<char16_t>(lead));
      continue;
    }
    int more = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2 : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
    unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    std::uint32_t code = more == 1 ? lead & 0x1F : more == 2 ? lead & 0x0F : lead & 0x07;
    bool whole = more > 0;
    for (int i = 0; whole && i < more; ++i) {
      if (at < text.size() && bytes[at] >= (i == 0 ? low : 0x80) && bytes[at] <= (i == 0 ? high : 0xBF)) {
        code = (code << 6) | (bytes[at++] & 0x3F);
      } else {
        whole = false;
      }
    }
    if (!whole) {
      out.push_back(0xFFFD);
    } else if (code < 0x10000) {
      out.push_back(static_cast<char16_t>(code));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

// Converts with room to spare: nothing may be written past the count.
std::u16string Convert(UINT codePage, const std::string& bytes) {
  constexpr std::size_t kSpare = 40;
  const int size = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (needed <= 0) return u"<size query failed>";
  std::u16string out(static_cast<std::size_t>(needed) + kSpare, u'#');
  const int written =
      MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), needed + static_cast<int>(kSpare));
  if (written != needed) return u"<conversion disagrees with the size query>";
  if (out.substr(static_cast<std::size_t>(needed)) != std::u16string(kSpare, u'#')) return u"<wrote past the count>";
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

std::string Repeated(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// Pieces that each stress one path of the decoder.
const std::vector<std::string> kPieces = {
    "a", "plain words ", std::string(9, 'x'), std::string(40, 'y'), "\xC3\xA9", "\xDF\xBF", "\xE2\x82\xAC",
    "\xEF\xBF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
    "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\x80", "\xBF", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80",
    "\xF4\x90\x80\x80", "\xF5\x80", "\xFF", "\xE1\x41", "\xE1\x80\x41", std::string(1, '\0'),
    // The last overlong or surrogate form of each lead, and leads past U+10FFFF.
    "\xE0\x9F\xBF", "\xED\xBF\xBF", "\xF0\x8F\xBF\xBF", "\xF4\xBF\xBF\xBF", "\xF7\xBF\xBF\xBF",
    // Long runs of one width, so that some texts hold thousands of bytes
    // without ASCII or errors.
    Repeated("\xC3\xA9", 300), Repeated("\xE2\x82\xAC", 200), Repeated("\xF0\x9F\x98\x80", 150)};

TEST(MultiByteToWideChar, Utf8MatchesTheRulesOnMixedText) {
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const std::size_t pieces = 1 + next() % 60;
    for (std::size_t i = 0; i < pieces; ++i) text += kPieces[next() % kPieces.size()];
    ASSERT_EQ(Convert(CP_UTF8, text), ReferenceUtf8(text)) << "round " << round;
  }
}

TEST(MultiByteToWideChar, EveryOffsetAroundTheAsciiBlocks) {
  // A sequence after a short or a 4 KiB ASCII run, followed by a short or
  // a longer one, decodes the same at every offset.
  const std::string tails[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82", "\x80", "\xF0"};
  std::vector<std::size_t> offsets;
  for (std::size_t at = 0; at < 24; ++at) offsets.push_back(at);
  for (std::size_t at = 4080; at < 4112; ++at) offsets.push_back(at);
  for (const std::string& tail : tails) {
    for (std::size_t offset : offsets) {
      for (std::size_t after : {offset % 13, 16 + offset % 17}) {
        std::string text = std::string(offset, 'q') + tail + std::string(after, 'r');
        ASSERT_EQ(Convert(CP_UTF8, text), ReferenceUtf8(text))
            << "offset " << offset << ", tail of " << tail.size() << ", " << after << " after";
      }
    }
  }
}

TEST(MultiByteToWideChar, AnsiMapsEveryByteAtEveryOffset) {
  std::string text(9000, 'a');
  for (std::size_t offset : {0u, 7u, 8u, 9u, 4095u, 4096u, 4097u, 8999u}) {
    for (unsigned byte : {0x7Fu, 0x80u, 0x9Fu, 0xA0u, 0xE9u, 0xFFu}) {
      std::string changed = text;
      changed[offset] = static_cast<char>(byte);
      std::u16string expected(changed.begin(), changed.end());
      for (char16_t& unit : expected) unit = static_cast<char16_t>(unit & 0xFF);
      if (byte == 0x80) expected[offset] = 0x20AC;
      if (byte == 0x9F) expected[offset] = 0x0178;
      EXPECT_EQ(Convert(CP_ACP, changed), expected) << "byte " << byte << " at " << offset;
    }
  }
}

TEST(MultiByteToWideChar, DestinationTooSmallGetsWholeCharactersOnly) {
  struct Case {
    const char* name;
    UINT codePage;
    DWORD flags;
    std::string bytes;
    int destChars;  // 0: one short of the need
    bool writesPrefix;  // strict and ANSI decoding write nothing unless all fits
  } cases[] = {
      {"ascii as utf-8", CP_UTF8, 0, std::string(5000, 'k'), 0, true},
      {"ending in a pair", CP_UTF8, 0, std::string(100, 'k') + "\xF0\x9F\x98\x80", 0, true},
      {"ending in an invalid byte", CP_UTF8, 0, "abc\xFF", 0, true},
      {"strict", CP_UTF8, 0x8, "abc\xC3\xA9", 0, false},
      {"ansi", CP_ACP, MB_PRECOMPOSED, std::string(300, '\x93'), 0, false},
      {"pair cut after a short ascii run", CP_UTF8, 0, "kkkkkkk\xF0\x9F\x98\x80" + std::string(30, 'z'), 8, true},
      {"pair cut after a window", CP_UTF8, 0,
       std::string(24, 'a') + Repeated("\xC3\xA9", 4) + "abc\xF0\x9F\x98\x80" + std::string(40, 'z'), 32, true},
      // 16 units a piece, the pair at units 10 and 11 of each.
      {"pair cut in a long text", CP_UTF8, 0, Repeated("price \xC3\xA9 42\xF0\x9F\x98\x80 ok\n", 100), 16 * 90 + 11,
       true},
  };
  for (const Case& c : cases) {
    const int size = static_cast<int>(c.bytes.size());
    const int needed = MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), size, nullptr, 0);
    ASSERT_GT(needed, 1) << c.name;
    std::u16string whole(static_cast<std::size_t>(needed), u'#');
    ASSERT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), size, whole.data(), needed), needed);
    const auto dest = static_cast<std::size_t>(c.destChars == 0 ? needed - 1 : c.destChars);
    ASSERT_LT(dest, whole.size()) << c.name;
    // The longest prefix of whole characters, and nothing after it.
    std::size_t prefix = c.writesPrefix ? dest : 0;
    if (prefix > 0 && whole[prefix - 1] >= 0xD800 && whole[prefix - 1] <= 0xDBFF) --prefix;
    std::u16string out(dest + 2, u'#');
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), size, out.data(), static_cast<int>(dest)), 0)
        << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.name;
    EXPECT_EQ(out, whole.substr(0, prefix) + std::u16string(dest + 2 - prefix, u'#')) << c.name;
  }
}

TEST(MultiByteToWideChar, StrictDecodingWritesNothingForInvalidInput) {
  const std::string bytes = std::string(64, 'v') + "\xC3";
  std::u16string out(100, u'#');
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x8, bytes.data(), static_cast<int>(bytes.size()), out.data(), 100), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(out, std::u16string(100, u'#'));
}

TEST(WideCharToMultiByte, SizeQueryMatchesTheConversionOnMixedText) {
  std::u16string text;
  for (int i = 0; i < 300; ++i) text += u"a\u00E9\u20AC\U0001F600";
  text += std::u16string(1, u'\xD800');
  const int size = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(needed, 300 * (1 + 2 + 3 + 4) + 3);
  std::string out(static_cast<std::size_t>(needed), '#');
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), needed, nullptr, nullptr), needed);
  EXPECT_EQ(out.substr(0, 10), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(out.substr(out.size() - 3), "\xEF\xBF\xBD");
}

}  // namespace
