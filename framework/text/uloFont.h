// uloFont: a bitmap font cut out of one skin cast. The picture holds the
// 256 glyphs side by side in code order; the row 3 pixels above the bottom
// edge marks each glyph's extent with non-zero pixels (glyphs separated by
// at least one zero pixel), and glyphs are height - 5 pixels high. The
// cast's mask gives their transparency. Labels are printed into 16-bit
// off-screen bitmaps, one rectangle copy per character.
//
// User-interface thread only. The font keeps a reference to its cast's mask:
// the cast list must outlive the font (both live from start-up to exit).
//
// A missing cast, or a picture too small to hold glyphs and a marker row,
// leaves the font unparsed; it then prints nothing and measures every text
// as 0 pixels wide.
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"
#include "framework/offmap/uloOffmap.h"

class UloCasts;

// The character that ends a text cut to fit.
constexpr unsigned char kUloEllipsis = 201;

class uloFont {
 public:
  uloFont();
  virtual ~uloFont();
  uloFont(const uloFont&) = delete;
  uloFont& operator=(const uloFont&) = delete;

  void setup(UloCasts* casts, int32_t castId);
  // Measures the glyphs of the own bitmap.
  void parseImage();
  // Tints the glyphs; factor 256 keeps a channel, 0 clears it.
  void colorize(int red, int green, int blue);
  // Cuts text in place so that it fits width pixels, ending it with the
  // ellipsis when something was cut (the result is never longer than the
  // text was). Returns the new length.
  int16_t stringFitWidth(char* text, int16_t width) const;
  int32_t stringWidth(const char* text) const;
  // justification 0 left (x is the start), 1 centre, 2 right (x is the end).
  // Characters that would not lie wholly inside the bitmap are skipped.
  void copyString(uloOffmap* bitmap, const char* text, int16_t x, int16_t y, int16_t justification) const;
  void copyMaskString(uloOffmap* bitmap, const char* text, int16_t x, int16_t y, int16_t justification) const;

  int16_t glyphWidth(unsigned char c) const { return parsed ? glyphs[c].width() : 0; }

  uloOffmap image;
  const uloOffmap* mask = nullptr;  // the cast's mask, if it has one
  int16_t glyphHeight = 0;
  uloRect glyphs[256];
  int16_t reserved[256] = {};
  uint8_t parsed = 0;

 private:
  void copyText(uloOffmap* bitmap, const char* text, int16_t x, int16_t y, int16_t justification,
                bool throughMask) const;
};
