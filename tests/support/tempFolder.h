// A fresh folder under /tmp for one test, removed with everything in it.
#pragma once
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // System path with a trailing '/'.
  const std::string& sys() const { return sys_; }
  // The same folder as an internal ':' path, with a trailing ':'.
  std::string ulo() const;
  std::string file(const std::string& name) const { return sys_ + name; }
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;

 private:
  std::string sys_;
};
