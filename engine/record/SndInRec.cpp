#include "engine/record/SndInRec.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "engine/AudioFormat.h"
#include "engine/userloop/Elast.h"

namespace {

// Recorder state. The device fields belong to the UI thread; the callback
// reads DataBuffer (set before the device runs) and the two counts.
SDL_AudioDeviceID hWaveIn = 0;
int32_t Initialized = 0;
int32_t Recording = 0;
int16_t* DataBuffer = nullptr;
std::atomic<int32_t> RecordedSamples{0};
std::atomic<int32_t> TotalSamples{0};

// Take state (facade).
bool ulrec_on = false;
bool ulrec_stopped = false;
unsigned long recdbytesatStop = 0;  // frames, despite the name
int32_t takeCapacity = 0;

void SDLCALL waveInCallback(void*, Uint8* stream, int len) {
  const int32_t rec = RecordedSamples.load(std::memory_order_relaxed);
  int32_t n = TotalSamples.load(std::memory_order_acquire) - rec;
  if (n > len / 4) n = len / 4;
  if (n <= 0 || !DataBuffer) return;
  memcpy(DataBuffer + 2 * int64_t(rec), stream, size_t(n) * 4);
  RecordedSamples.store(rec + n, std::memory_order_release);
}

}  // namespace

namespace {
char LastError[256];
void noteError(const char* what) { snprintf(LastError, sizeof LastError, "%s: %s", what, SDL_GetError()); }
}  // namespace

const char* WAVEIN_LastError() { return LastError; }

int CTWAVEInOpen(int deviceId) {
  if (Initialized) {
    snprintf(LastError, sizeof LastError, "the capture device is already in use");
    return -1;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    noteError("no sound system");
    return -1;
  }
  const char* name = nullptr;
  if (deviceId >= 0) {
    name = SDL_GetAudioDeviceName(deviceId, 1);
    if (!name) {
      noteError("no such capture device");
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return -1;
    }
  }
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = kRecordRate;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = kRecordBufferFrames;
  want.callback = waveInCallback;
  SDL_AudioSpec have;
  // No allowed changes: SDL converts whatever the card gives to our format.
  hWaveIn = SDL_OpenAudioDevice(name, 1, &want, &have, 0);
  if (hWaveIn == 0) {
    noteError("no capture device could be opened");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return -1;
  }
  LastError[0] = 0;
  Initialized = 1;
  return 0;
}

int CTWAVEInStart() {
  if (!Initialized || Recording) return -1;
  SDL_PauseAudioDevice(hWaveIn, 0);
  Recording = 1;
  return 0;
}

void CTWAVEInStop() {
  if (!Recording) return;
  SDL_PauseAudioDevice(hWaveIn, 1);
  Recording = 0;
}

void CTWAVEInClose() {
  if (!Initialized) return;
  CTWAVEInStop();
  // Joins the capture thread: no callback runs after this.
  SDL_CloseAudioDevice(hWaveIn);
  hWaveIn = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  Initialized = 0;
  DataBuffer = nullptr;
}

short WAVEIN_StartRecord(unsigned long frames, int16_t* buffer) {
  if (!buffer || CTWAVEInOpen(-1) != 0) return 0;
  DataBuffer = buffer;
  RecordedSamples = 0;
  TotalSamples = int32_t(frames > 0x7fffffffUL ? 0x7fffffffUL : frames);
  if (CTWAVEInStart() != 0) {
    CTWAVEInClose();
    return 0;
  }
  return 1;
}

short WAVEIN_StopRecord(unsigned long* recorded) {
  // Under the device lock no copy is in progress, so the count read here is
  // final: later buffers find no room left.
  if (Initialized) SDL_LockAudioDevice(hWaveIn);
  TotalSamples.store(RecordedSamples.load());
  if (Initialized) SDL_UnlockAudioDevice(hWaveIn);
  if (recorded) *recorded = (unsigned long)RecordedSamples.load(std::memory_order_acquire);
  return 1;
}

short WAVEIN_ResetRecord() {
  CTWAVEInClose();
  return 1;
}

short WAVEIN_RecordStatus(unsigned long* recorded) {
  const int32_t rec = RecordedSamples.load(std::memory_order_acquire);
  if (recorded) *recorded = (unsigned long)rec;
  return short(Recording && rec < TotalSamples.load() ? 1 : 0);
}

// ---- the take ----------------------------------------------------------------

bool ULTake_IsOpen() { return ulrec_on; }
int32_t ULTake_Capacity() { return takeCapacity; }

void ULTake_Abandon() {
  if (!ulrec_on) return;
  WAVEIN_StopRecord(nullptr);
  WAVEIN_ResetRecord();
  ulrec_on = false;
  Elast_Replace(nullptr, 0, 2, false);
}

bool ULTake_Start() {
  // A take still open is stopped and its recording discarded; its device
  // is closed before its buffer goes.
  ULTake_Abandon();
  Elast_Replace(nullptr, 0, 2, false);
  int16_t* buffer = nullptr;
  int s = 20;
  for (; s >= 6; --s) {
    buffer = static_cast<int16_t*>(M_alloc(long(s) * 44100));
    if (buffer) break;
  }
  if (!buffer) return false;
  takeCapacity = s * 11025;
  // The store holds the take's buffer from now on; the renderer leaves it
  // alone while `recording` is set.
  Elast_Replace(buffer, takeCapacity, 2, true);
  if (!WAVEIN_StartRecord((unsigned long)takeCapacity, buffer)) {
    Elast_Replace(nullptr, 0, 2, false);
    return false;
  }
  ulrec_on = true;
  ulrec_stopped = false;
  recdbytesatStop = 0;
  return true;
}

void ULTake_Stop() {
  if (!ulrec_on) return;
  WAVEIN_StopRecord(&recdbytesatStop);
  ulrec_stopped = true;
}

void ULTake_Reset() {
  if (!ulrec_on) return;
  // Without a stop before, the count would be a previous take's.
  if (!ulrec_stopped) ULTake_Stop();
  WAVEIN_ResetRecord();
  unsigned long frames = recdbytesatStop;
  if (frames > (unsigned long)takeCapacity) frames = (unsigned long)takeCapacity;
  Elast_EndTake(int32_t(frames));
  ulrec_on = false;
}

bool ULTake_Status(short* percent, short* other) {
  if (other) *other = 0;
  if (!ulrec_on) return false;
  unsigned long recorded = 0;
  const short st = WAVEIN_RecordStatus(&recorded);
  if (other) *other = 90;  // the input meter shows a constant, not a level
  if (percent && takeCapacity > 0)
    *percent = short((unsigned long)recorded * 100UL / (unsigned long)takeCapacity);
  return st != 0;
}
