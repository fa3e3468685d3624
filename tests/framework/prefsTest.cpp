#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "castsTestSupport.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPathNames.h"
#include "framework/prefs/JLprefs.h"

using skintest::bytes;

namespace {

struct PrefsDir {
  TempFolder dir;
  jlPrefsClass prefs;
  PrefsDir() { ULO_StrCopy(prefs.fileName, sizeof prefs.fileName, (dir.ulo() + "Jamloom.prf").c_str()); }
  std::string path() const { return prefs.fileName; }
  // Overwrites one 2-byte item of the stored file, as another program might.
  bool putItem(int32_t type, const char* bytes) const {
    UloResFile res;
    res.SetWorkName(path().c_str());
    return res.Open() && res.SaveData(bytes, 2, type, 0) && res.Close();
  }
};

TEST(PrefsFile, FirstStartKeepsDefaultsAndExitWritesAllTenItems) {
  PrefsDir d;
  d.prefs.load();
  EXPECT_EQ(d.prefs.randomLimit[0], 4);
  EXPECT_EQ(d.prefs.randomLimit[3], 7);
  EXPECT_EQ(d.prefs.interfaceColor, 0);
  EXPECT_EQ(d.prefs.mtrmValue, 0);
  EXPECT_EQ(d.prefs.outputType, ULO_FourCC("JLMX"));
  EXPECT_EQ(d.prefs.soundConvertSettings, nullptr);
  EXPECT_EQ(d.prefs.windowPosition.right, 0);

  ASSERT_TRUE(d.prefs.save());
  UloResFile res;
  res.SetWorkName(d.path().c_str());
  res.readOnly = 1;
  ASSERT_TRUE(res.Open());
  struct Item {
    const char* type;
    int32_t id, length;
  } items[] = {{"mwin", 0, 8}, {"otyp", 0, 4}, {"olen", 0, 4}, {"odat", 0, 0}, {"usrr", 0, 2},
               {"usrr", 1, 2}, {"usrr", 2, 2}, {"usrr", 3, 2}, {"mtrm", 0, 2}, {"intc", 0, 2}};
  for (const Item& it : items) {
    const int32_t type = ULO_FourCC(*reinterpret_cast<const char(*)[5]>(it.type));
    EXPECT_TRUE(res.IsDataLenAvailable(it.length, type, it.id)) << it.type << " " << it.id;
  }
  uint8_t b[4];
  ASSERT_TRUE(res.LoadData(b, 2, ULO_FourCC("usrr"), 2));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 2), bytes({0, 6})) << "big-endian";
  ASSERT_TRUE(res.LoadData(b, 4, ULO_FourCC("otyp"), 0));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 4), "JLMX");
  EXPECT_FALSE(d.dir.read(ULO_TempName("Jamloom.prf")).size()) << "no temporary file is left behind";
}

TEST(PrefsFile, SettingsRoundTrip) {
  PrefsDir d;
  d.prefs.windowPosition = {-5, 10, 650, 490};
  d.prefs.outputType = ULO_FourCC("WAVE");
  d.prefs.randomLimit[1] = 8;
  d.prefs.mtrmValue = 1;
  d.prefs.interfaceColor = 7;
  ASSERT_TRUE(d.prefs.setSoundConvertSettings("\x01\x02\x03", 3));
  ASSERT_TRUE(d.prefs.save());
  d.prefs.randomLimit[1] = 5;  // saving again overwrites, item by item
  ASSERT_TRUE(d.prefs.save());

  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(again.windowPosition.left, -5);
  EXPECT_EQ(again.windowPosition.bottom, 490);
  EXPECT_EQ(again.outputType, ULO_FourCC("WAVE"));
  EXPECT_EQ(again.randomLimit[1], 5);
  EXPECT_EQ(again.mtrmValue, 1);
  EXPECT_EQ(again.interfaceColor, 7);
  ASSERT_EQ(again.soundConvertLength, 3);
  EXPECT_EQ(memcmp(again.soundConvertSettings, "\x01\x02\x03", 3), 0);
}

