// The mirroring link: message texts, per-track sharing, pausing, the
// transport that sends nothing, and the connection edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/net/JLNet.h"

namespace {
// Records what would leave the program.
struct RecordingNet : JLNet {
  std::vector<std::string> sent;
  bool send(char* text) override {
    sent.emplace_back(text);
    return false;
  }
};
}  // namespace

TEST(NetLink, ComposesEveryMessage) {
  RecordingNet n;
  n.sendSample(2, 5, 3);
  n.sendVolume(0, 127);
  n.sendPan(7, -64);
  n.sendUse(4, 2);
  n.sendPlay();
  n.sendStop();
  n.sendSong("NeonBoulevard");
  const std::vector<std::string> want = {"1 2 5 3", "2 0 127", "3 7 -64", "5 4 2", "6", "7", "9 NeonBoulevard"};
  EXPECT_EQ(want, n.sent);
  EXPECT_EQ("9 NeonBoulevard", std::string(n.message));
  EXPECT_EQ(7, n.sentCount);
}

TEST(NetLink, TrackSharingAndPauseFilterSends) {
  RecordingNet n;
  n.trackUse[3] = 0;
  n.sendVolume(3, 10);
  n.sendSample(3, 1, 1);
  n.sendPan(-1, 0);
  n.sendPan(8, 0);
  EXPECT_TRUE(n.sent.empty());
  n.sendPlay();  // not per track
  EXPECT_EQ(1u, n.sent.size());
  n.pauseSending(true);
  n.sendSong("x");
  n.sendVolume(0, 1);
  EXPECT_EQ(1u, n.sent.size());
  n.pauseSending(false);
  n.close();  // every track shared again
  n.sendVolume(3, 10);
  EXPECT_EQ("2 3 10", n.sent.back());
  // A long song name is cut, never overrun.
  n.sendSong(std::string(1000, 'a').c_str());
  EXPECT_EQ(size_t(JLNet::kMessageSize - 1), n.sent.back().size());
}

TEST(NetLink, BaseTransportRefusesEverything) {
  JLNet n;
  char buf[8] = "x";
  EXPECT_TRUE(n.serviceAvailable(0));
  EXPECT_FALSE(n.open(buf));
  EXPECT_FALSE(n.send(buf));
  EXPECT_FALSE(n.startConnect());
  EXPECT_FALSE(n.startListen());
  EXPECT_EQ(0x6E6F6E65u, n.getServiceSignature());
  EXPECT_TRUE(n.isDisconnected());
  EXPECT_FALSE(n.gotConnected());
  EXPECT_FALSE(n.gotDisconnected());
  n.connected = 1;
  EXPECT_TRUE(n.gotConnected());
  EXPECT_FALSE(n.gotConnected());
  EXPECT_FALSE(n.gotDisconnected());
  n.connected = 0;
  EXPECT_TRUE(n.gotDisconnected());
  EXPECT_FALSE(n.gotDisconnected());
}
