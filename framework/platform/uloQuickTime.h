// The media services of the platform layer: the looping sound preview of
// the load panels and the import of picture files into bitmaps.
//
// Preview: libsndfile decodes the whole file (at most kPreviewSeconds of
// it) into memory, and an SDL audio device of its own plays it in a loop,
// apart from the engine's output. Pictures: SDL2_image reads GIF, PNG,
// JPEG, ..., scaled into the bitmap's bounds as 5-5-5 pixels.
//
// User-interface thread only (the device's callback only reads the decoded
// buffer, which stays unchanged until the device is closed). Failures are
// results: a file that is missing, not audio or not a picture returns 0 and
// leaves nothing playing and the bitmap unchanged.
#pragma once
#include <cstdint>

class uloOffmap;

constexpr int kPreviewSeconds = 120;

// Ready for previews; true when the audio subsystem could be started (a
// machine without sound still imports pictures).
bool uloQt_Init();
// Stops the preview and lets go of the audio subsystem.
void uloQt_Exit();
// Called from idle work. The device loops the sound by itself; this only
// notices a device that went away and lets go of it.
void uloQt_Idle();
// Plays an audio file (internal ':' path) in a loop, replacing a preview
// that plays. 1 when it plays.
short uloQt_PlaySoundStart(const char* path);
void uloQt_PlaySoundStop();
bool uloQt_IsPlaying();
// The sample rate and channel count of the preview that plays (0 when none).
int uloQt_PreviewRate();
int uloQt_PreviewChannels();
// Reads a picture file (internal path) scaled into the bitmap's bounds; the
// bitmap must already hold a 16-bit buffer. 1 on success. Only GIF, PNG, BMP
// and JPEG pictures of at most 16 megapixels are decoded (their headers are
// checked before anything is allocated); 0 for anything else, and the
// bitmap is left as it was.
short uloQt_imageToOffmap(const char* path, uloOffmap* bitmap);
// Window association of the media library: nothing to do with SDL.
inline void uloQt_associateFrontWindow() {}
inline void uloQt_deassociateWindow() {}
