#include "platform/linux/request_headers.h"

#include <algorithm>
#include <cctype>

#include "platform/linux/wire_text.h"

namespace winhttp_linux {
namespace {

constexpr DWORD kErrorHeaderAlreadyExists = 12155;

using Header = std::pair<std::string, std::string>;

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsTokenCharacter(unsigned char c) {
  return c > 0x20 && c < 0x7F && c != ':' && c != '(' && c != ')' && c != ',' && c != ';' &&
         c != '"' && c != '/' && c != '[' && c != ']' && c != '=' && c != '{' && c != '}';
}

std::string_view Trimmed(std::string_view text) {
  std::size_t from = text.find_first_not_of(" \t");
  if (from == std::string_view::npos) return {};
  return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

// "Name: value" into its parts; false for a line that is no header.
bool SplitLine(std::string_view line, Header& header) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view name = line.substr(0, colon);
  if (!std::all_of(name.begin(), name.end(), [](char c) { return IsTokenCharacter(static_cast<unsigned char>(c)); }))
    return false;
  std::string_view value = Trimmed(line.substr(colon + 1));
  if (std::any_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }))
    return false;
  header = {std::string(name), std::string(value)};
  return true;
}

// Splits at CR LF (a bare LF is taken as a line end too); empty lines drop out.
bool ParseLines(std::string_view text, std::vector<Header>& headers) {
  headers.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    from = end + 1;
    if (line.empty()) continue;
    Header header;
    if (!SplitLine(line, header)) return false;
    headers.push_back(std::move(header));
  }
  return true;
}

DWORD Merge(std::vector<Header>& lines, Header header, DWORD modifiers) {
  auto existing = std::find_if(lines.begin(), lines.end(),
                               [&](const Header& line) { return SameName(line.first, header.first); });
  if (existing == lines.end()) {
    if ((modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) != 0 && (modifiers & WINHTTP_ADDREQ_FLAG_ADD) == 0)
      return ERROR_WINHTTP_HEADER_NOT_FOUND;
    if (!header.second.empty() || (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) == 0)
      lines.push_back(std::move(header));
    return ERROR_SUCCESS;
  }
  if ((modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0) return kErrorHeaderAlreadyExists;
  if ((modifiers & WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON) != 0) {
    existing->second += "; " + header.second;
  } else if ((modifiers & WINHTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) != 0) {
    existing->second += ", " + header.second;
  } else if ((modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) != 0) {
    if (header.second.empty()) lines.erase(existing);
    else existing->second = std::move(header.second);
  } else {
    lines.push_back(std::move(header));
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD RequestHeaders::Add(std::u16string_view text, DWORD modifiers) {
  std::vector<Header> parsed;
  if (!ParseLines(ToSingleByte(text), parsed)) return ERROR_WINHTTP_INVALID_HEADER;
  // Merged into a copy, so that a refused line leaves the handle's lines as they were.
  std::vector<Header> merged;
  merged.reserve(lines_.size() + parsed.size());
  merged = lines_;
  for (Header& header : parsed) {
    DWORD result = Merge(merged, std::move(header), modifiers);
    if (result != ERROR_SUCCESS) return result;
  }
  lines_ = std::move(merged);
  return ERROR_SUCCESS;
}

std::string BuildRequestHead(const RequestLine& line, const RequestHeaders& headers) {
  std::size_t size = line.verb.size() + line.target.size() + line.hostField.size() + line.userAgent.size() + 64;
  for (const Header& header : headers.Lines()) size += header.first.size() + header.second.size() + 4;
  std::string head;
  head.reserve(size);
  head.append(line.verb).append(" ").append(line.target).append(" HTTP/1.1\r\n");
  head.append("Host: ").append(line.hostField).append("\r\n");
  if (!line.userAgent.empty()) head.append("User-Agent: ").append(line.userAgent).append("\r\n");
  for (const Header& header : headers.Lines()) head.append(header.first).append(": ").append(header.second).append("\r\n");
  return head.append("Connection: close\r\n\r\n");
}

}  // namespace winhttp_linux
