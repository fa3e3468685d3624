// A loop file that does not play as it is gets named to the user once, by
// its track, its name in the song and its file, with what is wrong with it.
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "framework/intl/JLInternational.h"
#include "support/tempFolder.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

std::vector<std::string> gNotices;
int16_t recordNotice(const char*, const char* text, int16_t) {
  gNotices.push_back(text ? text : "");
  return 1;
}
int16_t answerDefault(const char*, const char*, int16_t b) { return b <= 0 ? 1 : b == 1 ? 2 : 3; }

class LoopFaultNotice : public GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    gNotices.clear();
    ULO_SetMessageBoxHook(recordNotice);
  }
  void TearDown() override {
    ULO_SetMessageBoxHook(answerDefault);
    GroovePanelTest::TearDown();
  }
  // Idle time passes, as the event loop gives it.
  void idleFor(int ticks) {
    for (int k = 0; k < ticks; ++k) {
      uloGlo.when += 1;
      uloGlo.what = uloEvtNull;
      gp().onIdle();
    }
  }
};

TEST_F(LoopFaultNotice, EachFaultIsNamedOnceWithItsFileAndReason) {
  ASSERT_TRUE(loadDemo());
  int16_t group = -1, variant = -1;
  const char* label = gp().library.getGroupAndIndex(1, &group, &variant);
  ASSERT_NE(nullptr, label);
  const std::string loop = std::string(gp().library.groups[group].name) + ":" + label;
  const std::string file = gp().library.groups[group].files[variant];
  idleFor(200);  // whatever the start-up shows is over
  gNotices.clear();

  NoteLoopFault(1, 2, kWaveCut);
  NoteLoopFault(1, 2, kWaveUnreadable);  // a second fault of the same loop is not news
  idleFor(100);
  ASSERT_EQ(1u, gNotices.size());
  EXPECT_EQ("Track 3: the loop \"" + loop + "\" (file \"" + file +
                "\") is cut short: its file ends before its sound does. The track plays what is there.",
            gNotices[0]);
  NoteLoopFault(1, 2, kWaveCut);
  idleFor(100);
  EXPECT_EQ(1u, gNotices.size());

  const char* other = gp().library.getGroupAndIndex(0, &group, &variant);
  ASSERT_NE(nullptr, other);
  NoteLoopFault(0, 0, kWaveRate);
  idleFor(100);
  ASSERT_EQ(2u, gNotices.size());
  EXPECT_NE(std::string::npos, gNotices[1].find("(file \"" + std::string(gp().library.groups[group].files[variant]) + "\")"));
  EXPECT_NE(std::string::npos, gNotices[1].find("sample rate that cannot be converted"));
}

// A copy of the demo song Neon Boulevard named Hostile, its descriptor and
// whichever of its loop files `keep` keeps; internal path of its folder.
std::string copyDemoSong(const TempFolder& tf, bool (*keep)(const std::string& file)) {
  const std::string from = std::string(JL_APP_DIR) + "/Library/Song/NeonBoulevard/";
  const std::string to = tf.sys() + "Hostile/";
  mkdir(to.c_str(), 0755);
  auto copy = [&](const std::string& name) {
    std::ifstream in(from + name, std::ios::binary);
    std::ofstream(to + name, std::ios::binary) << in.rdbuf();
  };
  copy("info.jls");
  for (const char* g : {"kick", "clap", "hats", "perc", "bass", "chords", "lead", "arp", "fx"})
    for (int v = 1; v <= 4; ++v) {
      const std::string name = std::string(g) + "0" + std::to_string(v) + ".wav";
      if (keep(name)) copy(name);
    }
  return tf.ulo() + "Hostile:";
}

