// Loop recording from the sound card: the recorder over an SDL capture
// device (44100 Hz, 16-bit stereo, 2048-frame buffers) and the recording
// take behind the facade's userLoop_record* operations, which records
// straight into the user loop store.
//
// Threads: everything here runs on the UI thread except the capture
// callback, which SDL runs on its own capture thread. The callback only
// copies frames into the take's buffer and never calls SDL, so the device
// needs no re-queueing from its own notification: SDL keeps capturing, and
// data past the wanted frame count is dropped. Stopping freezes the count
// under the device lock, which waits for a copy in progress.
//
// Results are those of the wave-in layer: the WAVEIN_* functions return 1
// for success (status: 1 = still recording), 0 for failure; the CTWAVEIn*
// ones 0 or -1.
#pragma once
#include <cstdint>

constexpr int kRecordRate = 44100;
constexpr int kRecordBufferFrames = 2048;

// Starts recording at most `frames` stereo frames into `buffer`. 0 when no
// capture device can be opened or started.
short WAVEIN_StartRecord(unsigned long frames, int16_t* buffer);
// UI thread. Why the capture device could not be opened or started the last
// time it failed (the sound system's own words); empty after a success.
const char* WAVEIN_LastError();
// Accepts no more data and stores the frames recorded in *recorded (if not
// null). The device keeps running until reset.
short WAVEIN_StopRecord(unsigned long* recorded);
// Stops and closes the device.
short WAVEIN_ResetRecord();
// 1 while recording and not yet full; the count goes to *recorded either way.
short WAVEIN_RecordStatus(unsigned long* recorded);

// `deviceId` -1 is the system's default capture device, otherwise an index
// of SDL's capture device list.
int CTWAVEInOpen(int deviceId);
int CTWAVEInStart();
void CTWAVEInStop();
void CTWAVEInClose();

// The take: allocates up to 5 s (20 x 44100 bytes, down to 6 x 44100) as
// the user loop and records into it. False, with the old loop already gone,
// when no memory or no device.
bool ULTake_Start();
void ULTake_Stop();
// Closes the device and makes what was recorded the user loop.
void ULTake_Reset();
// Progress in percent of the capacity; `other` is the input meter level.
bool ULTake_Status(short* percent, short* other);
bool ULTake_IsOpen();
// Closes an open take's device and drops its recording (the store is about
// to be replaced or the engine is going away).
void ULTake_Abandon();
// Frames a take can hold (set by the last ULTake_Start).
int32_t ULTake_Capacity();
