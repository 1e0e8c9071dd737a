// Reading and decoding the response body over the fake platform.
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "transport/failure_codes.h"
#include "transport/http_client.h"

namespace {

using transport::HttpClient;
using transport::kErrorOutOfMemory;
using transport::kErrorReplyCutShort;
using transport::kErrorReplyTooLarge;
using transport::kMaxBodyBytes;
using transporttest::FakePlatformTest;
using transporttest::kHttpUrl;

const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// `head` empty: a 200 announcing the body's length.
fake::Response InPieces(const std::string& body, const std::vector<std::size_t>& pieces, DWORD status = 200,
                        const std::string& head = "") {
  fake::Response response = fake::HttpReply(status, "");
  response.rawHeaders =
      head.empty() ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" : head;
  std::size_t at = 0;
  for (std::size_t piece : pieces) {
    response.bodyChunks.push_back(body.substr(at, piece));
    at += piece;
  }
  if (at < body.size()) response.bodyChunks.push_back(body.substr(at));
  return response;
}

std::string Filler(std::size_t bytes) {
  std::string text(bytes, 'x');
  for (std::size_t i = 0; i < bytes; i += 97) text[i] = static_cast<char>('a' + (i / 97) % 26);
  return text;
}

struct BodyCase {
  const char* name;
  std::size_t bytes;
  std::vector<std::size_t> pieces;  // the rest comes as one last piece
  DWORD status = 200;
  std::string head = "";                 // raw head; empty: announces the body's length
  std::size_t replyBytes = std::string::npos;  // leading body bytes that make the reply
};

void PrintTo(const BodyCase& c, std::ostream* out) {
  *out << c.name << " (" << c.bytes << " body bytes, status " << c.status << ")";
}

class BodySizeTest : public FakePlatformTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(BodySizeTest, BodyIsReadAndDecodedWhole) {
  const BodyCase& c = GetParam();
  const std::string body = Filler(c.bytes);
  const std::string reply = body.substr(0, c.replyBytes);
  fake::QueueResponse(InPieces(body, c.pieces, c.status, c.head));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST"))) << client.LastError();
  EXPECT_EQ(client.BodyLength(), reply.size());
  EXPECT_TRUE(client.GetResponseText() == transporttest::Wide(reply)) << "decoded text differs from the body";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BodySizeTest,
    ::testing::Values(BodyCase{"Empty", 0, {}}, BodyCase{"ExactlyFirstCapacity", 10240, {}},
                      BodyCase{"OneOverFirstCapacity", 10241, {}}, BodyCase{"FirstCapacityInPieces", 10241, {10239, 1}},
                      BodyCase{"PieceOverTwiceTheCapacity", 70000, {100}},
                      BodyCase{"ManySmallPieces", 50000, std::vector<std::size_t>(49, 1000)},
                      BodyCase{"ExactlyTheCap", kMaxBodyBytes, {1 << 20}},
                      BodyCase{"ExactlyTheCapInOnePiece", kMaxBodyBytes, {}},
                      BodyCase{"ExactlyTheCapChunked", kMaxBodyBytes, {1 << 20}, 200, kChunkedHead},
                      // Bytes a platform hands out past the announced length are not the body.
                      BodyCase{"BytesPastTheContentLength", 4, {}, 200, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", 2},
                      BodyCase{"AnnouncedLengthInAnotherPiece", 3000, {1000}, 200,
                               "HTTP/1.1 200 OK\r\nContent-Length: 1500\r\n\r\n", 1500},
                      // Chunks decide the length, as HTTP/1.1 says; Content-Length is ignored.
                      BodyCase{"ChunkedShorterThanItsContentLength", 3000, {1000}, 200,
                               "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nTransfer-Encoding: chunked\r\n\r\n"},
                      BodyCase{"ChunkedLongerThanItsContentLength", 3000, {1000}, 200,
                               "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\nContent-Length: 10\r\n\r\n"},
                      // These statuses have no body, whatever length they announce.
                      BodyCase{"NoContentAnnouncingALength", 0, {}, 204,
                               "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n"},
                      BodyCase{"NotModifiedAnnouncingALength", 0, {}, 304,
                               "HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct CutShortCase {
  const char* name;
  fake::Call failing;  // Call::Open for none
  std::size_t failFrom;
  std::string rawHeaders;
  std::size_t bodyBytes;
  std::size_t pieceBytes;
  std::uint32_t lastError;
  bool readsNothing = false;
  bool claimsMoreRead = false;
};

void PrintTo(const CutShortCase& c, std::ostream* out) {
  *out << c.name << " (" << c.bodyBytes << " body bytes";
  if (c.failing != fake::Call::Open) *out << ", failing " << fake::CallName(c.failing);
  *out << ")";
}

class CutShortTest : public FakePlatformTest, public ::testing::WithParamInterface<CutShortCase> {};

TEST_P(CutShortTest, TruncatedBodyIsNeverReportedAsTheAnswer) {
  const CutShortCase& cut = GetParam();
  if (cut.failing != fake::Call::Open) fake::FailCall(cut.failing, 12030, cut.failFrom, 1);
  std::string body = Filler(cut.bodyBytes);
  fake::Response response = fake::HttpReply(200, body, "", cut.pieceBytes);
  if (!cut.rawHeaders.empty()) response.rawHeaders = cut.rawHeaders;
  response.readsNothing = cut.readsNothing;
  response.claimsMoreRead = cut.claimsMoreRead;
  fake::QueueResponse(response);
  HttpClient client(kHttpUrl);
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.LastError(), cut.lastError);
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 1u) << "a cut-short body ends the exchange";
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, CutShortTest,
    ::testing::Values(
        CutShortCase{"AvailabilityFailsMidway", fake::Call::QueryDataAvailable, 2, "", 3000, 1000, 12030},
        CutShortCase{"ReadFails", fake::Call::ReadData, 2, "", 3000, 1000, 12030},
        CutShortCase{"ShortOfContentLength", fake::Call::Open, 0, "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n",
                     3000, 1000, kErrorReplyCutShort},
        CutShortCase{"AnnouncedOverTheCap", fake::Call::Open, 0, "", kMaxBodyBytes + 1, 1 << 22, kErrorReplyTooLarge},
        CutShortCase{"ChunkedOverTheCap", fake::Call::Open, 0, kChunkedHead, kMaxBodyBytes + 1, 1 << 22,
                     kErrorReplyTooLarge},
        CutShortCase{"ChunkedOverTheCapInOnePiece", fake::Call::Open, 0, kChunkedHead, kMaxBodyBytes + 1, 0,
                     kErrorReplyTooLarge},
        CutShortCase{"ReadWithoutProgress", fake::Call::Open, 0, "", 3000, 1000, kErrorReplyCutShort, true},
        // Stored as claimed, the bytes never written would be read past the chunk.
        CutShortCase{"ReadClaimsMoreThanAsked", fake::Call::Open, 0, "", 3000, 1000, kErrorReplyCutShort, false,
                     true}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, BodyWithoutContentLengthIsTakenAsItCame) {
  fake::Response response = fake::HttpReply(200, "chunked body", "", 3);
  response.rawHeaders = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  fake::QueueResponse(response);
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.GetResponseText(), u"chunked body");
  EXPECT_EQ(client.ContentLength(), 0u);
}

TEST_F(FakePlatformTest, ZeroByteInsideTheBodyEndsTheText) {
  fake::QueueResponse(fake::HttpReply(200, std::string("abc\0def", 7)));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.BodyLength(), 7u);
  EXPECT_EQ(client.GetResponseText(), u"abc");
}

TEST_F(FakePlatformTest, TextEndsAtTheFirstZeroByteWherever) {
  struct Case {
    std::string body;
    std::u16string text;
  } cases[] = {
      {std::string("\0abc", 4), u""},
      {std::string("abc\0", 4), u"abc"},
      {std::string("ab\0c\0d", 6), u"ab"},
      {std::string(10239, 'k') + std::string(1, '\0'), std::u16string(10239, u'k')},
      {std::string(12000, 'k'), std::u16string(12000, u'k')},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::QueueResponse(fake::HttpReply(200, c.body));
    HttpClient client(kHttpUrl);
    ASSERT_TRUE(client.Send(WTEXT("POST")));
    EXPECT_EQ(client.BodyLength(), c.body.size());
    EXPECT_TRUE(client.GetResponseText() == c.text) << "body of " << c.body.size() << " bytes";
  }
}

struct DecodeCase {
  const char* name;
  std::string contentType;
  std::string body;
  std::u16string text;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
  *out << c.name << " (" << transporttest::Readable(c.contentType) << ")";
}

class DecodeTest : public FakePlatformTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, CharsetChoosesTheCodePage) {
  std::string headers = GetParam().contentType.empty() ? "" : "Content-Type: " + GetParam().contentType + "\r\n";
  fake::QueueResponse(fake::HttpReply(200, GetParam().body, headers));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.GetResponseText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, DecodeTest,
    ::testing::Values(DecodeCase{"Utf8", "text/plain; charset=UTF-8", "\xC3\xA9", u"\u00e9"},
                      DecodeCase{"Utf8LowerCase", "text/plain; charset=utf-8", "caf\xC3\xA9", u"caf\u00e9"},
                      DecodeCase{"Utf8Prefix", "text/plain; charset=utf-8x", "\xC3\xA9", u"\u00e9"},
                      DecodeCase{"NoCharset", "", "\xC3\xA9", u"\u00c3\u00a9"},
                      DecodeCase{"OtherCharset", "text/html; charset=windows-1252", "\x80\xC3", u"\u20ac\u00c3"},
                      DecodeCase{"Utf16Label", "text/plain; charset=utf-16", "\xC3\xA9", u"\u00c3\u00a9"},
                      DecodeCase{"InvalidUtf8StillConverted", "text/plain; charset=utf-8", "a\xFF" "b",
                                 u"a\ufffdb"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, FailedUtf8ConversionFallsBackToTheAnsiPage) {
  fake::FailCall(fake::Call::MultiByteToWideChar, ERROR_NO_UNICODE_TRANSLATION, 1, 1);
  fake::QueueResponse(fake::HttpReply(200, "\xC3\xA9", "Content-Type: text/plain; charset=utf-8\r\n"));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.GetResponseText(), u"\u00c3\u00a9");
  std::vector<fake::CallRecord> conversions = fake::CallsOf(fake::Call::MultiByteToWideChar);
  ASSERT_EQ(conversions.size(), 3u);
  EXPECT_EQ(conversions[0].codePage, static_cast<UINT>(CP_UTF8));
  EXPECT_EQ(conversions[0].flags, 0u);
  EXPECT_EQ(conversions[2].codePage, static_cast<UINT>(CP_ACP));
  EXPECT_EQ(conversions[2].flags, static_cast<DWORD>(MB_PRECOMPOSED));
}

TEST_F(FakePlatformTest, FixedCharsetOverridesTheHeaders) {
  fake::QueueResponse(fake::HttpReply(200, "\xC3\xA9", "Content-Type: text/plain; charset=utf-8\r\n"));
  fake::QueueResponse(fake::HttpReply(200, "\xC3\xA9"));
  HttpClient ansi(kHttpUrl);
  ansi.SetFixedCharset(WTEXT("windows-1252"));
  ASSERT_TRUE(ansi.Send(WTEXT("POST")));
  EXPECT_EQ(ansi.GetResponseText(), u"\u00c3\u00a9");
  EXPECT_EQ(ansi.ResponseCharset(), u"windows-1252");
  HttpClient utf8(kHttpUrl);
  utf8.SetFixedCharset(WTEXT("UTF-8"));
  ASSERT_TRUE(utf8.Send(WTEXT("POST")));
  EXPECT_EQ(utf8.GetResponseText(), u"\u00e9");
}

std::vector<double> gPercents;
void RecordProgress(double percent, std::uint32_t, std::uint32_t) { gPercents.push_back(percent); }

TEST_F(FakePlatformTest, ProgressIsReportedAgainstTheAnnouncedLength) {
  gPercents.clear();
  fake::QueueResponse(fake::HttpReply(200, std::string(400, 'z'), "", 100));
  HttpClient client(kHttpUrl);
  client.SetProgressCallback(&RecordProgress);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(gPercents, (std::vector<double>{0, 25, 50, 75, 100, 100}));
}

}  // namespace

