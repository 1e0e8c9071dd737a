#include "curl_client.h"

#include <curl/curl.h>

#include <utility>

namespace bench {
namespace {

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// The header list for one request: ours in order, then libcurl's own
// defaults switched off ("Name:" with no value removes a header).
curl_slist* BuildHeaderList(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& line : lines) list = curl_slist_append(list, line.c_str());
  for (const char* removed : {"Accept:", "Expect:"}) list = curl_slist_append(list, removed);
  return list;
}

}  // namespace

CurlPoster::CurlPoster(std::vector<std::string> headerLines, std::string caFile)
    : headerLines_(std::move(headerLines)), caFile_(std::move(caFile)) {}

bool CurlPoster::Post(const std::string& url, const std::string& body, std::string& reply) const {
  reply.clear();
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return false;
  curl_slist* headers = BuildHeaderList(headerLines_);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");  // never a proxy from the environment
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 60000L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 60000L);
  if (!caFile_.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile_.c_str());
  const CURLcode result = curl_easy_perform(easy);
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);
  return result == CURLE_OK;
}

bool InitCurl() { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }

}  // namespace bench
