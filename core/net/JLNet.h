// The remote mirroring link. uloTalk is the connection interface; JLNet
// composes the short text messages that describe every change of the mix
// (song, track loop, volume, pan, transport) so that a peer could mirror
// it. This build has no transport behind uloTalk: every connection
// operation answers false and nothing leaves the program. The messages are
// still composed by the same rules (per-track use, mute), the last one is
// kept in `message`, and `sentCount` counts them.
//
// User-interface thread only. Nothing here fails loudly: a send that the
// transport refuses is dropped.
#pragma once
#include <cstdint>

class uloTalk {
 public:
  virtual ~uloTalk() = default;
  virtual bool serviceAvailable(long) { return true; }
  virtual bool open(char*) { return false; }
  virtual bool close() { return false; }
  virtual void idle() {}
  virtual bool received(char*) { return false; }
  virtual bool send(char*) { return false; }
  virtual bool browseConnection(char*) { return false; }
  virtual bool getLocalAddress(char*) { return false; }
  virtual bool getRemoteAddress(char*) { return false; }
  virtual bool isConnected() { return connected != 0; }
  virtual bool isDisconnected() { return connected == 0; }
  // Each answers true exactly once per change of `connected`.
  virtual bool gotConnected();
  virtual bool gotDisconnected();
  virtual uint32_t getServiceSignature() { return 0x6E6F6E65; }  // 'none'

  uint8_t connected = 0;
  uint8_t edgeSeen = 0;
  uint8_t reserved = 1;
};

class JLNet : public uloTalk {
 public:
  static constexpr int kTracks = 8;
  static constexpr int kMessageSize = 256;

  JLNet();
  // Ends the link; every track is shared again.
  virtual void closeLink();
  bool close() override {
    closeLink();
    return false;
  }

  void sendSample(short track, short group, short variant);
  void sendVolume(short track, short volume);
  void sendPan(short track, short pan);
  void sendUse(short track, short flag);
  void sendPlay();
  void sendStop();
  void sendSong(const char* songName);
  void setFullUse();
  // While paused (muted) nothing is sent; the song browser
  // pauses the link while it previews and loads.
  void pauseSending(bool on) { muted = on ? 1 : 0; }

  // No transport: these do nothing here.
  // Whether a link can be made at all; the NETWORK button shows it.
  bool hasTransport() const { return false; }
  void idleEvents() {}
  bool startListen() { return false; }
  bool startConnect() { return false; }
  void startFromConfig() {}
  void setPanel(void* owner) { panel = owner; }

  void* panel = nullptr;
  uint8_t first = 0;
  uint8_t trackUse[kTracks];
  uint8_t muted = 0;
  char message[kMessageSize] = {0};
  int32_t sentCount = 0;

 private:
  // Sends `message` unless muted or (per-track messages) the track is not
  // shared; tracks outside 0..7 are never sent.
  void post(bool perTrack, short track);
};
