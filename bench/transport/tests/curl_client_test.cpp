// libcurl must send exactly the header lines it is given, in their order
// (only Host it always puts first), or the per-call comparison would time
// different requests.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "curl_client.h"
#include "request_capture.h"
#include "server_process.h"

namespace {

TEST(CurlPoster, SendsTheGivenHeadersAndNothingElse) {
  ASSERT_TRUE(bench::InitCurl());
  const std::string capture = testing::TempDir() + "curl-client-capture.bin";
  bench::ServerProcess server;
  ASSERT_TRUE(server.Start(0, capture, 2));
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port());
  const std::vector<std::vector<std::string>> headerSets = {
      {host, "User-Agent: WinHttpClient", "Content-Length: 7", "Content-Type: application/x-www-form-urlencoded"},
      {"Content-Type: text/plain", host, "Content-Length: 7", "Connection: close"},
  };
  for (const auto& headers : headerSets) {
    std::string reply;
    ASSERT_TRUE(bench::CurlPoster(headers).Post("http://127.0.0.1:" + std::to_string(server.Port()) + "/x",
                                                "a=1&b=2", reply));
    EXPECT_EQ(reply, "1");
  }
  const std::vector<std::string> requests = bench::ReadCaptures(capture);
  ASSERT_EQ(requests.size(), headerSets.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    std::string expected = "POST /x HTTP/1.1\r\n" + host + "\r\n";
    for (const std::string& line : headerSets[i])
      if (line != host) expected += line + "\r\n";
    EXPECT_EQ(requests[i], expected + "\r\na=1&b=2");
  }
  std::remove(capture.c_str());
}

}  // namespace
