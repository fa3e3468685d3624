// A read-only view of the user loop the engine holds, for writing it to a
// file. The samples stay owned by the engine: the view is valid until the
// next user-loop load, recording or removal, all of which happen on the
// user-interface thread, so a caller that writes the file at once is safe.
//
// User-interface thread only. False while a take records or without a loop.
#pragma once
#include <cstdint>

struct jlUserLoopView {
  const int16_t* samples = nullptr;  // interleaved
  int32_t frames = 0;                // of the played region
  int16_t channels = 0;
};

bool JL_UserLoopRegion(jlUserLoopView* view);