TEST(PrefsFile, ItemsOfTheWrongLengthKeepTheirDefaults) {
  PrefsDir d;
  {
    UloResFile res;
    res.SetWorkName(d.path().c_str());
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("\0\0\0\x09", 4, ULO_FourCC("usrr"), 2));  // 4 bytes: not a limit
    ASSERT_TRUE(res.SaveData("\0\x09", 2, ULO_FourCC("usrr"), 1));
    ASSERT_TRUE(res.SaveData("\0\0\0\x40", 4, ULO_FourCC("olen"), 0));  // data item missing
    ASSERT_TRUE(res.SaveData("\x7f\xff\xff\xff", 4, ULO_FourCC("olen"), 1));
    ASSERT_TRUE(res.SaveData("abc", 3, ULO_FourCC("intc"), 0));
    ASSERT_TRUE(res.Close());
  }
  d.prefs.setSoundConvertSettings("xy", 2);
  d.prefs.load();
  EXPECT_EQ(d.prefs.randomLimit[2], 6);
  EXPECT_EQ(d.prefs.randomLimit[1], 9);
  EXPECT_EQ(d.prefs.interfaceColor, 0);
  EXPECT_EQ(d.prefs.soundConvertSettings, nullptr) << "a length without its data gives empty settings";
  EXPECT_EQ(d.prefs.soundConvertLength, 0);
}

// Files from before the tempo quality setting load it as High; a stored
// choice comes back; any other stored number reads as High.
TEST(PrefsFile, TempoQualityDefaultsToHighAndRoundTrips) {
  PrefsDir d;
  {
    UloResFile res;
    res.SetWorkName(d.path().c_str());
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("\0\x03", 2, ULO_FourCC("intc"), 0));
    ASSERT_TRUE(res.Close());
  }
  d.prefs.load();
  EXPECT_EQ(d.prefs.interfaceColor, 3);
  EXPECT_EQ(d.prefs.tempoQuality, 1);
  d.prefs.tempoQuality = 0;
  ASSERT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(again.tempoQuality, 0);
  ASSERT_TRUE(d.putItem(ULO_FourCC("tmpq"), "\x7f\x07"));
  again.load();
  EXPECT_EQ(again.tempoQuality, 1);
}

// The master volume outlives a restart; files from before it, and values
// out of range, give the starting 63.
TEST(PrefsFile, MasterVolumeRoundTripsAndOlderOrForeignValuesGiveTheStart) {
  PrefsDir d;
  d.prefs.load();
  EXPECT_EQ(d.prefs.masterVolume, 63);
  d.prefs.masterVolume = 92;
  ASSERT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(again.masterVolume, 92);
  ASSERT_TRUE(d.putItem(ULO_FourCC("mvol"), "\x00\x80"));  // 128
  again.load();
  EXPECT_EQ(again.masterVolume, 63);
}

// Keep pitch: off in files from before it, a stored choice comes back, and
// a stored number other than 1 reads as off.
TEST(PrefsFile, KeepPitchDefaultsToOffAndRoundTrips) {
  PrefsDir d;
  {
    UloResFile res;
    res.SetWorkName(d.path().c_str());
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("\0\x00", 2, ULO_FourCC("tmpq"), 0));
    ASSERT_TRUE(res.Close());
  }
  d.prefs.load();
  EXPECT_EQ(d.prefs.tempoQuality, 0);
  EXPECT_EQ(d.prefs.keepPitch, 0);
  d.prefs.keepPitch = 1;
  ASSERT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(again.keepPitch, 1);
  EXPECT_EQ(again.tempoQuality, 0);
  {
    UloResFile res;
    res.SetWorkName(d.path().c_str());
    ASSERT_TRUE(res.Open());
    ASSERT_TRUE(res.SaveData("\x7f\x07", 2, ULO_FourCC("kpit"), 0));
    ASSERT_TRUE(res.Close());
  }
  again.load();
  EXPECT_EQ(again.keepPitch, 0);
}

TEST(PrefsFile, FailedSaveLeavesThePreviousFileWhole) {
  PrefsDir d;
  d.prefs.interfaceColor = 3;
  ASSERT_TRUE(d.prefs.save());
  const std::string before = d.dir.read("Jamloom.prf");

  // A full disk: every write past the current file size fails.
  d.prefs.interfaceColor = 4;
  d.prefs.setSoundConvertSettings(std::string(4000, 'x').data(), 4000);
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 16010;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved1 = d.prefs.save();
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_FALSE(saved1);
  EXPECT_EQ(d.dir.read("Jamloom.prf"), before);
  struct stat st;
  const std::string mine = ULO_TempName("Jamloom.prf");
  EXPECT_NE(stat(d.dir.file(mine).c_str(), &st), 0) << "the partial file is removed";

  // Leftovers: whatever lies at this process's own temporary name, and the
  // temporaries of writers that have gone, are removed by the next save;
  // a running writer's temporary and names of any other form stay.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  const std::string stale = ".Jamloom.prf.jltmp-" + std::to_string(gone);
  const std::string running = ".Jamloom.prf.jltmp-1";
  ASSERT_EQ(mkdir(d.dir.file(mine).c_str(), 0700), 0);
  d.dir.write(mine + "/inside", "junk");
  d.dir.write(stale, "junk");
  d.dir.write(running, "other copy");
  const char* const others[] = {"Jamloom.prf.saving", ".Jamloom.prf.jltmp-x1", ".Other.jltmp-99999999"};
  for (const char* other : others) d.dir.write(other, "user");
  EXPECT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(again.interfaceColor, 4);
  EXPECT_EQ(again.soundConvertLength, 4000);
  EXPECT_NE(stat(d.dir.file(mine).c_str(), &st), 0);
  EXPECT_NE(stat(d.dir.file(stale).c_str(), &st), 0);
  EXPECT_EQ(d.dir.read(running), "other copy");
  for (const char* other : others) EXPECT_EQ(d.dir.read(other), "user") << other;
}

}  // namespace

