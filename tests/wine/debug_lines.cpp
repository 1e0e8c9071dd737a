#include "debug_lines.h"

#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace dllcaller {
namespace {

// Per thread, but not as a thread_local: mingw-w64's static runtime
// crashes at the exit of a thread whose thread_local has a destructor.
std::mutex keptMutex;
std::map<std::thread::id, std::vector<std::string>> kept;

void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

// A lone surrogate becomes U+FFFD, so the line always reads back.
std::string Utf8Of(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      Append(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      Append(out, unit >= 0xD800 && unit < 0xE000 ? char32_t{0xFFFD} : char32_t{unit});
    }
  }
  return out;
}

void KeepDebugLine(std::string utf8) {
  std::lock_guard<std::mutex> lock(keptMutex);
  kept[std::this_thread::get_id()].push_back(std::move(utf8));
}

std::vector<std::string> TakeDebugLines() {
  std::lock_guard<std::mutex> lock(keptMutex);
  const auto found = kept.find(std::this_thread::get_id());
  if (found == kept.end()) return {};
  std::vector<std::string> lines = std::move(found->second);
  kept.erase(found);
  return lines;
}

}  // namespace dllcaller
