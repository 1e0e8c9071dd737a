#include "kestrane_library.h"

#include <dlfcn.h>

namespace bench {

KestraneLibrary::~KestraneLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool KestraneLibrary::Load(const std::string& path, std::string& error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error = dlerror();
    return false;
  }
  checkLimits_ = reinterpret_cast<CheckLimitsExport>(dlsym(handle_, "CheckLimits"));
  if (checkLimits_ == nullptr) error = "no export CheckLimits in " + path;
  return checkLimits_ != nullptr;
}

int KestraneLibrary::CheckLimits(const char* source, const char* limits, int& result) const {
  return checkLimits_(source, limits, &result);
}

}  // namespace bench
