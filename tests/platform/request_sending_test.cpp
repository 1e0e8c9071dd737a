// What goes out on the wire, and how the request calls fail.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include "loopback_server.h"
#include "winhttp_fixture.h"

namespace {

using namespace testsupport;
using namespace platformtest;

const std::u16string kFormHeaders = u"Content-Length: 3\r\nContent-Type: application/x-www-form-urlencoded\r\n";

TEST(RequestBytes, AreExactlyTheDocumentedHead) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "ok"))});
  const std::string port = std::to_string(server.Port());
  struct Case {
    std::u16string host, agent, verb, path;
    std::string expected;
  } cases[] = {
      {u"127.0.0.1", u"WinHttpClient", u"POST", u"/admin/x?y=1",
       "POST /admin/x?y=1 HTTP/1.1\r\nHost: 127.0.0.1:" + port +
           "\r\nUser-Agent: WinHttpClient\r\nContent-Length: 3\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n\r\na=1"},
      {u"localhost", u"", u"POST", u"",
       "POST / HTTP/1.1\r\nHost: localhost:" + port +
           "\r\nContent-Length: 3\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Connection: close\r\n\r\na=1"},
  };
  std::size_t handled = 0;
  for (const Case& c : cases) {
    RequestOptions options;
    options.host = c.host;
    options.port = server.Port();
    options.agent = c.agent;
    options.verb = c.verb;
    options.path = c.path;
    OpenedRequest request(options);
    ASSERT_EQ(request.Exchange(kFormHeaders, "a=1"), 0u);
    ASSERT_TRUE(server.WaitForHandled(++handled, 3000));
    EXPECT_EQ(server.Requests().back(), c.expected);
  }
}

TEST(RequestBytes, BodyWrittenInPiecesFollowsTheHeadExactly) {
  // The head may wait for the first piece of the body; the bytes on the
  // wire stay the head and then every piece in order.
  const std::vector<std::vector<std::string>> bodies = {
      {}, {"a=1"}, {"", "a=1"}, {"a=", "1&b", "=2"}, {std::string(70000, 'z'), "end"}};
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "ok"))});
  std::size_t handled = 0;
  for (const std::vector<std::string>& pieces : bodies) {
    std::string body;
    for (const std::string& piece : pieces) body += piece;
    RequestOptions options;
    options.port = server.Port();
    OpenedRequest request(options);
    const std::u16string length = Widen("Content-Length: " + std::to_string(body.size()) + "\r\n");
    ASSERT_TRUE(WinHttpAddRequestHeaders(request.Handle(), length.c_str(), static_cast<DWORD>(length.size()),
                                         WINHTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(WinHttpSendRequest(request.Handle(), nullptr, 0, nullptr, 0, 0, 0));
    for (const std::string& piece : pieces) {
      DWORD written = 0;
      ASSERT_TRUE(WinHttpWriteData(request.Handle(), piece.data(), static_cast<DWORD>(piece.size()), &written));
      EXPECT_EQ(written, piece.size());
    }
    ASSERT_TRUE(WinHttpReceiveResponse(request.Handle(), nullptr));
    ASSERT_TRUE(server.WaitForHandled(++handled, 3000));
    EXPECT_EQ(server.Requests().back(), "POST /p HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                            "\r\nUser-Agent: WinHttpClient\r\nContent-Length: " +
                                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body)
        << pieces.size() << " pieces";
  }
}

TEST(RequestBytes, OptionalDataAndExtraHeadersOfSendGoOut) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, ""))});
  RequestOptions options;
  options.port = server.Port();
  OpenedRequest request(options);
  const std::u16string extra = u"Content-Length: 2\r\n";
  char data[] = "hi";
  ASSERT_TRUE(WinHttpSendRequest(request.Handle(), extra.c_str(), static_cast<DWORD>(-1), data, 2, 2, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(request.Handle(), nullptr));
  ASSERT_TRUE(server.WaitForHandled(1, 3000));
  const std::string sent = server.Requests().at(0);
  EXPECT_NE(sent.find("\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi"), std::string::npos) << sent;
}

