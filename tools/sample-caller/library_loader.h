// Loads a library by file name and finds exports by name: LoadLibraryA and
// GetProcAddress on Windows, dlopen and dlsym elsewhere.
#pragma once

#include <string>

class LibraryLoader {
 public:
  explicit LibraryLoader(const std::string& path);
  ~LibraryLoader();
  LibraryLoader(const LibraryLoader&) = delete;
  LibraryLoader& operator=(const LibraryLoader&) = delete;

  bool Loaded() const { return handle_ != nullptr; }

  // The export `name` as a Signature pointer; null when missing.
  template <typename Signature>
  Signature* Export(const char* name) const {
    return reinterpret_cast<Signature*>(Find(name));
  }

 private:
  void* Find(const char* name) const;
  void* handle_ = nullptr;
};
