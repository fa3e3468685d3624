#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "core/files/uloFolderOps.h"
#include "framework/res/uloSwap.h"
#include "song/JLMixDocument.h"
#include "song/jlSongMessages.h"
#include "songTestSupport.h"

namespace {

std::vector<std::pair<int, std::string>> gMessages;
void record(int n, const char* name) { gMessages.emplace_back(n, name); }

struct Messages {
  Messages() {
    gMessages.clear();
    JL_SetSongMessageHook(record);
  }
  ~Messages() { JL_SetSongMessageHook(nullptr); }
};

std::unique_ptr<JLIceimage> sampleImage() {
  auto img = std::make_unique<JLIceimage>();
  img->valid = 1;
  strcpy(img->songName, "Abc");
  JLGroove g;
  g.tracks[0].group = 1;
  g.tracks[0].variant = 2;
  g.tracks[0].volume = 99;
  g.tracks[0].pan = -20;
  img->sequence.store(g);
  img->sequence.store(g);
  img->sequence.addAllToSteps();
  img->groove = g;
  img->selectedTrack = 3;
  img->bpm = 131.25f;
  return img;
}

std::string atom(const char* tag, const std::string& data, bool big) {
  uint8_t h[8];
  uint32_t t = (uint32_t(uint8_t(tag[0])) << 24) | (uint32_t(uint8_t(tag[1])) << 16) |
               (uint32_t(uint8_t(tag[2])) << 8) | uint8_t(tag[3]);
  if (big) {
    ULO_PutBE32(h, t);
    ULO_PutBE32(h + 4, (int32_t)data.size());
  } else {
    ULO_PutLE32(h, t);
    ULO_PutLE32(h + 4, (int32_t)data.size());
  }
  return std::string((char*)h, 8) + data;
}

std::string number(int32_t v, bool big) {
  uint8_t b[4];
  big ? ULO_PutBE32(b, v) : ULO_PutLE32(b, v);
  return std::string((char*)b, 4);
}

std::string imageBytes(const JLIceimage& img) {
  std::string s(kJLIceimageBytes, 0);
  JL_PutIceimage(img, (uint8_t*)&s[0]);
  return s;
}

std::string document(const JLIceimage& img, bool big, int32_t version = 1, std::string extra = "") {
  std::string magic = big ? "AFsg" : "gsFA";
  return magic + atom("vers", number(version, big), big) + extra + atom("iced", imageBytes(img), big) +
         atom("syic", std::string(kJLSynthBlockBytes, 's'), big);
}

}  // namespace

TEST(MixDocument, LittleAndBigEndianReadAlike) {
  TempFolder dir;
  auto img = sampleImage();
  for (bool big : {false, true}) {
    dir.write("d.jld", document(*img, big, 1, atom("xtra", "skipped", big)));
    auto back = std::make_unique<JLIceimage>();
    std::vector<uint8_t> synth(kJLSynthBlockBytes);
    bool synthOk = false;
    // The unknown atom before 'iced' makes the image read fail: atoms keep their order.
    EXPECT_EQ(JL_ReadMixDocument((dir.ulo() + "d.jld").c_str(), *back, synth.data(), &synthOk),
              JLMixReadResult::otherVersion);
    EXPECT_EQ(back->valid, 0);

    dir.write("d.jld", document(*img, big));
    ASSERT_EQ(JL_ReadMixDocument((dir.ulo() + "d.jld").c_str(), *back, synth.data(), &synthOk),
              JLMixReadResult::ok);
    EXPECT_TRUE(synthOk);
    EXPECT_EQ(synth[3307], 's');
    EXPECT_EQ(back->valid, 1);
    EXPECT_STREQ(back->songName, "Abc");
    EXPECT_EQ(back->sequence.grooveCount, 2);
    EXPECT_EQ(back->sequence.stepCount, 2);
    EXPECT_EQ(back->sequence.steps[1], 2);
    EXPECT_EQ(back->groove.tracks[0].variant, 2);
    EXPECT_EQ(back->groove.tracks[0].pan, -20);
    EXPECT_EQ(back->selectedTrack, 3);
    EXPECT_EQ(back->bpm, 131.25f);
  }
}