TEST(RequestHeaders, ModifiersMergeLinesAsTheyShould) {
  struct Case {
    const char* name;
    DWORD secondModifiers;
    BOOL secondResult;
    std::string expectedLines;
  } cases[] = {
      {"semicolon coalesces", WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON, TRUE, "X-A: 1; 2\r\nX-B: b; b\r\n"},
      {"comma coalesces", WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA, TRUE, "X-A: 1, 2\r\nX-B: b, b\r\n"},
      {"plain add repeats", WINHTTP_ADDREQ_FLAG_ADD, TRUE, "X-A: 1\r\nX-B: b\r\nX-A: 2\r\nx-b: b\r\n"},
      {"replace", WINHTTP_ADDREQ_FLAG_REPLACE, TRUE, "X-A: 2\r\nX-B: b\r\n"},
      {"add if new refuses", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW, FALSE, "X-A: 1\r\nX-B: b\r\n"},
  };
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, ""))});
  std::size_t handled = 0;
  for (const Case& c : cases) {
    RequestOptions options;
    options.port = server.Port();
    options.agent = u"";
    OpenedRequest request(options);
    const std::u16string first = u"X-A: 1\r\nX-B: b\r\n", second = u"X-A: 2\r\nx-b: b";
    ASSERT_TRUE(WinHttpAddRequestHeaders(request.Handle(), first.c_str(), static_cast<DWORD>(-1),
                                         WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
    EXPECT_EQ(WinHttpAddRequestHeaders(request.Handle(), second.c_str(), static_cast<DWORD>(second.size()),
                                       c.secondModifiers),
              c.secondResult)
        << c.name;
    ASSERT_EQ(request.Exchange(u"", ""), 0u) << c.name;
    ASSERT_TRUE(server.WaitForHandled(++handled, 3000));
    std::string sent = server.Requests().back();
    std::size_t from = sent.find("\r\n", sent.find("Host:")) + 2;
    EXPECT_EQ(sent.substr(from, sent.find("Connection:") - from), c.expectedLines) << c.name;
  }
}

TEST(RequestHeaders, MalformedLinesAreRefusedWhole) {
  RequestOptions options;
  options.port = 9;
  OpenedRequest request(options);
  for (const std::u16string& bad : {std::u16string(u"NoColon\r\n"), std::u16string(u": empty name"),
                                    std::u16string(u"Bad Name: x"), std::u16string(u"X: a\0b", 6)}) {
    EXPECT_FALSE(WinHttpAddRequestHeaders(request.Handle(), bad.c_str(), static_cast<DWORD>(bad.size()), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INVALID_HEADER));
  }
}

TEST(Sending, FailsWithTheReasonOfTheConnection) {
  ClosedPort closed;
  struct Case {
    std::u16string host;
    INTERNET_PORT port;
    DWORD error;
  } cases[] = {
      {u"127.0.0.1", closed.Port(), ERROR_WINHTTP_CANNOT_CONNECT},
      {u"localhost", closed.Port(), ERROR_WINHTTP_CANNOT_CONNECT},
      {u"bad host!", 80, ERROR_WINHTTP_NAME_NOT_RESOLVED},  // refused before any lookup
      {u"a\nb", 80, ERROR_WINHTTP_NAME_NOT_RESOLVED},
  };
  for (const Case& c : cases) {
    RequestOptions options;
    options.host = c.host;
    options.port = c.port;
    OpenedRequest request(options);
    ASSERT_TRUE(request.Opened());
    EXPECT_FALSE(WinHttpSendRequest(request.Handle(), nullptr, 0, nullptr, 0, 0, 0));
    EXPECT_EQ(GetLastError(), c.error) << Narrow(c.host);
    EXPECT_FALSE(WinHttpReceiveResponse(request.Handle(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  }
}

TEST(Sending, SecondSendStartsAfresh) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {{"X-N", "1"}}, "first")),
                         Step::Respond(HttpResponse(500, {}, "second"))});
  RequestOptions options;
  options.port = server.Port();
  OpenedRequest request(options);
  ASSERT_EQ(request.Exchange(u"", ""), 0u);
  EXPECT_EQ(QueryText(request.Handle(), WINHTTP_QUERY_STATUS_CODE), "200");
  ASSERT_TRUE(WinHttpSendRequest(request.Handle(), nullptr, 0, nullptr, 0, 0, 0));
  EXPECT_FALSE(WinHttpQueryDataAvailable(request.Handle(), nullptr));  // earlier response is gone
  ASSERT_TRUE(WinHttpReceiveResponse(request.Handle(), nullptr));
  EXPECT_EQ(QueryText(request.Handle(), WINHTTP_QUERY_STATUS_CODE), "500");
  DWORD error = 0;
  EXPECT_EQ(ReadWholeBody(request.Handle(), error), "second");
  EXPECT_EQ(server.ConnectionCount(), 2u);
}

TEST(Sending, PeerClosingEarlyNeverRaisesSigpipe) {
  // No handler is installed: a SIGPIPE would end the test process. Writing
  // after the peer has closed and reset the connection is what raises it.
  ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
  ScriptedServer server({Step::CloseAtOnce()});
  const std::string body(256 * 1024, 'p');
  for (int round = 0; round < 3; ++round) {
    RequestOptions options;
    options.port = server.Port();
    OpenedRequest request(options);
    WinHttpSendRequest(request.Handle(), nullptr, 0, nullptr, 0, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int write = 0; write < 3; ++write) {
      DWORD written = 0;
      EXPECT_FALSE(WinHttpWriteData(request.Handle(), body.data(), static_cast<DWORD>(body.size()), &written));
    }
    EXPECT_FALSE(WinHttpReceiveResponse(request.Handle(), nullptr));
  }
}

