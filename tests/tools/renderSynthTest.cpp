// jamloom-render of a mix document sounds as the program's own disk mix of
// that document: with its synth's arpeggio when the document switches notes
// on, without when it switches none.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "screens/JLSynthPanel.h"
#include "song/JLDiskMix.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"
#include "support/tempFolder.h"

namespace {

std::vector<int16_t> readStereo(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<int16_t> v(size_t(info.frames) * 2);
  sf_readf_short(f, v.data(), info.frames);
  sf_close(f);
  return v;
}

class RenderedDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
    ASSERT_EQ(chdir(JL_APP_DIR), 0);
    JLSongLibrary lib;
    ASSERT_TRUE(lib.load(":Library:Song:NeonBoulevard:"));
    image.valid = 1;
    snprintf(image.songName, sizeof image.songName, "NeonBoulevard");
    image.bpm = float(lib.songBpm) + 3.0f;
    JL_DefaultGroove(lib, image.groove);
  }
  void TearDown() override { ASSERT_EQ(chdir(saved_), 0); }

  // The document's synth block as the synth panel writes it.
  std::vector<uint8_t> synthBlock(const SynthSetup& setup) {
    JLSynthPanel writer;  // never opened: it only lays out the block
    writer.setup = setup;
    std::vector<uint8_t> block(kSynthIcedBytes);
    writer.iced_save(block.data());
    return block;
  }
  std::string writeDocument(const std::string& name, const std::vector<uint8_t>& synth) {
    const std::string sys = tmp.sys() + name;
    char ulo[kUloPathMax];
    EXPECT_TRUE(ULO_SystemPathToUloPath(sys.c_str(), ulo, sizeof ulo));
    EXPECT_TRUE(JL_WriteMixDocument(ulo, image, synth.data()));
    return sys;
  }
  // The program's path: a freshly opened synth panel reads the document's
  // block, then the disk mix renders the document's image.
  std::vector<int16_t> programDiskMix(const std::vector<uint8_t>& synth, const std::string& out,
                                      const JLDiskMixOptions& options = JLDiskMixOptions(), bool keepPitch = false) {
    JLEngine engine;
    gep = &engine;
    engine.init();
    engine.setKeepPitch(keepPitch);
    {
      JLSynthPanel panel;
      panel.onPanelOpened();
      EXPECT_TRUE(panel.iced_loadBlock(synth.data(), int32_t(synth.size())));
      JLDiskMixReport report;
      EXPECT_TRUE(JL_DiskMix(image, out.c_str(), options, report)) << report.error;
    }
    engine.exit();
    gep = nullptr;
    return readStereo(out);
  }
  std::vector<int16_t> commandLineRender(const std::string& doc, const std::string& out, const char* flags = "") {
    const std::string command =
        std::string("'") + JL_RENDER + "' '" + doc + "' '" + out + "' " + flags + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return readStereo(out);
  }
  // The command line's render of a document with this synth block against
  // the program's disk mix of it: the largest sample difference.
  int renderAgainstProgram(const std::vector<uint8_t>& block, const std::string& name,
                           std::vector<int16_t>& program) {
    const std::string doc = writeDocument(name + ".jld", block);
    program = programDiskMix(block, tmp.sys() + name + "-program.wav");
    const std::vector<int16_t> rendered = commandLineRender(doc, tmp.sys() + name + "-rendered.wav");
    EXPECT_EQ(rendered.size(), size_t(2 * JL_DiskMixFrames(1, image.bpm)));
    EXPECT_EQ(rendered.size(), program.size());
    return rendered.size() == program.size() ? largestDifference(rendered, program) : 1 << 16;
  }
  static int largestDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
  }

  char saved_[4096];
  TempFolder tmp;
  JLIceimage image;
};

