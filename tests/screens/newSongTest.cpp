// The song browser's New song errand, its questions answered by a script in
// place of the dialog program: the answers reach the song made, a refused
// name is asked again, and a cancelled question leaves nothing behind.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/files/uloPath.h"
#include "screens/JLNewSong.h"
#include "song/JLSongLibrary.h"
#include "support/tempFolder.h"

namespace {

void writeHits(const std::string& path, int beats, int bpm) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<short> v(size_t(beats) * size_t(2646000 / bpm), 0);
  for (size_t i = 0; i < 400; ++i) v[i] = short(8000 * std::sin(i * 0.3));
  sf_writef_short(f, v.data(), sf_count_t(v.size()));
  sf_close(f);
}

// The stand-in answers each kind of question from a file named after it;
// "entry" answers come one per line, in turn (none left: cancelled); the
// choices a list offers are kept in "list-args".
std::string standIn(const TempFolder& t) {
  const std::string s = t.file("dialog.sh");
  std::ofstream(s) << "#!/bin/bash\n"
                      "kind=other\n"
                      "for a in \"$@\"; do case \"$a\" in --entry) kind=entry;; --forms) kind=forms;; "
                      "--list) kind=list;; --file-selection) kind=file;; esac; done\n"
                      "echo \"$kind\" >>" << t.file("asked") << "\n"
                      "n=$(grep -c . " << t.file("asked") << ")\n"
                      "f=" << t.sys() << "answer-$kind\n"
                      "[ -f \"$f\" ] || exit 1\n"
                      "[ $kind = list ] && printf '%s\\n' \"$@\" >" << t.file("list-args") << "\n"
                      "if [ $kind = entry ]; then k=$(grep -c entry " << t.file("asked") << "); "
                      "[ $(wc -l <\"$f\") -ge $k ] || exit 1; sed -n \"${k}p\" \"$f\"; "
                      "else cat \"$f\"; fi\n";
  chmod(s.c_str(), 0755);
  return s;
}

JLNewSong::Outcome waitDone(JLNewSong& job, std::string* message, std::string* song) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    const JLNewSong::Outcome o = job.poll(message, song);
    if (o != JLNewSong::Outcome::running) return o;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return JLNewSong::Outcome::running;
}

class NewSongTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getcwd(old_, sizeof old_)) old_[0] = 0;
    ASSERT_EQ(chdir(lib.sys().c_str()), 0);
    mkdir((lib.sys() + "Library").c_str(), 0755);
    mkdir((lib.sys() + "Library/Song").c_str(), 0755);
    mkdir((src.sys() + "loops").c_str(), 0755);
    ULO_SetFileChooserProgram(standIn(q).c_str());
  }
  void TearDown() override {
    ULO_SetFileChooserProgram(nullptr);
    if (old_[0] && chdir(old_) != 0) ADD_FAILURE();
  }
  std::string asked() const { return q.read("asked"); }
  TempFolder lib, src, q;
  char old_[4096];
};

}  // namespace

TEST_F(NewSongTest, AnswersMakeTheSongAndARefusedNameIsAskedAgain) {
  writeHits(src.file("loops/kick1.wav"), 4, 120);
  writeHits(src.file("loops/kick2.wav"), 2, 120);
  writeHits(src.file("loops/odd.wav"), 3, 100);  // 3.6 beats at 120
  mkdir((lib.sys() + "Library/Song/Taken").c_str(), 0755);
  q.write("answer-file", src.sys() + "loops\n");
  q.write("answer-entry", "Taken\nMine\n120\n Beats ,\n");  // name refused, name, tempo, instruments
  q.write("answer-list", "stretching (speed and pitch change)\n");
  JLNewSong job;
  ASSERT_TRUE(job.start(""));
  std::string message, song;
  ASSERT_EQ(waitDone(job, &message, &song), JLNewSong::Outcome::made) << message;
  EXPECT_EQ(song, "Mine");
  EXPECT_EQ(asked(), "file\nentry\nentry\nentry\nlist\nentry\n");
  // Trimming is chosen from the start, so Return alone answers the list.
  const std::string args = q.read("list-args");
  EXPECT_NE(args.find("--radiolist\n"), std::string::npos) << args;
  EXPECT_NE(args.find("\nTRUE\ntrimming (cut or pad)\nFALSE\nstretching"), std::string::npos) << args;
  EXPECT_EQ(message, "The song \"Mine\" was made: 3 loops at 120 BPM.\nodd.wav: stretched from 1.800 s to 4 beats");
  JLSongLibrary l;
  ASSERT_TRUE(l.load(":Library:Song:Mine:"));
  EXPECT_EQ(l.songBpm, 120);
  ASSERT_EQ(l.groupCount, 2);
  EXPECT_STREQ(l.groups[0].name, "Beats");
  EXPECT_STREQ(l.groups[1].name, "odd");
}

TEST_F(NewSongTest, ACancelledQuestionLeavesNothingAndADroppedFolderIsNotAskedFor) {
  writeHits(src.file("loops/a1.wav"), 4, 120);
  q.write("answer-entry", "Never\n");  // no names answer: that question is cancelled
  JLNewSong job;
  ASSERT_TRUE(job.start(src.sys() + "loops"));
  std::string message, song;
  EXPECT_EQ(waitDone(job, &message, &song), JLNewSong::Outcome::cancelled);
  EXPECT_EQ(asked(), "entry\nentry\n");
  struct stat st {};
  EXPECT_NE(stat((lib.sys() + "Library/Song/Never").c_str(), &st), 0);
  // A folder that holds no sound is a failure that says so.
  ASSERT_TRUE(job.start(src.sys() + "loops/a1.wav"));
  EXPECT_EQ(waitDone(job, &message, &song), JLNewSong::Outcome::failed);
  EXPECT_EQ(message, src.sys() + "loops/a1.wav is not a folder");
}