TEST(HeaderQueries, HandOutTextAndNumbersAsTheClientAsksForThem) {
  ScriptedServer server({Step::Respond("HTTP/1.1 201 Created\r\nContent-Length: 3\r\nX-Caf\xE9: 1\r\n\r\nabc")});
  RequestOptions options;
  options.port = server.Port();
  OpenedRequest request(options);
  DWORD size = 0;
  EXPECT_FALSE(WinHttpQueryHeaders(request.Handle(), WINHTTP_QUERY_STATUS_CODE, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  ASSERT_EQ(request.Exchange(u"", ""), 0u);

  const std::string raw = "HTTP/1.1 201 Created\r\nContent-Length: 3\r\nX-Caf\xE9: 1\r\n\r\n";
  size = 0;
  EXPECT_FALSE(WinHttpQueryHeaders(request.Handle(), WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, (raw.size() + 1) * 2);
  EXPECT_EQ(QueryText(request.Handle(), WINHTTP_QUERY_RAW_HEADERS_CRLF), raw);
  EXPECT_EQ(QueryText(request.Handle(), WINHTTP_QUERY_STATUS_CODE), "201");

  // One byte short of the terminator: refused, nothing written.
  char16_t guard[8];
  std::memset(guard, 0x55, sizeof guard);
  size = 6;
  EXPECT_FALSE(WinHttpQueryHeaders(request.Handle(), WINHTTP_QUERY_STATUS_CODE, nullptr, guard, &size, nullptr));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(guard[0], 0x5555);

  DWORD length = 0, lengthSize = sizeof length;
  ASSERT_TRUE(WinHttpQueryHeaders(request.Handle(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                  nullptr, &length, &lengthSize, nullptr));
  EXPECT_EQ(length, 3u);
  EXPECT_FALSE(WinHttpQueryHeaders(request.Handle(), WINHTTP_QUERY_STATUS_CODE, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The framing headers as the server sent them, whatever framing wins; the
// raw head with CR LF line ends and nothing in front of its status line.
TEST(HeaderQueries, FramingHeadersAndRawHeadAreHandedOutAsSent) {
  const std::string notFound = "<error " + std::to_string(ERROR_WINHTTP_HEADER_NOT_FOUND) + ">";
  const std::string canonical = "HTTP/1.1 200 OK\r\nA: 1\r\nContent-Length: 0\r\n\r\n";
  struct Case {
    std::string response;
    DWORD level;
    std::string text;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\nbody", WINHTTP_QUERY_CONTENT_LENGTH, notFound},
      {"HTTP/1.1 200 OK\r\n\r\nbody", WINHTTP_QUERY_TRANSFER_ENCODING, notFound},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding:  gzip, Chunked \r\nContent-Length: 9\r\n\r\n0\r\n\r\n",
       WINHTTP_QUERY_TRANSFER_ENCODING, "gzip, Chunked"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 9\r\n\r\n0\r\n\r\n",
       WINHTTP_QUERY_CONTENT_LENGTH, "9"},
      {"HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", WINHTTP_QUERY_CONTENT_LENGTH, "5"},
      {canonical, WINHTTP_QUERY_RAW_HEADERS_CRLF, canonical},
      {"HTTP/1.1 200 OK\nA: 1\nContent-Length: 0\n\n", WINHTTP_QUERY_RAW_HEADERS_CRLF, canonical},
      {"HTTP/1.1 200 OK\r\nA: 1\r\nContent-Length: 0\r\n\n", WINHTTP_QUERY_RAW_HEADERS_CRLF, canonical},
      {"HTTP/1.1 200 OK\r\nA: 1\nContent-Length: 0\r\n\r\n", WINHTTP_QUERY_RAW_HEADERS_CRLF, canonical},
      {"\r\n\n" + canonical, WINHTTP_QUERY_RAW_HEADERS_CRLF, canonical},
      // A carriage return before the line's own CR LF stays in the line.
      {"HTTP/1.1 200 OK\r\nA: 1\r\r\nContent-Length: 0\r\n\r\n", WINHTTP_QUERY_RAW_HEADERS_CRLF,
       "HTTP/1.1 200 OK\r\nA: 1\r\r\nContent-Length: 0\r\n\r\n"},
  };
  for (const Case& c : cases) {
    ScriptedServer server({Step::Respond(c.response)});
    RequestOptions options;
    options.port = server.Port();
    OpenedRequest request(options);
    ASSERT_EQ(request.Exchange(u"", ""), 0u) << c.response;
    EXPECT_EQ(QueryText(request.Handle(), c.level), c.text) << c.response;
  }
}

TEST(Handles, WrongOrStaleHandlesAreRefused) {
  HINTERNET session = WinHttpOpen(u"a", 0, nullptr, nullptr, 0);
  HINTERNET connection = WinHttpConnect(session, u"127.0.0.1", 9, 0);
  HINTERNET request = WinHttpOpenRequest(connection, u"GET", u"/", nullptr, nullptr, nullptr, 0);
  ASSERT_NE(request, nullptr);
  int notAHandle = 0;
  struct Case {
    const char* name;
    bool refused;
    DWORD error;
  } cases[] = {
      {"null session", WinHttpConnect(nullptr, u"h", 80, 0) == nullptr, ERROR_INVALID_HANDLE},
      {"foreign pointer", WinHttpConnect(&notAHandle, u"h", 80, 0) == nullptr, ERROR_INVALID_HANDLE},
      {"request as session", WinHttpConnect(request, u"h", 80, 0) == nullptr, ERROR_WINHTTP_INCORRECT_HANDLE_TYPE},
      {"session as connection", WinHttpOpenRequest(session, u"GET", u"/", nullptr, nullptr, nullptr, 0) == nullptr,
       ERROR_WINHTTP_INCORRECT_HANDLE_TYPE},
      {"session as request", !WinHttpSendRequest(session, nullptr, 0, nullptr, 0, 0, 0), ERROR_WINHTTP_INCORRECT_HANDLE_TYPE},
      {"option on session", !WinHttpSetOption(session, WINHTTP_OPTION_SECURITY_FLAGS, &notAHandle, 4),
       ERROR_WINHTTP_INCORRECT_HANDLE_TYPE},
      {"unknown option", !WinHttpSetOption(request, 12345, &notAHandle, 4), ERROR_WINHTTP_INVALID_OPTION},
      {"redirect switch on session", !WinHttpSetOption(session, WINHTTP_OPTION_DISABLE_FEATURE, &notAHandle, 4),
       ERROR_WINHTTP_INCORRECT_HANDLE_TYPE},
      {"redirect switch too short", !WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &notAHandle, 2),
       ERROR_INSUFFICIENT_BUFFER},
      {"negative time-out", !WinHttpSetTimeouts(session, 0, -2, 0, 0), ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.refused) << c.name;
  }
  // Errors are checked one call at a time, as each call overwrites the last.
  EXPECT_EQ(WinHttpConnect(&notAHandle, u"h", 80, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WinHttpSendRequest(session, nullptr, 0, nullptr, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
  EXPECT_FALSE(WinHttpSetOption(request, 12345, &notAHandle, 4));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INVALID_OPTION));

  EXPECT_TRUE(WinHttpCloseHandle(request));
  EXPECT_FALSE(WinHttpCloseHandle(request));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(WinHttpCloseHandle(connection));
  EXPECT_TRUE(WinHttpCloseHandle(session));
}

TEST(Handles, RequestOutlivesItsParents) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "still here"))});
  HINTERNET session = WinHttpOpen(u"a", 0, nullptr, nullptr, 0);
  WinHttpSetTimeouts(session, 0, 1000, 1000, 1000);
  HINTERNET connection = WinHttpConnect(session, u"127.0.0.1", server.Port(), 0);
  HINTERNET request = WinHttpOpenRequest(connection, u"GET", u"/", nullptr, nullptr, nullptr, 0);
  ASSERT_TRUE(WinHttpCloseHandle(session));
  ASSERT_TRUE(WinHttpCloseHandle(connection));
  ASSERT_TRUE(WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(request, nullptr));
  DWORD error = 0;
  EXPECT_EQ(ReadWholeBody(request, error), "still here");
  EXPECT_TRUE(WinHttpCloseHandle(request));
}

TEST(Descriptors, EveryPathClosesItsSockets) {
  // Counted around the servers too: a held connection is theirs until they stop.
  const int before = OpenDescriptorCount();
  {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "ok")), Step::Hold(), Step::CloseAtOnce(),
                         Step::Respond("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"),
                         Step::Respond("garbage\r\n\r\n"), Step::Respond(HttpResponse(200, {}, "unread"))});
  ClosedPort closed;
  for (int step = 0; step < 6; ++step) {
    RequestOptions options;
    options.port = server.Port();
    options.receiveMs = 200;
    OpenedRequest request(options);
    if (request.Exchange(u"", "") == ERROR_SUCCESS && step != 5) {
      DWORD error = 0;
      ReadWholeBody(request.Handle(), error);
    }
  }
  RequestOptions refused;
  refused.port = closed.Port();
  { OpenedRequest request(refused); request.Exchange(u"", ""); }
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
