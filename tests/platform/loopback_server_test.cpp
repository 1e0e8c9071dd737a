// The loopback servers that every integration test leans on, checked with
// plain sockets so a fault in them is not mistaken for one in the client.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "answering_server.h"
#include "loopback_server.h"
#include "same_thread_server.h"
#include "socket_io.h"

namespace {

using namespace testsupport;
using detail::StopFlag;

StopFlag kNeverStop{false};

std::string Exchange(std::uint16_t port, const std::string& request) {
  detail::Socket connection = detail::ConnectToLoopback(port, 1000);
  if (!connection.Valid()) return "<no connection>";
  detail::SendAll(connection.Fd(), request, kNeverStop);
  return detail::ReadUntilClosed(connection.Fd(), 3000, kNeverStop);
}

const std::string kPost =
    "POST /p HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\nabc";

TEST(ScriptedServer, ServesStepsInOrderAndRepeatsTheLast) {
  ScriptedServer server({Step::Respond("first"), Step::Trickle("second", 2, 5)});
  EXPECT_EQ(Exchange(server.Port(), kPost), "first");
  EXPECT_EQ(Exchange(server.Port(), kPost), "second");
  EXPECT_EQ(Exchange(server.Port(), kPost), "second");
  ASSERT_TRUE(server.WaitForHandled(3, 2000));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (const auto& request : requests) EXPECT_EQ(request, kPost);
  EXPECT_EQ(server.ConnectionCount(), 3u);
}

TEST(ScriptedServer, ReadsTheWholeBodyItIsAnnounced) {
  std::string body(100000, 'x');
  std::string request = "POST / HTTP/1.1\r\ncontent-length: 100000\r\n\r\n" + body;
  ScriptedServer server({Step::Respond("ok")});
  EXPECT_EQ(Exchange(server.Port(), request), "ok");
  ASSERT_TRUE(server.WaitForHandled(1, 2000));
  EXPECT_EQ(server.Requests().at(0), request);
}

TEST(ScriptedServer, HeldConnectionStaysSilentAndDestructorIsBounded) {
  auto started = std::chrono::steady_clock::now();
  {
    ScriptedServer server({Step::Hold()});
    detail::Socket connection = detail::ConnectToLoopback(server.Port(), 1000);
    ASSERT_TRUE(connection.Valid());
    detail::SendAll(connection.Fd(), kPost, kNeverStop);
    EXPECT_EQ(detail::ReadUntilClosed(connection.Fd(), 300, kNeverStop), "");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

TEST(ScriptedServer, CloseAtOnceAndResetEndTheConnection) {
  ScriptedServer server({Step::CloseAtOnce(), Step::SendThenReset("partial")});
  EXPECT_EQ(Exchange(server.Port(), kPost), "");
  EXPECT_EQ(Exchange(server.Port(), kPost), "partial");
}

TEST(AnsweringServer, AnswersEachRequestFromItsTargetAndBody) {
  AnsweringServer server(
      [](const std::string& request) { return RequestTarget(request) + "|" + RequestBody(request); });
  EXPECT_EQ(Exchange(server.Port(), kPost), "/p|abc");
  EXPECT_EQ(Exchange(server.Port(), "GET /q?x HTTP/1.1\r\n\r\n"), "/q?x|");
  EXPECT_TRUE(server.WaitUntilServed(2, 2000));
}

TEST(SameThreadServer, AnswersARequestAlreadySent) {
  SameThreadServer server;
  detail::Socket client = detail::ConnectToLoopback(server.Port(), 1000);
  ASSERT_TRUE(client.Valid());
  detail::SendAll(client.Fd(), kPost, kNeverStop);
  ASSERT_TRUE(server.Answer("answer"));
  EXPECT_EQ(detail::ReadUntilClosed(client.Fd(), 1000, kNeverStop), "answer");
  client.Close();
  server.Hangup();
  EXPECT_FALSE(server.Answer("nobody asked")) << "no connection was waiting";
}

TEST(ClosedPort, RefusesConnections) {
  ClosedPort closed;
  EXPECT_NE(closed.Port(), 0);
  EXPECT_FALSE(detail::ConnectToLoopback(closed.Port(), 1000).Valid());
}

TEST(HttpResponse, FramesTheBodyUnlessTheHeadersDo) {
  struct Case {
    int status;
    HeaderList headers;
    std::string body;
    std::string expected;
  } cases[] = {
      {200, {}, "hi", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi"},
      {500, {{"X-A", "1"}}, "", "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nX-A: 1\r\n\r\n"},
      {200, {{"transfer-encoding", "chunked"}}, ChunkedBody({"ab", "", "c"}),
       "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n2\r\nab\r\n1\r\nc\r\n0\r\n\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(HttpResponse(c.status, c.headers, c.body), c.expected);
}

TEST(ForwardingProxy, RewritesToOriginFormAndRelaysTheReply) {
  ScriptedServer upstream({Step::Respond(HttpResponse(200, {}, "relayed"))});
  ClosedPort refusing;
  const std::string refusingTarget = "127.0.0.1:" + std::to_string(refusing.Port());
  struct Case {
    std::uint16_t fixedUpstream;
    std::string requestLine;
    std::string forwardedLine;
  } cases[] = {
      {upstream.Port(), "POST http://" + refusingTarget + "/a/b?c=1 HTTP/1.1", "POST /a/b?c=1 HTTP/1.1"},
      {0, "GET http://127.0.0.1:" + std::to_string(upstream.Port()) + " HTTP/1.1", "GET / HTTP/1.1"},
  };
  std::size_t served = 0;
  for (const Case& c : cases) {
    ForwardingProxy proxy(c.fixedUpstream);
    std::string request = c.requestLine + "\r\nHost: x\r\n\r\n";
    std::string reply = Exchange(proxy.Port(), request);
    EXPECT_NE(reply.find("relayed"), std::string::npos) << c.requestLine;
    EXPECT_EQ(proxy.RequestLines(), std::vector<std::string>{c.requestLine});
    ASSERT_TRUE(upstream.WaitForHandled(++served, 2000));
    EXPECT_EQ(upstream.Requests().back(), c.forwardedLine + "\r\nHost: x\r\n\r\n");
  }
}

TEST(ForwardingProxy, RefusesTargetsOffLoopback) {
  ForwardingProxy proxy;
  std::string reply = Exchange(proxy.Port(), "GET http://elsewhere.invalid/ HTTP/1.1\r\n\r\n");
  EXPECT_EQ(reply.rfind("HTTP/1.1 502", 0), 0u) << reply;
}

}  // namespace
