// Every entry below a folder (system path), links not followed: files with
// their content, links with their target, folders as "name/". Two equal
// snapshots mean nothing below the folder changed, byte for byte.
#pragma once
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

inline std::map<std::string, std::string> TreeSnapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  DIR* d = opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string p = folder + "/" + n;
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      char target[4096];
      const ssize_t len = readlink(p.c_str(), target, sizeof target);
      out[n] = "-> " + std::string(target, len > 0 ? size_t(len) : 0);
    } else if (S_ISDIR(st.st_mode)) {
      out[n + "/"] = "";
      for (auto& [k, v] : TreeSnapshot(p)) out[n + "/" + k] = v;
    } else {
      std::string s;
      if (FILE* f = fopen(p.c_str(), "rb")) {
        char buf[4096];
        size_t got;
        while ((got = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, got);
        fclose(f);
      }
      out[n] = s;
    }
  }
  closedir(d);
  return out;
}
