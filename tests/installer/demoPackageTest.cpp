// The built package and the packing tool, end to end: what the build ships
// must install into a song whose loops have the lengths its descriptor says.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "core/files/uloPathNames.h"
#include "installer/jlDemoInstaller.h"
#include "song/JLSongLibrary.h"
#include "installerTestSupport.h"

namespace {

const std::string kPackage = std::string(JL_APP_DIR) + "/../demo-package/";
const std::string kPackTool = std::string(JL_APP_DIR) + "/../tools/jl-pack-demo";

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

JLInstallerUi yesUi(std::vector<std::string>* errors) {
  JLInstallerUi ui;
  ui.askYesNo = [](const std::string&) { return true; };
  ui.showError = [errors](const std::string& text) { errors->push_back(text); };
  return ui;
}

TEST(DemoPackage, InstallsEveryLoopItsDescriptorNames) {
  if (!exists(kPackage + "jamloom-demo-setup")) GTEST_SKIP() << "demo package not built";
  TempFolder t;
  t.write("path", t.sys() + "\n");
  std::vector<std::string> errors;
  ASSERT_EQ(JL_RunDemoInstaller(kPackage, t.file("path"), yesUi(&errors)), kJLExitDone);
  EXPECT_TRUE(errors.empty());

  JLDemoFiles files;
  ASSERT_TRUE(JL_FindDemoFiles(kPackage, &files));
  const std::string name = files.descriptor.substr(0, files.descriptor.rfind('.'));
  const std::string folder = "Library/Song/" + name + "/";
  // The program's own song reader says which loops the song has.
  static JLSongLibrary library;
  char ulo[kUloPathMax];
  ASSERT_TRUE(ULO_SystemPathToUloPath(t.file(folder).c_str(), ulo, sizeof ulo));
  ASSERT_TRUE(library.load(ulo));
  ASSERT_GT(library.songBpm, 0);
  size_t checked = 0;
  for (int16_t g = 0; g < library.groupCount; ++g) {
    const JLSongGroup& group = library.groups[g];
    for (int16_t v = 0; v < group.count; ++v) {
      if (group.sampleIndex[v] < 0) continue;
      std::string file = group.files[v];
      if (!exists(t.file(folder + file))) file += ".wav";
      SCOPED_TRACE(file);
      PcmFile pcm = readPcm(t.read(folder + file));
      ASSERT_TRUE(pcm.valid);
      EXPECT_EQ(pcm.rate, 44100u);
      // Each loop spans 32 / divisor beats at the song's tempo, to the frame.
      const uint32_t frames = pcm.dataBytes / (2 * pcm.channels);
      EXPECT_EQ(frames, 32u / group.divisor[v] * 44100 * 60 / library.songBpm);
      ++checked;
    }
  }
  EXPECT_EQ(checked, files.loops.size());
  EXPECT_TRUE(exists(t.file(folder + files.picture)));
}

TEST(DemoPackage, ToolPacksASongFolderAndDropsAnEarlierSong) {
  if (!exists(kPackTool)) GTEST_SKIP() << "jl-pack-demo not built";
  TempFolder t;
  mkdir(t.file("song").c_str(), 0755);
  mkdir(t.file("out").c_str(), 0755);
  t.write("song/Tune.jls", "descriptor");
  t.write("song/library.gif", "picture");
  ASSERT_TRUE(writeSound(t.file("song/lead01.wav"), sineLoop(3000, 2), 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  t.write("out/Older.jls", "stale");
  t.write("out/old01.wav", "stale");
  t.write("setup", "#!/bin/sh\n");

  const std::string cmd = "'" + kPackTool + "' --out '" + t.file("out") + "' --song '" + t.file("song") +
                          "' --installer '" + t.file("setup") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  JLDemoFiles files;
  ASSERT_TRUE(JL_FindDemoFiles(t.file("out"), &files));
  EXPECT_EQ(files.descriptor, "Tune.jls");
  EXPECT_EQ(files.picture, "library.gif");
  EXPECT_EQ(files.loops, std::vector<std::string>{"lead01.wav"});
  EXPECT_EQ(t.read("out/Tune.jls"), "descriptor");
  EXPECT_EQ(t.read("out/jamloom-demo-setup"), "#!/bin/sh\n");
  EXPECT_EQ(access(t.file("out/jamloom-demo-setup").c_str(), X_OK), 0);
  const std::string packed = t.read("out/lead01.wav");
  ASSERT_GT(packed.size(), 22u);
  EXPECT_EQ((uint8_t)packed[20], 0x11);  // IMA ADPCM

  // A missing song folder fails the build step instead of packing nothing.
  EXPECT_NE(std::system((cmd + " --song '" + t.file("none") + "' 2>/dev/null").c_str()), 0);
}

}  // namespace
