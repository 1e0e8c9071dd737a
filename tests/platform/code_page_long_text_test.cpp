// The code-page conversions on long texts: runs of ASCII are widened many
// bytes at a time and common sequences are read on a fast path, so every
// kind of byte is tried at every offset around those runs' edges.
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

std::u16string Convert(UINT codePage, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (needed <= 0) return u"<size query failed>";
  std::u16string out(static_cast<std::size_t>(needed) + 4, u'#');
  const int written = MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), needed);
  if (written != needed) return u"<conversion disagrees with the size query>";
  if (out.substr(static_cast<std::size_t>(needed)) != u"####") return u"<wrote past the count>";
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

// Pieces that each stress one path of the decoder.
const std::vector<std::string> kPieces = {
    "a", "plain words ", std::string(9, 'x'), std::string(40, 'y'), "\xC3\xA9", "\xDF\xBF", "\xE2\x82\xAC",
    "\xEF\xBF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
    "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\x80", "\xBF", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80",
    "\xF4\x90\x80\x80", "\xF5\x80", "\xFF", "\xE1\x41", "\xE1\x80\x41", std::string(1, '\0')};

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
  // Long ASCII runs are cut into blocks of 8 and 4096 bytes; a sequence
  // placed on, just before or just after any edge must decode the same.
  const std::string tails[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82", "\x80", "\xF0"};
  std::vector<std::size_t> offsets;
  for (std::size_t at = 0; at < 24; ++at) offsets.push_back(at);
  for (std::size_t at = 4080; at < 4112; ++at) offsets.push_back(at);
  for (const std::string& tail : tails) {
    for (std::size_t offset : offsets) {
      std::string text = std::string(offset, 'q') + tail + std::string(offset % 13, 'r');
      ASSERT_EQ(Convert(CP_UTF8, text), ReferenceUtf8(text)) << "offset " << offset << ", tail of " << tail.size();
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

TEST(MultiByteToWideChar, DestinationOneShortFailsWithinItsRoom) {
  struct Case {
    const char* name;
    UINT codePage;
    DWORD flags;
    std::string bytes;
  } cases[] = {
      {"ascii as utf-8", CP_UTF8, 0, std::string(5000, 'k')},
      {"ending in a pair", CP_UTF8, 0, std::string(100, 'k') + "\xF0\x9F\x98\x80"},
      {"ending in an invalid byte", CP_UTF8, 0, "abc\xFF"},
      {"strict", CP_UTF8, 0x8, "abc\xC3\xA9"},
      {"ansi", CP_ACP, MB_PRECOMPOSED, std::string(300, '\x93')},
  };
  for (const Case& c : cases) {
    const int size = static_cast<int>(c.bytes.size());
    const int needed = MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), size, nullptr, 0);
    ASSERT_GT(needed, 1) << c.name;
    std::u16string out(static_cast<std::size_t>(needed) + 2, u'#');
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), size, out.data(), needed - 1), 0) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.name;
    EXPECT_EQ(out.substr(static_cast<std::size_t>(needed) - 1), u"###") << c.name << ": wrote past destChars";
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
