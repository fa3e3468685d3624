// Reads a song descriptor line by line and splits the current line into
// tokens. It knows no keywords; JLSongLibrary drives it.
//
// Lexical rules the descriptor format relies on: blanks separate tokens, ';'
// ends the usable part of a line, a leading '*' marks the special lines of the
// old format, numbers are decimal text. Lines end with LF, CR LF or a lone CR;
// a line longer than 2047 bytes is cut and the rest of it is skipped. A
// UTF-8 byte-order mark at the start of the text is dropped.
//
// User-interface thread (one parser per reader; no shared state). Every
// operation reports failure through its result only and never shows a
// message; outputs are always terminated and cut to the caller's size.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/files/uloFiles.h"

class JLJlsParser {
 public:
  static constexpr int kLineSize = 2048;

  JLJlsParser();
  ~JLJlsParser();
  JLJlsParser(const JLJlsParser&) = delete;
  JLJlsParser& operator=(const JLJlsParser&) = delete;

  // Opens the descriptor at an internal path, read-only.
  bool open(const char* path);
  // Opens the first "*.jls" (any letter case) of the folder other than
  // "info.jls". False when there is none or it does not open.
  bool openInFolder(const char* folder);
  // Reads descriptor text held in memory (tests, fuzzing, benchmarks). The
  // bytes must stay alive until close.
  void openBuffer(const void* data, size_t size);
  void close();

  // The next line into `line`, `pos` at 0. False at the end of the text or
  // when nothing is open.
  bool next();
  // Reads the current line again from its start.
  void restart() { pos = 0; }
  // The next call to next() gives the current line again, from its start:
  // a reader that looked at a line meant for the block after its own hands
  // it on instead of losing it.
  void keepLine() { kept_ = true; }
  // Steps over a '*' at the read position.
  bool getStar();
  // One token: it must start exactly at `pos`; blanks after it are skipped,
  // a ';' is not. True when the token has at least one character.
  bool getStr(char* out, size_t outSize);
  // The rest of the line up to a ';', blanks included.
  bool getText(char* out, size_t outSize);
  // A token converted as decimal text (leading digits with a sign, else 0).
  // False, leaving `out` untouched, when there is no token.
  bool getShort(int16_t* out);
  bool getLong(int32_t* out);

  char line[kLineSize];
  int16_t pos = 0;
  uloFileRec file;

 private:
  // Next raw byte of the open text, or -1 at its end.
  int nextByte();
  bool isOpen() const { return file.handle != 0 || mem_ != nullptr; }

  const uint8_t* mem_ = nullptr;
  size_t memSize_ = 0;
  size_t memPos_ = 0;
  uint8_t buf_[4096];
  int32_t bufLen_ = 0;
  int32_t bufPos_ = 0;
  bool eof_ = false;
  bool firstLine_ = true;
  bool kept_ = false;
};