TEST_F(RenderedDocument, ASynthThatIsOnPlaysItsArpeggioAsInTheProgramsDiskMix) {
  SynthSetup setup{};
  for (int k : {0, 4, 7, 12, 19}) setup.notes[k] = 1;
  setup.volume = 110;
  setup.pan = 30;
  setup.arpMode = 3;
  setup.arpProg = 5;
  setup.arpSpeed = 3;
  const std::vector<std::string> sets = JL_SynthFolderNames();
  ASSERT_GE(sets.size(), 2u);
  // Not the first set, which the program would load anyway.
  snprintf(setup.synthName, sizeof setup.synthName, "%s", sets[1].c_str());
  std::vector<int16_t> program;
  EXPECT_LE(renderAgainstProgram(synthBlock(setup), "synth", program), 1);

  // The arpeggio is really in both: without the synth the file differs.
  const std::vector<int16_t> loopsOnly = programDiskMix(std::vector<uint8_t>(kSynthIcedBytes, 0), tmp.sys() + "loops.wav");
  ASSERT_EQ(loopsOnly.size(), program.size());
  EXPECT_GT(largestDifference(loopsOnly, program), 1000);
}

// --keep-pitch renders a document whose synth plays as the program's disk
// mix with Keep pitch on does (loops made again, notes at their own pitch),
// with the playing tempo's exact length.
TEST_F(RenderedDocument, KeepPitchRendersTheSynthAsTheProgramDoes) {
  SynthSetup setup{};
  for (int k : {0, 7, 12}) setup.notes[k] = 1;
  setup.volume = 110;
  setup.arpMode = 1;
  setup.arpSpeed = 3;
  const std::vector<uint8_t> block = synthBlock(setup);
  const std::string doc = writeDocument("kept.jld", block);
  JLDiskMixOptions options;
  const std::vector<int16_t> program = programDiskMix(block, tmp.sys() + "kept-program.wav", options, true);
  const std::vector<int16_t> rendered = commandLineRender(doc, tmp.sys() + "kept-rendered.wav", "--keep-pitch");
  ASSERT_EQ(rendered.size(), size_t(2 * JL_DiskMixFrames(1, image.bpm)));
  ASSERT_EQ(rendered.size(), program.size());
  EXPECT_LE(largestDifference(rendered, program), 1);
  // Not the plain render: the loops and notes were made for the tempo.
  const std::vector<int16_t> plain = commandLineRender(doc, tmp.sys() + "plain.wav");
  ASSERT_EQ(plain.size(), program.size());
  EXPECT_GT(largestDifference(plain, program), 1000);
}

TEST_F(RenderedDocument, ASynthWithNoNotesLeavesTheRenderToTheLoops) {
  SynthSetup setup{};
  setup.volume = 127;
  setup.pan = 63;
  setup.arpSpeed = 2;
  std::vector<int16_t> program;
  EXPECT_EQ(renderAgainstProgram(synthBlock(setup), "quiet", program), 0);
}

TEST_F(RenderedDocument, ADocumentSavedWithMutesAndTheSynthOffRendersWithoutThem) {
  SynthSetup setup{};
  for (int k : {0, 4, 7}) setup.notes[k] = 1;
  setup.volume = 110;
  setup.arpSpeed = 3;
  JLMixExtras extras;
  extras.kept = true;
  extras.synthOn = false;
  extras.mutedTracks = 0x05;  // tracks 1 and 3
  JL_PutMixExtras(image, extras);
  const std::string doc = writeDocument("muted.jld", synthBlock(setup));
  const std::vector<int16_t> rendered = commandLineRender(doc, tmp.sys() + "muted-rendered.wav");

  // What the reopened document plays: no arpeggio, tracks 1 and 3 silent.
  JLDiskMixOptions muted;
  muted.mutedTracks = 0x05;
  const std::vector<int16_t> program =
      programDiskMix(std::vector<uint8_t>(kSynthIcedBytes, 0), tmp.sys() + "muted-program.wav", muted);
  ASSERT_EQ(rendered.size(), program.size());
  EXPECT_EQ(largestDifference(rendered, program), 0);
  // The mutes are really in it: every track playing sounds otherwise.
  const std::vector<int16_t> all = programDiskMix(std::vector<uint8_t>(kSynthIcedBytes, 0), tmp.sys() + "all.wav");
  ASSERT_EQ(all.size(), program.size());
  EXPECT_GT(largestDifference(all, program), 1000);
}

