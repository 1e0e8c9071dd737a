// A shared library loaded by file name, with its exports looked up by
// name, as a trading program does it.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace exportstest {

class LoadedLibrary {
 public:
  // RTLD_NODELETE keeps the library mapped after dlclose: the platform
  // layer's process-wide handle table lives on in the heap, and only a
  // mapped library keeps it reachable for the leak checker.
  explicit LoadedLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    if (handle_ == nullptr) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
  }
  ~LoadedLibrary() { dlclose(handle_); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // The export `name` as a pointer to a function of type Signature.
  template <typename Signature>
  Signature* Export(const char* name) const {
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("no export ") + name);
    return reinterpret_cast<Signature*>(symbol);
  }

  bool Has(const char* name) const { return Address(name) != nullptr; }
  void* Address(const char* name) const { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace exportstest
