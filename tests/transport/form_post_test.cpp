// The form post sequence over the fake platform, including the failure of
// each allocation it makes.
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "transport/form_post.h"

namespace {

using transporttest::AllocationGate;
using transporttest::FakePlatformTest;
using transporttest::kHttpUrl;

struct BodyCase {
  std::string body;
  std::u16string headerText;
};

void PrintTo(const BodyCase& c, std::ostream* out) { *out << "body " << transporttest::Readable(c.body); }

class FormPostHeaderTest : public FakePlatformTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(FormPostHeaderTest, PostsTheBodyWithItsExactLength) {
  fake::QueueResponse(fake::HttpReply(200, "17"));
  WideString reply;
  ASSERT_TRUE(transport::FormPost(kHttpUrl, GetParam().body, reply));
  EXPECT_EQ(reply, u"17");
  std::vector<fake::CallRecord> adds = fake::CallsOf(fake::Call::AddRequestHeaders);
  ASSERT_EQ(adds.size(), 1u);
  EXPECT_EQ(adds[0].text, GetParam().headerText);
  EXPECT_EQ(fake::WrittenBytes(), GetParam().body);
  EXPECT_EQ(fake::CallsOf(fake::Call::OpenRequest)[0].text, u"POST");
  EXPECT_EQ(fake::CountOf(fake::Call::CloseHandle), 3u) << "the client, with its session, is gone";
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, FormPostHeaderTest,
    ::testing::Values(
        BodyCase{"a=1&b=2", u"Content-Length: 7\r\nContent-Type: application/x-www-form-urlencoded\r\n"},
        BodyCase{"", u"Content-Length: 0\r\nContent-Type: application/x-www-form-urlencoded\r\n"},
        BodyCase{std::string("k=\xC3\xA9\0z", 6), u"Content-Length: 6\r\nContent-Type: application/x-www-form-urlencoded\r\n"},
        BodyCase{std::string(12345, 'q'), u"Content-Length: 12345\r\nContent-Type: application/x-www-form-urlencoded\r\n"}));

// The exports' posts keep certificate checking on: no option that would
// ignore certificate errors is ever set, on either scheme.
TEST_F(FakePlatformTest, CertificatesAreNeverIgnored) {
  const struct {
    const char16_t* url;
    DWORD requestFlags;
  } cases[] = {{u"https://s.test/x", WINHTTP_FLAG_SECURE}, {u"https://s.test:8443/x", WINHTTP_FLAG_SECURE},
               {u"http://s.test/x", 0}};
  for (const auto& c : cases) {
    fake::Reset();
    fake::QueueResponse(fake::HttpReply(200, "1"));
    WideString reply;
    ASSERT_TRUE(transport::FormPost(c.url, "a=1", reply));
    EXPECT_EQ(fake::CallsOf(fake::Call::OpenRequest)[0].flags, c.requestFlags);
    for (const fake::CallRecord& option : fake::CallsOf(fake::Call::SetOption)) {
      EXPECT_NE(option.option, static_cast<DWORD>(WINHTTP_OPTION_SECURITY_FLAGS));
    }
  }
}

TEST_F(FakePlatformTest, UnreachableServerGivesNoReply) {
  fake::FailCall(fake::Call::SendRequest, ERROR_WINHTTP_CANNOT_CONNECT);
  WideString reply = u"untouched";
  EXPECT_FALSE(transport::FormPost(kHttpUrl, "a=1", reply));
  EXPECT_EQ(reply, u"untouched");
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 3u);
}

TEST_F(FakePlatformTest, ErrorPageIsTheReply) {
  fake::QueueResponse(fake::HttpReply(404, "<html>Not Found</html>", "Content-Type: text/html\r\n"));
  WideString reply;
  ASSERT_TRUE(transport::FormPost(kHttpUrl, "a=1", reply));
  EXPECT_EQ(reply, u"<html>Not Found</html>");
}

TEST_F(FakePlatformTest, LostBodyCopyMeansNothingIsSent) {
  AllocationGate::FailOnly(1);
  WideString reply;
  EXPECT_FALSE(transport::FormPost(kHttpUrl, "a=1&b=2", reply));
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 0u);
  EXPECT_EQ(fake::CountOf(fake::Call::WriteData), 0u);
}

// What one FormPost does when allocation `failAt` fails.
struct Outcome {
  bool threw = false;
  bool ok = false;
  WideString reply;
};

Outcome PostFailingAllocation(std::size_t failAt) {
  fake::Reset();
  fake::QueueResponse(fake::HttpReply(200, "reply", "Content-Type: text/plain; charset=utf-8\r\nSet-Cookie: s=1\r\n"));
  AllocationGate::FailOnly(failAt);
  Outcome outcome;
  try {
    outcome.ok = transport::FormPost(kHttpUrl, "a=1&b=2", outcome.reply);
  } catch (...) {
    // Pattern work may raise when its memory fails; the export boundary
    // catches that.
    outcome.threw = true;
  }
  AllocationGate::Open();
  return outcome;
}

TEST_F(FakePlatformTest, EveryAllocationOfOneCallMayFail) {
  Outcome clean = PostFailingAllocation(0);
  ASSERT_TRUE(clean.ok);
  ASSERT_EQ(clean.reply, u"reply");
  const std::size_t total = AllocationGate::Count();
  // The core's own blocks, in order: body copy, raw header buffer, (the
  // pattern engine's), status buffer, body buffer, one chunk, decode buffer.
  ASSERT_GE(total, 6u);
  for (std::size_t failAt = 1; failAt <= total; ++failAt) {
    SCOPED_TRACE("failing allocation " + std::to_string(failAt) + " of " + std::to_string(total));
    Outcome outcome = PostFailingAllocation(failAt);
    EXPECT_EQ(fake::OpenHandleCount(), 0u);
    if (failAt == 1 || failAt == 2 || failAt >= total - 2) {
      // body copy, raw headers (the charset may be lost), body buffer, chunk,
      // decode buffer: no reply rather than a wrong one
      EXPECT_FALSE(outcome.ok);
      EXPECT_FALSE(outcome.threw);
    } else if (failAt == total - 3) {
      EXPECT_TRUE(outcome.ok);  // status not taken: it is only recorded
      EXPECT_EQ(outcome.reply, u"reply");
    } else {
      EXPECT_TRUE(outcome.threw || (outcome.ok && outcome.reply == u"reply"));
    }
  }
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 1u);
}

}  // namespace
