// Presenting the main window's canvas (logical XRGB pixels, each shown as a
// scale x scale block) without a client-side buffer the size of the window.
// SDL's window surface is such a buffer: 33 MB for a maximised window at
// 3840 x 2160, more than the rest of the program together. On X11 the
// picture goes straight to the window in horizontal bands through one small
// image (shared memory where the server allows it) instead.
// Main thread only (the thread that pumps SDL's events).
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>

// Scales the logical columns [x0, x1) of rows [y0, y1) of canvas (rows of
// canvasWidth pixels) into out, whose first byte is the top-left pixel of
// the block of (x0, y0) and whose rows are outPitch bytes apart. Nothing
// outside those blocks is written.
void ULO_ScaleBlocks(const uint32_t* canvas, int canvasWidth, int scale, int x0, int x1, int y0, int y1,
                     uint8_t* out, size_t outPitch);

struct uloX11Bands;

// Null when the window is not an X11 window or its visual does not hold
// red, green and blue in 32-bit pixels where the canvas has them; the
// caller then uses SDL's window surface. Without mayShare the pixels always
// travel in the requests, as they do to a server that cannot attach shared
// memory.
uloX11Bands* ULO_X11BandsOpen(SDL_Window* window, bool mayShare = true);
void ULO_X11BandsClose(uloX11Bands* bands);

// Shows the logical rectangle `dirty` of the canvas (width x height), or
// all of it with wholeWindow, which also paints black what lies beyond the
// last whole logical pixel of a windowWidth x windowHeight window. False
// when no band image could be made (the caller falls back).
bool ULO_X11BandsShow(uloX11Bands* bands, const uint32_t* canvas, int width, int height, int scale,
                      SDL_Rect dirty, bool wholeWindow, int windowWidth, int windowHeight);

// Bytes of the band image for a canvas of pixelWidth window pixels across,
// and how many logical rows one band holds (a whole number of blocks, at
// least one).
size_t ULO_BandBytes(int pixelWidth, int scale, int* logicalRows);