// The kept mutes are the working groove's: a document with a sequence
// renders each step with every track of its groove, as the program plays
// the sequence, and with --groove the working groove without them.
TEST_F(RenderedDocument, ADocumentsMutesLeaveItsSequenceWhole) {
  JLGroove a = image.groove, b = image.groove;
  b.tracks[0].reset();  // the second groove without its kick
  image.sequence.store(a);
  image.sequence.store(b);
  image.sequence.steps[0] = a.id;
  image.sequence.steps[1] = b.id;
  image.sequence.stepCount = 2;
  JLMixExtras extras;
  extras.kept = true;
  extras.synthOn = false;
  extras.mutedTracks = 0x07;  // tracks 1 to 3 muted on screen
  JL_PutMixExtras(image, extras);
  const std::vector<uint8_t> noSynth(kSynthIcedBytes, 0);
  const std::string doc = writeDocument("sequence.jld", noSynth);
  const std::vector<int16_t> rendered = commandLineRender(doc, tmp.sys() + "sequence-rendered.wav");
  const std::vector<int16_t> whole = programDiskMix(noSynth, tmp.sys() + "sequence-program.wav");
  ASSERT_EQ(rendered.size(), size_t(4 * JL_DiskMixFrames(1, image.bpm)));
  ASSERT_EQ(rendered.size(), whole.size());
  EXPECT_EQ(largestDifference(rendered, whole), 0);

  const std::vector<int16_t> groove = commandLineRender(doc, tmp.sys() + "groove-rendered.wav", "--groove");
  JLDiskMixOptions muted;
  muted.useSequence = false;
  muted.mutedTracks = 0x07;
  const std::vector<int16_t> program = programDiskMix(noSynth, tmp.sys() + "groove-program.wav", muted);
  ASSERT_EQ(groove.size(), program.size());
  EXPECT_EQ(largestDifference(groove, program), 0);
  muted.mutedTracks = 0;
  const std::vector<int16_t> all = programDiskMix(noSynth, tmp.sys() + "groove-all.wav", muted);
  EXPECT_GT(largestDifference(all, program), 1000) << "the mutes are in the working groove's render";
}

// The master volume a document keeps is the one it renders at, as the
// program sets it on reopening; --volume still overrides it.
TEST_F(RenderedDocument, ADocumentRendersAtTheMasterVolumeItKeeps) {
  JLMixExtras extras;
  extras.kept = true;
  extras.masterVolume = 100;
  JL_PutMixExtras(image, extras);
  const std::vector<uint8_t> noSynth(kSynthIcedBytes, 0);
  const std::string doc = writeDocument("master.jld", noSynth);
  JLDiskMixOptions at;
  at.volume = 100;
  const std::vector<int16_t> kept = programDiskMix(noSynth, tmp.sys() + "master-program.wav", at);
  const std::vector<int16_t> rendered = commandLineRender(doc, tmp.sys() + "master-rendered.wav");
  ASSERT_EQ(rendered.size(), kept.size());
  EXPECT_EQ(largestDifference(rendered, kept), 0);
  at.volume = 63;
  const std::vector<int16_t> given = programDiskMix(noSynth, tmp.sys() + "given-program.wav", at);
  const std::vector<int16_t> overridden =
      commandLineRender(doc, tmp.sys() + "given-rendered.wav", "--volume 63");
  ASSERT_EQ(overridden.size(), given.size());
  EXPECT_EQ(largestDifference(overridden, given), 0);
  EXPECT_GT(largestDifference(kept, given), 1000);
}

}  // namespace
