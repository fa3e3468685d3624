#include "support/tempFolder.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "core/files/uloPathNames.h"

TempFolder::TempFolder() {
  char tmpl[] = "/tmp/jltest.XXXXXX";
  const char* made = mkdtemp(tmpl);
  sys_ = std::string(made ? made : "/tmp") + "/";
}

TempFolder::~TempFolder() {
  nftw(
      sys_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

std::string TempFolder::ulo() const {
  char out[kUloPathMax];
  ULO_SystemPathToUloPath(sys_.c_str(), out, sizeof out);
  return out;
}

void TempFolder::write(const std::string& name, const std::string& bytes) const {
  std::ofstream(sys_ + name, std::ios::binary) << bytes;
}

std::string TempFolder::read(const std::string& name) const {
  std::ifstream in(sys_ + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
