#include "core/net/JLNet.h"

#include <cstdio>

bool uloTalk::gotConnected() {
  if (connected) {
    if (edgeSeen) return false;
    edgeSeen = 1;
    return true;
  }
  edgeSeen = 0;
  return false;
}

bool uloTalk::gotDisconnected() {
  // The mirror image of gotConnected: edgeSeen set means "the connected
  // state was last reported", so the drop is reported once.
  if (!connected) {
    if (!edgeSeen) return false;
    edgeSeen = 0;
    return true;
  }
  edgeSeen = 1;
  return false;
}

JLNet::JLNet() { setFullUse(); }

void JLNet::setFullUse() {
  for (auto& u : trackUse) u = 1;
}

void JLNet::closeLink() { setFullUse(); }

void JLNet::post(bool perTrack, short track) {
  if (muted) return;
  if (perTrack && (track < 0 || track >= kTracks || !trackUse[track])) return;
  sentCount++;
  send(message);
}

void JLNet::sendSample(short track, short group, short variant) {
  snprintf(message, sizeof message, "%0d %0d %0d %0d", 1, track, group, variant);
  post(true, track);
}

void JLNet::sendVolume(short track, short volume) {
  snprintf(message, sizeof message, "%0d %0d %0d", 2, track, volume);
  post(true, track);
}

void JLNet::sendPan(short track, short pan) {
  snprintf(message, sizeof message, "%0d %0d %0d", 3, track, pan);
  post(true, track);
}

void JLNet::sendUse(short track, short flag) {
  // The use message itself says which tracks are shared, so it goes out
  // whatever the track's own sharing is.
  snprintf(message, sizeof message, "%0d %0d %0d", 5, track, flag);
  post(false, track);
}

void JLNet::sendPlay() {
  snprintf(message, sizeof message, "%0d", 6);
  post(false, 0);
}

void JLNet::sendStop() {
  snprintf(message, sizeof message, "%0d", 7);
  post(false, 0);
}

void JLNet::sendSong(const char* songName) {
  snprintf(message, sizeof message, "%0d %s", 9, songName ? songName : "");
  post(false, 0);
}
