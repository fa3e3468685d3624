#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/skingen/skinGen.h"

namespace skin {

std::string TextTable::joined() const {
  std::string out;
  for (size_t i = 0; i < lines.size(); i++) {
    if (i) out += '\r';
    out += lines[i];
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& utf8, bool* ok) {
  std::string out;
  *ok = true;
  for (size_t i = 0; i < utf8.size(); i++) {
    const unsigned char c = utf8[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned v = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
      i++;
      if (v > 0xFF) *ok = false;
      out += static_cast<char>(v & 0xFF);
    } else {
      *ok = false;
      return out;
    }
  }
  return out;
}

bool ReadTextTable(const std::string& path, TextTable* table, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    lineNo++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t digits = 0;
    while (digits < line.size() && isdigit(static_cast<unsigned char>(line[digits]))) digits++;
    if (digits == 0 || digits >= line.size() || line[digits] != ' ') {
      *error = path + ":" + std::to_string(lineNo) + ": expected 'number text'";
      return false;
    }
    const int n = std::stoi(line.substr(0, digits));
    bool ok = true;
    const std::string text = Utf8ToLatin1(line.substr(digits + 1), &ok);
    if (!ok || text.empty() || n > 999) {
      *error = path + ":" + std::to_string(lineNo) + ": empty text, number too large or not Latin-1";
      return false;
    }
    if (table->lines.size() <= size_t(n)) table->lines.resize(n + 1);
    table->lines[n] = text;
  }
  for (std::string& l : table->lines)
    if (l.empty()) l = "-";
  return true;
}

}  // namespace skin
