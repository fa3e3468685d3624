#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "core/files/uloFolderOps.h"
#include "installer/jlLoopDecoder.h"
#include "installerTestSupport.h"

namespace {

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

TEST(LoopDecoder, ImaAdpcmDecodesToTheOriginalWithinCodecError) {
  TempFolder t;
  const int frames = 30000;  // not a whole number of ADPCM blocks
  const std::vector<int16_t> original = sineLoop(frames, 2);
  ASSERT_TRUE(JL_WriteImaAdpcmWav(t.file("in.wav"), original.data(), frames, 2, 44100));
  ASSERT_EQ(JL_DecompressLoop(t.file("in.wav"), t.file("out.wav")), JLConvertResult::ok);

  PcmFile out = readPcm(t.read("out.wav"));
  ASSERT_TRUE(out.valid);
  EXPECT_EQ(out.format, 1);
  EXPECT_EQ(out.channels, 2);
  EXPECT_EQ(out.rate, 44100u);
  EXPECT_EQ(out.bits, 16);
  // The padding of the last block is gone: the loop keeps its length.
  EXPECT_EQ(out.dataBytes, frames * 4u);
  EXPECT_EQ(out.riffSize, out.dataBytes + 36);
  EXPECT_EQ(out.fileBytes, 44 + out.dataBytes);
  ASSERT_EQ(out.samples.size(), original.size());

  double signal = 0, noise = 0;
  int worst = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    const int d = out.samples[i] - original[i];
    signal += (double)original[i] * original[i];
    noise += (double)d * d;
    // The coder starts at its smallest step and needs a few samples to catch up.
    if (i >= 2 * 32) worst = std::max(worst, std::abs(d));
  }
  // 4-bit ADPCM of a clean sine keeps about 45 dB; a wrong step table,
  // swapped channels or byte order would fall far below.
  EXPECT_GT(10 * std::log10(signal / noise), 35.0);
  EXPECT_LT(worst, 600);
}

TEST(LoopDecoder, HeaderAnnouncesTheDecodedSizeWhateverTheRatio) {
  TempFolder t;
  // 8-bit stereo: 10000 compressed data bytes are 5000 frames, 20000 bytes
  // of 16-bit output, not four times the compressed size.
  ASSERT_TRUE(writeSound(t.file("u8.wav"), sineLoop(5000, 2), 2, SF_FORMAT_WAV | SF_FORMAT_PCM_U8));
  ASSERT_EQ(JL_DecompressLoop(t.file("u8.wav"), t.file("u8out.wav")), JLConvertResult::ok);
  PcmFile u8 = readPcm(t.read("u8out.wav"));
  EXPECT_EQ(u8.dataBytes, 20000u);
  EXPECT_EQ(u8.fileBytes, 44 + 20000u);

  // Microsoft ADPCM, mono; and IMA written by libsndfile alone, whose fact
  // chunk is wrong and must not cut the loop. Both end within one block.
  struct Case {
    const char* name;
    int channels, format;
  } cases[] = {{"ms.wav", 1, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM}, {"ima.wav", 2, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int frames = 20000;
    ASSERT_TRUE(writeSound(t.file(c.name), sineLoop(frames, c.channels), c.channels, c.format));
    ASSERT_EQ(JL_DecompressLoop(t.file(c.name), t.file("out.wav")), JLConvertResult::ok);
    PcmFile out = readPcm(t.read("out.wav"));
    EXPECT_EQ(out.channels, c.channels);
    EXPECT_EQ(out.fileBytes, 44 + out.dataBytes);
    const int got = (int)(out.dataBytes / (2 * c.channels));
    EXPECT_GE(got, frames);
    EXPECT_LT(got, frames + 2048);
  }
}

TEST(LoopDecoder, DamagedSourceLeavesNoFileBehind) {
  TempFolder t;
  t.write("text.wav", "this is not a sound file at all, only some words in it");
  t.write("nodata.wav", std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 36));
  // A copy cut off half-way: the data chunk announces more than is there.
  const std::vector<int16_t> s = sineLoop(20000, 2);
  ASSERT_TRUE(JL_WriteImaAdpcmWav(t.file("whole.wav"), s.data(), 20000, 2, 44100));
  std::string whole = t.read("whole.wav");
  t.write("cut.wav", whole.substr(0, whole.size() / 2));

  EXPECT_EQ(JL_DecompressLoop(t.file("text.wav"), t.file("a.wav")), JLConvertResult::unreadable);
  EXPECT_EQ(JL_DecompressLoop(t.file("nodata.wav"), t.file("b.wav")), JLConvertResult::unreadable);
  // A complete loop from an earlier installation survives a failed update.
  t.write("c.wav", "earlier loop");
  EXPECT_EQ(JL_DecompressLoop(t.file("cut.wav"), t.file("c.wav")), JLConvertResult::corrupt);
  EXPECT_EQ(JL_DecompressLoop(t.file("whole.wav"), t.file("missing/d.wav")), JLConvertResult::cannotWrite);

  EXPECT_FALSE(exists(t.file("a.wav")));
  EXPECT_FALSE(exists(t.file("b.wav")));
  EXPECT_EQ(t.read("c.wav"), "earlier loop");
  for (const char* loop : {"a.wav", "b.wav", "c.wav"}) EXPECT_FALSE(exists(t.file(ULO_TempName(loop)))) << loop;
}

TEST(WavWriter, OnlyACommittedFileAppears) {
  TempFolder t;
  const int16_t samples[4] = {1, -2, 3, -4};
  {
    JLWavWriter w;
    ASSERT_TRUE(w.create(t.file("x.wav"), 22050, 1));
    ASSERT_TRUE(w.write(samples, 4));
    EXPECT_TRUE(exists(t.file(ULO_TempName("x.wav"))));
    EXPECT_FALSE(exists(t.file("x.wav")));
  }
  EXPECT_FALSE(exists(t.file(ULO_TempName("x.wav"))));
  EXPECT_FALSE(exists(t.file("x.wav")));

  JLWavWriter w;
  ASSERT_TRUE(w.create(t.file("x.wav"), 22050, 1));
  ASSERT_TRUE(w.write(samples, 4));
  ASSERT_TRUE(w.commit());
  PcmFile p = readPcm(t.read("x.wav"));
  EXPECT_TRUE(p.valid);
  EXPECT_EQ(p.rate, 22050u);
  EXPECT_EQ(p.dataBytes, 8u);
  EXPECT_EQ(p.samples, std::vector<int16_t>(samples, samples + 4));
  EXPECT_FALSE(exists(t.file(ULO_TempName("x.wav"))));
}

}  // namespace
