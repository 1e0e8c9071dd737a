// libKestrane.so loaded the way a caller loads it: by file name, with the
// export looked up by its plain name.
#pragma once

#include <string>

namespace bench {

class KestraneLibrary {
 public:
  KestraneLibrary() = default;
  KestraneLibrary(const KestraneLibrary&) = delete;
  KestraneLibrary& operator=(const KestraneLibrary&) = delete;
  ~KestraneLibrary();

  // False, with the loader's message in `error`, when it can't be used.
  bool Load(const std::string& path, std::string& error);

  // The export's return value (1 or 0); `result` gets what it stored.
  int CheckLimits(const char* source, const char* limits, int& result) const;

 private:
  using CheckLimitsExport = int (*)(const char*, const char*, int*);
  void* handle_ = nullptr;
  CheckLimitsExport checkLimits_ = nullptr;
};

}  // namespace bench
