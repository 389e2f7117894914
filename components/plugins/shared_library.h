// A loaded shared object (dlopen), closed when the last owner lets it go. The
// LADSPA descriptors point into it, so every list entry and running instance
// that uses one holds the library.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace qel::plugins {

class SharedLibrary {
 public:
  // Null, with `error` set to the loader's message, when it cannot be loaded.
  static std::shared_ptr<SharedLibrary> Open(const std::filesystem::path& file, std::string& error);
  // Only Open makes one (the key is private).
  struct Key {
   private:
    Key() = default;
    friend class SharedLibrary;
  };
  SharedLibrary(Key, void* handle) : handle_(handle) {}
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;

 private:
  void* handle_;
};

}  // namespace qel::plugins