TEST(MixDocument, OtherVersionsAndBrokenFilesReadNothing) {
  Messages m;
  TempFolder dir;
  auto img = sampleImage();
  auto back = sampleImage();
  std::string path = dir.ulo() + "d.jld";
  dir.write("d.jld", document(*img, false, 2));
  EXPECT_EQ(JL_ReadMixDocument(path.c_str(), *back, nullptr), JLMixReadResult::otherVersion);
  EXPECT_EQ(back->valid, 0);
  EXPECT_EQ(back->bpm, 131.25f);  // nothing else changed

  // No magic, empty, missing: message 4.
  for (std::string bytes : {std::string("xxxx") + number(1, false), std::string("gs")}) {
    dir.write("d.jld", bytes);
    EXPECT_EQ(JL_ReadMixDocument(path.c_str(), *back, nullptr), JLMixReadResult::unreadable);
  }
  EXPECT_EQ(JL_ReadMixDocument((dir.ulo() + "none.jld").c_str(), *back, nullptr), JLMixReadResult::unreadable);
  ASSERT_EQ(gMessages.size(), 3u);
  EXPECT_EQ(gMessages[0].first, kJLMsgMixDocumentUnreadable);

  // Truncated image and a negative length: refused, image not valid.
  std::string full = document(*img, false);
  dir.write("d.jld", full.substr(0, 4 + 12 + 8 + 5000));
  back->valid = 1;
  EXPECT_EQ(JL_ReadMixDocument(path.c_str(), *back, nullptr), JLMixReadResult::otherVersion);
  EXPECT_EQ(back->valid, 0);
  dir.write("d.jld", "gsFA" + atom("vers", number(1, false), false).substr(0, 4) + number(-8, false) + "1234");
  EXPECT_EQ(JL_ReadMixDocument(path.c_str(), *back, nullptr), JLMixReadResult::otherVersion);
}

TEST(AtomsFile, ShortAndLongAtoms) {
  TempFolder dir;
  dir.write("a", "gsFA" + atom("shrt", "abc", false) + atom("long", "0123456789", false) + atom("next", "z", false));
  uloAtomsFile f;
  ASSERT_TRUE(f.openForRead((dir.ulo() + "a").c_str()));
  char buf[6];
  memset(buf, '#', sizeof buf);
  ASSERT_TRUE(f.read(ULO_AtomTag("shrt"), 6, buf));
  EXPECT_EQ(std::string(buf, 6), std::string("abc\0\0\0", 6));
  ASSERT_TRUE(f.read(ULO_AtomTag("long"), 4, buf));
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_FALSE(f.read(ULO_AtomTag("long"), 1, buf));  // 'next' is skipped
  EXPECT_FALSE(f.read(ULO_AtomTag("next"), 1, buf));  // end of file
}

TEST(MixDocument, WriteReadRoundTripIsByteExact) {
  TempFolder dir;
  auto img = sampleImage();
  std::vector<uint8_t> synth(kJLSynthBlockBytes);
  for (size_t i = 0; i < synth.size(); ++i) synth[i] = (uint8_t)(i * 7);
  std::string path = dir.ulo() + "mix.jld";
  ASSERT_TRUE(JL_WriteMixDocument(path.c_str(), *img, synth.data()));
  std::string first = dir.read("mix.jld");
  ASSERT_EQ(first.size(), 4u + 12 + 8 + 8732 + 8 + 3308);
  EXPECT_EQ(first.substr(0, 4), "gsFA");
  EXPECT_EQ(first.substr(4, 4), "srev");  // 'vers' as a little-endian number

  auto back = std::make_unique<JLIceimage>();
  std::vector<uint8_t> synthBack(kJLSynthBlockBytes);
  ASSERT_EQ(JL_ReadMixDocument(path.c_str(), *back, synthBack.data()), JLMixReadResult::ok);
  EXPECT_EQ(synthBack, synth);
  ASSERT_TRUE(JL_WriteMixDocument((dir.ulo() + "again.jld").c_str(), *back, synthBack.data()));
  EXPECT_EQ(dir.read("again.jld"), first);
}

