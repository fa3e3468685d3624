// The songs of the demo library, as recipes. Rendering happens only when a
// loop's `render` is called, so listing the songs is cheap.
#pragma once
#include <vector>

#include "tools/demolib/songKit.h"

namespace demolib {

// The library songs: three in version 1.2 (house, techno, trance) and one
// in version 1.0 (electro).
std::vector<SongDef> librarySongs();
// The small song of the demo installer's package (deep house, 126 BPM).
SongDef packageSong();

}  // namespace demolib
