#include "library_loader.h"

#ifdef _WIN32
#include <windows.h>

LibraryLoader::LibraryLoader(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}
LibraryLoader::~LibraryLoader() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
void* LibraryLoader::Find(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}
#else
#include <dlfcn.h>

LibraryLoader::LibraryLoader(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
LibraryLoader::~LibraryLoader() {
  if (handle_ != nullptr) dlclose(handle_);
}
void* LibraryLoader::Find(const char* name) const { return dlsym(handle_, name); }
#endif