// A song whose folder holds, in place of loops, a file cut inside its
// header, a folder, a FIFO and nothing at all loads at once, and the user
// is told once which loops cannot be played, then which are cut short
// (one cut in its sound data): by their names in the song. Played later,
// these loops are not named again; another loop's fault still is. Loaded
// again unchanged, the song is not told again.
TEST_F(LoopFaultNotice, ASongsUnplayableLoopsAreNamedOnceWhenItLoads) {
  TempFolder tf;
  const std::string song = copyDemoSong(tf, [](const std::string& f) { return f != "perc04.wav"; });
  const std::string dir = tf.sys() + "Hostile/";
  const std::string whole = tf.read("Hostile/kick02.wav");
  ASSERT_GT(whole.size(), 1000u);
  tf.write("Hostile/kick01.wav", whole.substr(0, 30));                 // cut inside its header
  tf.write("Hostile/kick02.wav", whole.substr(0, whole.size() / 2));  // cut inside its sound
  ASSERT_EQ(remove((dir + "clap02.wav").c_str()), 0);
  ASSERT_EQ(mkdir((dir + "clap02.wav").c_str(), 0755), 0);
  ASSERT_EQ(remove((dir + "hats03.wav").c_str()), 0);
  ASSERT_EQ(mkfifo((dir + "hats03.wav").c_str(), 0644), 0);
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  idleFor(200);  // whatever the start-up shows is over
  gNotices.clear();

  ASSERT_TRUE(gp().loadSong(song.c_str()));
  EXPECT_EQ(gp().library.trackCount, 36) << "the song loads with all its loops";
  EXPECT_TRUE(gNotices.empty()) << "told when the panel is idle, not in the middle of the load";
  idleFor(100);
  ASSERT_EQ(1u, gNotices.size());
  EXPECT_EQ(
      "4 of this song's loops cannot be played: kick:Four, clap:Snap, hats:Mixed, perc:Bell. Their files are "
      "missing, damaged or not sound files Jamloom can read; their tracks stay silent. 1 of this song's loops are "
      "cut short and play only what their files hold: kick:Deep.",
      gNotices[0]);
  // Sample numbers follow the descriptor: kick01 is 0, kick02 1, clap02 5,
  // hats03 10, perc04 15; as their tracks reach them, the loader notes them.
  for (int sample : {0, 1, 5, 10, 15}) NoteLoopFault(sample, 2, kWaveUnreadable);
  idleFor(100);
  EXPECT_EQ(1u, gNotices.size()) << "not named again when played";
  NoteLoopFault(3, 2, kWaveUnreadable);  // kick04, fine when loaded, gone since
  idleFor(100);
  ASSERT_EQ(2u, gNotices.size());
  EXPECT_NE(std::string::npos, gNotices[1].find("Track 3: the loop \"kick:Fill\""));

  // Loaded again unchanged (its preview, then LOAD SONG) it is not told
  // twice; changed, it is told what is wrong now.
  ASSERT_TRUE(loadDemo());
  ASSERT_TRUE(gp().loadSong(song.c_str()));
  idleFor(100);
  EXPECT_EQ(2u, gNotices.size());
  tf.write("Hostile/perc04.wav", whole);
  ASSERT_TRUE(gp().loadSong(song.c_str()));
  idleFor(100);
  ASSERT_EQ(3u, gNotices.size());
  EXPECT_EQ(0u, gNotices[2].find("3 of this song's loops cannot be played: kick:Four, clap:Snap, hats:Mixed. Their"));
  // A song loaded before the idle time replaces the notice.
  ASSERT_EQ(remove((dir + "arp01.wav").c_str()), 0);
  ASSERT_TRUE(gp().loadSong(song.c_str()));
  ASSERT_TRUE(loadDemo());
  idleFor(100);
  EXPECT_EQ(3u, gNotices.size()) << "Neon Boulevard's loops all play";
}

// A track whose loop cannot be played stays silent, and its lamp says so:
// not the green of a playing track. A loop cut short plays, and shows it.
TEST_F(LoopFaultNotice, ATrackWithAnUnplayableLoopShowsItsLampOff) {
  TempFolder tf;
  const std::string song = copyDemoSong(tf, [](const std::string&) { return true; });
  const std::string whole = tf.read("Hostile/kick02.wav");
  ASSERT_GT(whole.size(), 1000u);
  tf.write("Hostile/kick01.wav", whole.substr(0, 30));                 // cut inside its header
  tf.write("Hostile/kick02.wav", whole.substr(0, whole.size() / 2));  // cut inside its sound
  ASSERT_TRUE(gp().loadSong(song.c_str()));
  ASSERT_STREQ(gp().library.groups[0].name, "kick");
  set(77, 1);  // track 1: kick, its first loop (kick01)
  item(77);
  ASSERT_EQ(gp().tracks[0].sampleNo, 0);
  ASSERT_EQ(gp().tracks[0].on, 1);
  EXPECT_EQ(value(26), 3) << "unreadable: not playing";
  set(94, 2);  // kick02, cut short
  item(94);
  ASSERT_EQ(gp().tracks[0].sampleNo, 1);
  EXPECT_EQ(value(26), 2) << "cut short: plays what it holds";
  set(94, 3);
  item(94);
  EXPECT_EQ(value(26), 2);
}

// Without any loop file the notice names the first eight and counts the
// rest, so the box stays readable; in the system's language.
TEST_F(LoopFaultNotice, ALongListNamesEightLoopsAndCountsTheRest) {
  TempFolder tf;
  const std::string song = copyDemoSong(tf, [](const std::string&) { return false; });
  idleFor(200);
  const char* const starts[2] = {
      "36 of this song's loops cannot be played: kick:Four, kick:Deep, kick:Skip, kick:Fill, clap:Clap, clap:Snap, "
      "clap:Ghost, clap:Roll, and 28 more. Their",
      "Nicht abspielbare Loops dieses Songs (36): kick:Four, kick:Deep, kick:Skip, kick:Fill, clap:Clap, clap:Snap, "
      "clap:Ghost, clap:Roll, und 28 weitere. Ihre"};
  for (int german = 0; german < 2; ++german) {
    jlIntl.startWithLanguage(QXCasts.resFile, german ? 7 : 9);
    gNotices.clear();
    ASSERT_TRUE(gp().loadSong(song.c_str()));
    idleFor(100);
    ASSERT_EQ(1u, gNotices.size());
    EXPECT_EQ(0u, gNotices[0].find(starts[german])) << gNotices[0];
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}

}  // namespace
