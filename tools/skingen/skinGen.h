// Pieces of the skin generator that the renderer and the tests share.
#pragma once
#include <string>
#include <vector>

#include "tools/skingen/skinPaint.h"

namespace skin {

// Fixed cast ids.
constexpr int kInfoPageCast = 199;
constexpr int kFontCast = 500;
constexpr int kStartupCast = 742;
constexpr int kFirstBalloonCast = 900;  // six balloon shapes (PaintBalloon's corners)
constexpr int kFirstHelpTextCast = 1000;  // in JLHelps.xrs: 1000 + element
constexpr int kEllipsisCode = 201;
constexpr int kFontGlyphHeight = 16;

// Balloons.
constexpr int kBalloonW = 216, kBalloonH = 68, kBalloonTail = 10;
constexpr int kBalloonShapes = 6;
// The picture size of a balloon shape: a side tail widens the picture by the
// tail and the body keeps its size.
inline int BalloonWidth(int corner) { return corner < 4 ? kBalloonW : kBalloonW + kBalloonTail; }
inline int BalloonHeight(int corner) { return corner < 4 ? kBalloonH : kBalloonH - kBalloonTail; }
constexpr int kHelpTextW = 196, kHelpTextH = 46;

Picture BuildFontStrip();

// A numbered text table read from skin/text: line n holds message n. Lines
// the source does not give are filled with "-" so that no line is empty
// (empty lines would merge with their neighbours when the program splits
// the table at its carriage returns).
struct TextTable {
  std::vector<std::string> lines;  // Latin-1
  std::string joined() const;      // lines separated by CR
};
// Reads "number text" lines (UTF-8, '#' comments); false with a message in
// `error` on a malformed line or a character outside Latin-1.
bool ReadTextTable(const std::string& path, TextTable* table, std::string* error);
std::string Utf8ToLatin1(const std::string& utf8, bool* ok);

}  // namespace skin