TEST(PrefsFile, LatencyRoundTripsAndOlderOrForeignValuesGiveNormal) {
  PrefsDir d;
  d.prefs.load();
  EXPECT_EQ(jlPrefsClass::kLatencyNormal, d.prefs.latency) << "a first start";
  EXPECT_EQ(512, d.prefs.outputFrames());
  d.prefs.latency = jlPrefsClass::kLatencyLow;
  ASSERT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_EQ(jlPrefsClass::kLatencyLow, again.latency);
  EXPECT_EQ(256, again.outputFrames());
  again.latency = jlPrefsClass::kLatencySafe;
  EXPECT_EQ(0, again.outputFrames()) << "the queued output";

  // A file written before the setting existed, and one with a value no
  // version writes.
  for (const char* stored : {static_cast<const char*>(nullptr), "\0\x07", "\xff\xff"}) {
    PrefsDir old;
    {
      UloResFile res;
      res.SetWorkName(old.path().c_str());
      ASSERT_TRUE(res.Create());
      ASSERT_TRUE(res.SaveData("\0\x02", 2, ULO_FourCC("intc"), 0));
      if (stored) ASSERT_TRUE(res.SaveData(stored, 2, ULO_FourCC("olat"), 0));
      ASSERT_TRUE(res.Close());
    }
    old.prefs.latency = jlPrefsClass::kLatencyLow;
    old.prefs.load();
    EXPECT_EQ(2, old.prefs.interfaceColor);
    EXPECT_EQ(jlPrefsClass::kLatencyNormal, old.prefs.latency);
  }
}

namespace {

// The MIDI choices come back as saved; a file from before them keeps the
// defaults (no port, all channels, nothing bound), and a stored name with
// no end is cut rather than read past.
TEST(PrefsFile, MidiPortsAndBindingsRoundTrip) {
  PrefsDir d;
  ASSERT_TRUE(d.prefs.save());
  {
    jlPrefsClass older;
    ULO_StrCopy(older.fileName, sizeof older.fileName, d.prefs.fileName);
    older.load();
    EXPECT_STREQ(older.midiInput, "");
    EXPECT_EQ(older.midiChannel, -1);
    EXPECT_EQ(older.midiBindings[11], -1);
    EXPECT_EQ(older.midiClockIn, 0);
    EXPECT_EQ(older.diskMixStems, 0);
  }
  snprintf(d.prefs.midiInput, sizeof d.prefs.midiInput, "%s", "Keystation 49:0");
  memset(d.prefs.midiOutput, 'x', sizeof d.prefs.midiOutput);  // no terminator
  d.prefs.midiChannel = 9;
  d.prefs.midiClockOut = 1;
  d.prefs.midiClockIn = 1;
  d.prefs.diskMixStems = 1;
  d.prefs.midiBindings[0] = 128 + 20;
  d.prefs.midiBindings[11] = 43;
  ASSERT_TRUE(d.prefs.save());
  jlPrefsClass again;
  ULO_StrCopy(again.fileName, sizeof again.fileName, d.prefs.fileName);
  again.load();
  EXPECT_STREQ(again.midiInput, "Keystation 49:0");
  EXPECT_EQ(strlen(again.midiOutput), 63u);
  EXPECT_EQ(again.midiChannel, 9);
  EXPECT_EQ(again.midiClockOut, 1);
  EXPECT_EQ(again.midiClockIn, 1);
  EXPECT_EQ(again.diskMixStems, 1);
  EXPECT_EQ(again.midiBindings[0], 148);
  EXPECT_EQ(again.midiBindings[11], 43);
}

}  // namespace