TEST(MixDocument, FailedSaveKeepsTheOldFile) {
  TempFolder dir;
  auto img = sampleImage();
  std::string path = dir.ulo() + "mix.jld";
  ASSERT_TRUE(JL_WriteMixDocument(path.c_str(), *img, nullptr));
  std::string old = dir.read("mix.jld");
  // A full disk, as a file-size limit: the new document cannot be written.
  struct rlimit was;
  getrlimit(RLIMIT_FSIZE, &was);
  struct rlimit small = was;
  small.rlim_cur = 1000;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  img->bpm = 90;
  bool saved = JL_WriteMixDocument(path.c_str(), *img, nullptr);
  setrlimit(RLIMIT_FSIZE, &was);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(dir.read("mix.jld"), old);
  EXPECT_FALSE(JL_WriteMixDocument((dir.ulo() + "no:such:folder\0").substr(0, 0).c_str(), *img, nullptr));
}

TEST(MixDocument, ASaveRemovesTheTemporariesOfAKilledSave) {
  TempFolder dir;
  auto img = sampleImage();
  // The leftovers of a save killed midway (its process is gone), of one
  // still running elsewhere, and a link someone put at this process's own
  // temporary name.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  dir.write(".mix.jld.jltmp-" + std::to_string(gone), "half a document");
  dir.write(".mix.jld.jltmp-1", "another copy's save");
  dir.write("victim", "untouched");
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file(ULO_TempName("mix.jld")).c_str()), 0);
  ASSERT_TRUE(JL_WriteMixDocument((dir.ulo() + "mix.jld").c_str(), *img, nullptr));
  struct stat st;
  EXPECT_NE(lstat(dir.file(".mix.jld.jltmp-" + std::to_string(gone)).c_str(), &st), 0);
  EXPECT_NE(lstat(dir.file(ULO_TempName("mix.jld")).c_str(), &st), 0);
  EXPECT_EQ(dir.read(".mix.jld.jltmp-1"), "another copy's save");
  EXPECT_EQ(dir.read("victim"), "untouched");
  EXPECT_EQ(dir.read("mix.jld").size(), 4u + 12 + 8 + 8732 + 8 + 3308);
}

TEST(MixDocument, SongFolderStaysInTheLibrary) {
  Messages m;
  ProgramFolder pf;
  pf.mkdirs("Library/Song/Abc");
  pf.mkdirs("Library/Secret");
  auto img = sampleImage();
  char folder[256];
  ASSERT_TRUE(JL_MixSongFolder(*img, folder, sizeof folder));
  EXPECT_STREQ(folder, ":Library:Song:Abc:");
  for (const char* bad : {"..", "../Secret", "Abc:..:..:Secret", "Abc/x", "", "Missing"}) {
    strcpy(img->songName, bad);
    EXPECT_FALSE(JL_MixSongFolder(*img, folder, sizeof folder)) << bad;
    EXPECT_STREQ(folder, "");
  }
  ASSERT_EQ(gMessages.size(), 6u);
  EXPECT_EQ(gMessages[1], std::make_pair(kJLMsgNameRefused,
                                         std::string("The name \"../Secret\" was refused: it is not a plain file or "
                                                     "folder name.")));
  EXPECT_EQ(gMessages[5], std::make_pair(kJLMsgSongNotInstalled, std::string("Missing")));

  // A song folder that is a link out of the library is refused as well; a
  // link to another song of the library is followed.
  ASSERT_EQ(symlink("../../Library/Secret", pf.tmp.file("Library/Song/Out").c_str()), 0);
  ASSERT_EQ(symlink("Abc", pf.tmp.file("Library/Song/Alias").c_str()), 0);
  ASSERT_EQ(symlink("Loop", pf.tmp.file("Library/Song/Loop").c_str()), 0);
  gMessages.clear();
  for (const char* bad : {"Out", "Loop"}) {
    strcpy(img->songName, bad);
    EXPECT_FALSE(JL_MixSongFolder(*img, folder, sizeof folder)) << bad;
    EXPECT_FALSE(JL_IsSafeSongName(bad)) << bad;
  }
  ASSERT_EQ(gMessages.size(), 2u);
  EXPECT_EQ(gMessages[0].second, "The name \"Out\" was refused: it leads outside its folder.");
  EXPECT_EQ(gMessages[1].second, "The name \"Loop\" was refused: its symbolic links form a loop.");
  strcpy(img->songName, "Alias");
  ASSERT_TRUE(JL_MixSongFolder(*img, folder, sizeof folder));
  EXPECT_STREQ(folder, ":Library:Song:Alias:");
}
