#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/res/uloSwap.h"
#include "song/JLGroove.h"

TEST(Groove, StoredLayoutOffsets) {
  EXPECT_EQ(sizeof(JLTrack), 8u);
  EXPECT_EQ(sizeof(JLGroove), 130u);
  EXPECT_EQ(sizeof(JLSequence), 8526u);
  EXPECT_EQ(sizeof(JLIceimage), 8732u);
  JLTrack fresh;
  EXPECT_EQ(fresh.group, -1);
  EXPECT_EQ(fresh.variant, -1);
  EXPECT_EQ(fresh.volume, 0);

  auto img = std::make_unique<JLIceimage>();
  img->valid = 1;
  strcpy(img->songName, "Night");
  img->sequence.grooves[1].tracks[2] = JLTrack();
  img->sequence.grooves[1].tracks[2].volume = 0x0102;  // clamped on reading, stored as is
  img->sequence.grooves[1].tracks[2].group = 5;
  img->sequence.grooves[63].id = 0x1234;
  img->sequence.grooveCount = 64;
  img->sequence.steps[99] = 0x0A0B;
  img->sequence.stepCount = 100;
  img->sequence.userStepCount = 7;
  img->groove.tracks[15].variant = 9;
  img->groove.id = 3;
  img->selectedTrack = 6;
  img->bpm = 126.5f;
  std::vector<uint8_t> b(kJLIceimageBytes);
  JL_PutIceimage(*img, b.data());
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(memcmp(&b[1], "Night", 6), 0);
  const size_t seq = 66, groove1 = seq + 130, track2 = groove1 + 2 * 8;
  EXPECT_EQ(ULO_GetLE16(&b[track2]), 0x0102);
  EXPECT_EQ(ULO_GetLE16(&b[track2 + 4]), 5);
  EXPECT_EQ(ULO_GetLE16(&b[seq + 63 * 130 + 128]), 0x1234);
  EXPECT_EQ(ULO_GetLE16(&b[seq + 8320]), 64);
  EXPECT_EQ(ULO_GetLE16(&b[seq + 8322 + 99 * 2]), 0x0A0B);
  EXPECT_EQ(ULO_GetLE16(&b[seq + 8522]), 100);
  EXPECT_EQ(ULO_GetLE16(&b[seq + 8524]), 7);
  EXPECT_EQ(ULO_GetLE16(&b[8592 + 15 * 8 + 6]), 9);
  EXPECT_EQ(ULO_GetLE16(&b[8592 + 128]), 3);
  EXPECT_EQ(ULO_GetLE16(&b[8722]), 6);
  EXPECT_EQ(ULO_GetLEU32(&b[8724]), 0x42FD0000u);  // 126.5f
}

TEST(Groove, ReadingAnyBytesGivesUsableRecords) {
  std::vector<uint8_t> b(kJLIceimageBytes, 0xFF);
  b[0] = 1;
  b[8724] = b[8725] = b[8726] = b[8727] = 0xFF;  // NaN tempo
  auto img = std::make_unique<JLIceimage>();
  JL_GetIceimage(b.data(), *img);
  EXPECT_EQ(img->songName[64], 0);
  EXPECT_EQ(img->sequence.grooveCount, 0);  // -1 clamps to 0
  EXPECT_EQ(img->sequence.stepCount, 0);
  EXPECT_EQ(img->groove.tracks[0].group, -1);
  EXPECT_EQ(img->groove.tracks[0].volume, 0);
  EXPECT_EQ(img->selectedTrack, 0);
  EXPECT_EQ(img->bpm, 0.0f);
  std::fill(b.begin(), b.end(), 0x7F);
  JL_GetIceimage(b.data(), *img);
  EXPECT_EQ(img->sequence.grooveCount, 64);
  EXPECT_EQ(img->sequence.stepCount, 100);
  EXPECT_EQ(img->groove.tracks[3].group, -1);  // 0x7F7F is no group
  EXPECT_EQ(img->groove.tracks[3].volume, 127);
}

TEST(Sequence, StoringGivesIdsAndReusesTheLargest) {
  auto s = std::make_unique<JLSequence>();
  JLGroove g;
  EXPECT_EQ(s->store(g), 1);
  EXPECT_EQ(s->store(g), 2);
  EXPECT_EQ(s->store(g), 3);
  EXPECT_EQ(g.id, 3);
  ASSERT_TRUE(s->removeGroove(1));  // id 2: below the largest
  EXPECT_EQ(s->store(g), 4);
  ASSERT_TRUE(s->removeGroove(s->findGroove(4)));
  ASSERT_TRUE(s->removeGroove(s->findGroove(3)));  // the largest ids go
  EXPECT_EQ(s->store(g), 2);
  EXPECT_FALSE(s->removeGroove(9));
  EXPECT_EQ(s->findGroove(0), -1);

  auto full = std::make_unique<JLSequence>();
  for (int i = 0; i < 64; ++i) full->store(g);
  EXPECT_EQ(full->store(g), 0);
  EXPECT_EQ(full->grooveCount, 64);
}

TEST(Sequence, AddAllClearAndAdvance) {
  auto s = std::make_unique<JLSequence>();
  JLGroove g;
  for (int i = 0; i < 3; ++i) {
    g.tracks[0].volume = (int16_t)(10 * (i + 1));
    s->store(g);
  }
  s->stepCount = 98;
  EXPECT_EQ(s->addAllToSteps(), 2);
  EXPECT_EQ(s->stepCount, 100);
  EXPECT_EQ(s->steps[99], 2);

  s->stepCount = 0;
  s->addAllToSteps();
  JLGroove current;
  int16_t step = -1;
  ASSERT_TRUE(s->advance(step, current));
  EXPECT_EQ(step, 0);
  EXPECT_EQ(current.id, 1);
  step = 2;
  ASSERT_TRUE(s->advance(step, current));  // wraps after the last step
  EXPECT_EQ(step, 0);
  s->steps[1] = 42;
  EXPECT_FALSE(s->advance(step, current));  // a step whose groove is gone
  EXPECT_EQ(current.id, 1);

  EXPECT_TRUE(s->clearSteps());
  EXPECT_EQ(s->grooveCount, 3);
  EXPECT_FALSE(s->clearSteps());
  s->removeAllGrooves();
  EXPECT_EQ(s->grooveCount, 0);
}

TEST(Sequence, StretchToUser) {
  auto s = std::make_unique<JLSequence>();
  JLGroove g;
  for (int i = 0; i < 3; ++i) s->store(g);
  s->userStepCount = 8;
  s->stretchToUser();
  EXPECT_EQ(s->stepCount, 8);
  const int16_t want[8] = {1, 2, 3, 1, 2, 3, 1, 2};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s->steps[i], want[i]);

  s->userStepCount = 0;
  s->stepCount = 5;
  s->stretchToUser();
  EXPECT_EQ(s->userStepCount, 5);
  EXPECT_EQ(s->stepCount, 5);

  auto empty = std::make_unique<JLSequence>();
  empty->userStepCount = 6;
  empty->stretchToUser();
  EXPECT_EQ(empty->stepCount, 0);
}
