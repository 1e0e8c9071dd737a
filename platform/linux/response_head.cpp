#include "platform/linux/response_head.h"

#include <cctype>

namespace winhttp_linux {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// `lower` is given in lower case.
bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t SkipBlankLines(std::string_view data) {
  std::size_t at = 0;
  while (at < data.size() && (data[at] == '\r' || data[at] == '\n')) ++at;
  return at;
}

// Calls `take` with each line of the block without its CR LF (a bare LF
// also ends a line), up to the first empty one, while it returns true.
template <typename Take>
bool ForEachLine(std::string_view block, Take take) {
  std::size_t from = SkipBlankLines(block);
  while (from < block.size()) {
    std::size_t end = block.find('\n', from);
    if (end == std::string_view::npos) end = block.size();
    std::string_view line = block.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (!take(line)) return false;
    from = end + 1;
  }
  return true;
}

// "HTTP/d.d ddd[ reason]".
bool ParseStatusLine(std::string_view line, ResponseHead& head) {
  if (line.size() < 12 || line.compare(0, 5, "HTTP/") != 0 || !IsDigit(line[5]) || line[6] != '.' ||
      !IsDigit(line[7]) || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) ||
      !IsDigit(line[11]) || (line.size() > 12 && line[12] != ' '))
    return false;
  head.statusDigits = std::string(line.substr(9, 3));
  head.status = std::stoi(head.statusDigits);
  return head.status >= 100;
}

// Each comma-separated entry must be the same plain decimal number.
bool MergeContentLength(std::string_view value, ResponseHead& head) {
  std::size_t from = 0;
  do {
    std::size_t comma = value.find(',', from);
    std::string_view entry = Trim(value.substr(from, comma == std::string_view::npos ? comma : comma - from));
    if (entry.empty()) return false;
    std::uint64_t number = 0;
    for (char c : entry) {
      if (!IsDigit(c) || number > (UINT64_MAX - static_cast<unsigned>(c - '0')) / 10) return false;
      number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (head.hasContentLength && number != head.contentLength) return false;
    head.hasContentLength = true;
    head.contentLength = number;
    from = comma == std::string_view::npos ? value.size() + 1 : comma + 1;
  } while (from <= value.size());
  return true;
}

bool TakeField(std::string_view line, ResponseHead& head) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0 || line[0] == ' ' || line[0] == '\t') return false;
  std::string_view name = Trim(line.substr(0, colon));
  std::string_view value = Trim(line.substr(colon + 1));
  if (EqualsIgnoringCase(name, "content-length")) return MergeContentLength(value, head);
  if (EqualsIgnoringCase(name, "transfer-encoding")) {
    head.transferEncoding = value;
    std::string codings = Lower(value);
    std::size_t last = codings.rfind(',');
    head.chunked = Trim(std::string_view(codings).substr(last == std::string::npos ? 0 : last + 1)) == "chunked";
  }
  return true;
}

}  // namespace

std::size_t FindHeadEnd(std::string_view data) {
  std::size_t from = SkipBlankLines(data);
  for (std::size_t at = data.find('\n', from); at != std::string_view::npos; at = data.find('\n', at + 1)) {
    std::size_t next = at + 1;
    if (next < data.size() && data[next] == '\n') return next + 1;
    if (next + 1 < data.size() && data[next] == '\r' && data[next + 1] == '\n') return next + 2;
  }
  return std::string_view::npos;
}

DWORD ParseResponseHead(std::string_view block, ResponseHead& head) {
  head = ResponseHead{};
  bool statusLine = true;
  bool crlfOnly = true;         // every line so far ends in CR LF
  std::size_t linesEnd = 0;     // just past the last line's CR LF
  const bool valid = ForEachLine(block, [&](std::string_view line) {
    const std::size_t end = static_cast<std::size_t>(line.data() - block.data()) + line.size();
    crlfOnly = crlfOnly && block.substr(end, 2) == "\r\n";
    linesEnd = end + 2;
    if (!statusLine) return TakeField(line, head);
    statusLine = false;
    return ParseStatusLine(line, head);
  });
  if (!valid || statusLine) return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
  // Blank lines in front are dropped, bare LFs become CR LF and nothing
  // after the blank line is kept; a head without any of these is taken as
  // it came, in one copy.
  if (crlfOnly && SkipBlankLines(block) == 0 && block.substr(linesEnd) == "\r\n") {
    head.rawHeaders.assign(block);
    return ERROR_SUCCESS;
  }
  head.rawHeaders.reserve(block.size() + 2);
  ForEachLine(block, [&](std::string_view line) {
    head.rawHeaders.append(line).append("\r\n");
    return true;
  });
  head.rawHeaders += "\r\n";
  return ERROR_SUCCESS;
}

BodyFraming FramingOf(const ResponseHead& head, bool replyToHead) {
  if (replyToHead || head.status == 204 || head.status == 304) return BodyFraming::None;
  if (head.chunked) return BodyFraming::Chunked;
  if (head.hasContentLength) return head.contentLength == 0 ? BodyFraming::None : BodyFraming::Length;
  return BodyFraming::UntilClose;
}

}  // namespace winhttp_linux