namespace {

using transporttest::AllocationGate;

struct BodyAllocationCase {
  const char* name;
  std::size_t failAt;  // with the raw headers unavailable: 1 status, 2 body buffer, 3 chunk, 4 growth
  std::size_t bodyBytes;
  bool sent;
  std::size_t reads;
  std::size_t textUnits;  // decoded reply when sent
  std::uint32_t lastError;
};

void PrintTo(const BodyAllocationCase& c, std::ostream* out) {
  *out << c.name << " (allocation " << c.failAt << " fails, " << (c.sent ? "sent" : "not sent") << ")";
}

class BodyAllocationTest : public FakePlatformTest, public ::testing::WithParamInterface<BodyAllocationCase> {};

TEST_P(BodyAllocationTest, LostBlocksNeverYieldAPartialReply) {
  // Without raw headers no pattern runs, so only the client's own blocks count.
  fake::FailCall(fake::Call::QueryHeaders, ERROR_WINHTTP_HEADER_NOT_FOUND, 1, 1);
  fake::QueueResponse(fake::HttpReply(200, std::string(GetParam().bodyBytes, 'b')));
  HttpClient client(kHttpUrl);
  AllocationGate::FailOnly(GetParam().failAt);
  bool sent = client.Send(WTEXT("POST"));
  AllocationGate::Open();
  EXPECT_EQ(sent, GetParam().sent);
  EXPECT_EQ(fake::CountOf(fake::Call::ReadData), GetParam().reads);
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 1u) << "a lost block ends the exchange";
  EXPECT_EQ(client.LastError(), GetParam().lastError);
  if (sent) {
    EXPECT_EQ(client.GetResponseText().size(), GetParam().textUnits);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BodyAllocationTest,
    ::testing::Values(BodyAllocationCase{"StatusBuffer", 1, 100, true, 1, 100, 0},
                      BodyAllocationCase{"BodyBuffer", 2, 100, false, 0, 0, kErrorOutOfMemory},
                      BodyAllocationCase{"Chunk", 3, 100, false, 0, 0, kErrorOutOfMemory},
                      BodyAllocationCase{"Growth", 4, 30000, false, 1, 0, kErrorOutOfMemory},
                      BodyAllocationCase{"DecodeBuffer", 4, 100, false, 1, 0, kErrorOutOfMemory}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, UndecodableBodyLeavesTheEarlierText) {
  fake::FailCall(fake::Call::QueryHeaders, ERROR_WINHTTP_HEADER_NOT_FOUND, 1, 1);
  fake::QueueResponse(fake::HttpReply(200, "first"));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  fake::FailCall(fake::Call::MultiByteToWideChar, ERROR_INVALID_PARAMETER);
  // The earlier reply must not pass for the answer to this request.
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.GetResponseText(), u"first");
  EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER)) << "the platform's reason";
}

}  // namespace

namespace {

using transporttest::AllocationGate;

// Without its raw headers the reply would be decoded through the ANSI page
// although the server said UTF-8: a changed text must not pass as the answer.
TEST_F(FakePlatformTest, HeadersLostForLackOfMemoryFailTheExchange) {
  fake::QueueResponse(fake::HttpReply(200, "caf\xC3\xA9", "Content-Type: text/plain; charset=utf-8\r\n"));
  HttpClient client(kHttpUrl);
  AllocationGate::FailOnly(1);  // the raw header text is the exchange's first block
  const bool sent = client.Send(WTEXT("POST"));
  AllocationGate::Open();
  EXPECT_FALSE(sent);
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 1u);
}

}  // namespace
