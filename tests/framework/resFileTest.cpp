#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "support/tempFolder.h"

namespace {

const int32_t MPIX = ULO_FourCC("MPIX");
const int32_t LAYA = ULO_FourCC("LAYA");

uint32_t be32(const std::string& s, size_t at) { return ULO_GetBEU32(reinterpret_cast<const uint8_t*>(&s[at])); }

struct Container {
  TempFolder dir;
  std::string path = dir.ulo() + "t.xrs";
  std::string bytes() const { return dir.read("t.xrs"); }
  void open(UloResFile& r, bool readOnly = false) const {
    r.SetWorkName(path.c_str());
    r.readOnly = readOnly;
    ASSERT_TRUE(r.Open());
  }
};

// Hand-made container bytes, for files this class would never write.
struct RawEntry {
  int32_t id, type, length, offset;
};
std::string rawContainer(int16_t maxItems, int16_t itemsCount, const std::vector<RawEntry>& entries,
                         size_t totalSize) {
  std::string s(std::max<size_t>(totalSize, 8), '\0');
  auto* p = reinterpret_cast<uint8_t*>(&s[0]);
  ULO_PutBE16(p, 1);
  ULO_PutBE16(p + 2, maxItems);
  ULO_PutBE16(p + 4, itemsCount);
  for (size_t i = 0; i < entries.size() && 8 + 16 * (i + 1) <= s.size(); i++) {
    uint8_t* e = p + 8 + 16 * i;
    ULO_PutBE32(e, entries[i].id);
    ULO_PutBE32(e + 4, entries[i].type);
    ULO_PutBE32(e + 8, entries[i].length);
    ULO_PutBE32(e + 12, entries[i].offset);
  }
  for (size_t i = 16008; i < s.size(); i++) s[i] = char(i);
  s.resize(totalSize);
  return s;
}

TEST(ResFile, FreshContainerIsHeaderPlusAThousandSlots) {
  Container c;
  {
    UloResFile r;
    r.SetWorkName(c.path.c_str());
    ASSERT_TRUE(r.Create());
    EXPECT_TRUE(r.isOpen);
  }
  std::string b = c.bytes();
  ASSERT_EQ(b.size(), 16008u);
  EXPECT_EQ(b.substr(0, 6), std::string("\x00\x01\x03\xE8\x00\x00", 6));

  // Create never replaces an existing file, whatever it holds.
  c.dir.write("t.xrs", "not a container");
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  EXPECT_FALSE(r.Create());
  EXPECT_EQ(c.bytes(), "not a container");
}

TEST(ResFile, ItemsAreWrittenInPlaceOrMovedToTheEnd) {
  Container c;
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  ASSERT_TRUE(r.Create());
  ASSERT_TRUE(r.SaveData("0123456789", 10, MPIX, 5));
  ASSERT_TRUE(r.Close());
  std::string b = c.bytes();
  ASSERT_EQ(b.size(), 16018u);
  EXPECT_EQ(be32(b, 4) >> 16, 1u);  // itemsCount
  EXPECT_EQ(be32(b, 8), 5u);
  EXPECT_EQ(b.substr(12, 4), "MPIX");
  EXPECT_EQ(be32(b, 16), 10u);
  EXPECT_EQ(be32(b, 20), 16008u);
  EXPECT_EQ(b.substr(16008), "0123456789");

  // Within one session: shrinking rewrites in place, growing moves the item
  // behind everything and the old bytes become dead space.
  ASSERT_TRUE(r.Open());
  ASSERT_TRUE(r.SaveData("abcd", 4, MPIX, 5));
  char buf[4];
  ASSERT_TRUE(r.LoadData(buf, 4, MPIX, 5));
  EXPECT_EQ(std::string(buf, 4), "abcd");
  ASSERT_TRUE(r.SaveData("ABCDEFGHIJKLMNOPQRST", 20, MPIX, 5));
  EXPECT_EQ(r.GetDataLen(MPIX, 5), 20);
  ASSERT_TRUE(r.Close());
  b = c.bytes();
  ASSERT_EQ(b.size(), 16038u);
  EXPECT_EQ(be32(b, 4) >> 16, 1u);
  EXPECT_EQ(be32(b, 16), 20u);
  EXPECT_EQ(be32(b, 20), 16018u);
  EXPECT_EQ(b.substr(16008, 4), "abcd");
  EXPECT_EQ(b.substr(16018), "ABCDEFGHIJKLMNOPQRST");
}

TEST(ResFile, ShrinkingKeepsTheEndOfTheDataArea) {
  Container c;
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  ASSERT_TRUE(r.Create());
  ASSERT_TRUE(r.SaveData("0123456789", 10, MPIX, 5));
  ASSERT_TRUE(r.SaveData("abcd", 4, MPIX, 5));
  ASSERT_TRUE(r.Close());
  std::string b = c.bytes();
  ASSERT_EQ(b.size(), 16018u);
  EXPECT_EQ(be32(b, 16), 4u);
  EXPECT_EQ(be32(b, 20), 16008u);
  EXPECT_EQ(b.substr(16008), "abcd456789");
}

TEST(ResFile, LoadNeedsTheExactLengthAndGetDataAllocatesIt) {
  Container c;
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  ASSERT_TRUE(r.Create());
  ASSERT_TRUE(r.SaveData("hello", 5, MPIX, 1));
  ASSERT_TRUE(r.SaveData("other", 5, LAYA, 1));  // same id, other type: another item
  ASSERT_TRUE(r.SaveData("", 0, LAYA, 2));
  ASSERT_TRUE(r.Close());
  c.open(r, true);

  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_FALSE(r.LoadData(buf, 4, MPIX, 1));
  EXPECT_FALSE(r.LoadData(buf, 6, MPIX, 1));
  EXPECT_EQ(std::string(buf, 8), "########");
  EXPECT_FALSE(r.IsDataLenAvailable(4, MPIX, 1));
  ASSERT_TRUE(r.LoadData(buf, 5, MPIX, 1));
  EXPECT_EQ(std::string(buf, 5), "hello");

  char* block = nullptr;
  ASSERT_TRUE(r.GetDataT(&block, LAYA, 1));
  EXPECT_EQ(std::string(block, 5), "other");
  ULO_DisposePtrT(&block);
  EXPECT_TRUE(r.GetDataT(&block, LAYA, 2));  // an empty item still hands over a block
  EXPECT_NE(block, nullptr);
  ULO_DisposePtrT(&block);
  block = reinterpret_cast<char*>(1);
  EXPECT_FALSE(r.GetDataT(&block, MPIX, 2));
  EXPECT_EQ(block, nullptr);
  EXPECT_FALSE(r.IsDataAvailable(MPIX, 2));
  EXPECT_EQ(r.GetDataLen(MPIX, 2), 0);
}

TEST(ResFile, ItemsOfATypeAreEnumeratedInTableOrder) {
  Container c;
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  EXPECT_EQ(r.GetItemsCount(MPIX), 0);
  EXPECT_EQ(r.GetItemIndexID(MPIX, 0), 0);  // closed
  ASSERT_TRUE(r.Create());
  ASSERT_TRUE(r.SaveData("a", 1, MPIX, 7));
  ASSERT_TRUE(r.SaveData("b", 1, LAYA, 3));
  ASSERT_TRUE(r.SaveData("c", 1, MPIX, 3));
  ASSERT_TRUE(r.SaveData("d", 1, MPIX, 12));
  EXPECT_EQ(r.GetItemsCount(MPIX), 3);
  EXPECT_EQ(r.GetItemsCount(LAYA), 1);
  EXPECT_EQ(r.GetItemIndexID(MPIX, 0), 7);
  EXPECT_EQ(r.GetItemIndexID(MPIX, 2), 12);
  EXPECT_EQ(r.GetItemIndexID(MPIX, 3), -1);
  EXPECT_EQ(r.GetItemIndexID(MPIX, -1), -1);
  // Rewriting an existing pair never adds an entry.
  ASSERT_TRUE(r.SaveData("longer", 6, MPIX, 3));
  EXPECT_EQ(r.GetItemsCount(MPIX), 3);
}

TEST(ResFile, AFullDirectoryGrowsAndMovesTheItemsItCovers) {
  Container c;
  UloResFile r;
  r.SetWorkName(c.path.c_str());
  ASSERT_TRUE(r.Create());
  // Item i holds 20 bytes naming it; the empty item shares an offset.
  auto payload = [](int i) {
    char b[21];
    snprintf(b, sizeof b, "item-%014d", i);
    return std::string(b, 20);
  };
  for (int i = 0; i < 999; i++) ASSERT_TRUE(r.SaveData(payload(i).data(), 20, MPIX, i));
  ASSERT_TRUE(r.SaveData("", 0, LAYA, 1));
  ASSERT_TRUE(r.SaveData("x", 1, MPIX, 1000));  // slot 1001
  EXPECT_TRUE(r.SaveData("xyzw", 4, MPIX, 998));
  ASSERT_TRUE(r.Close());

  const std::string b = c.bytes();
  EXPECT_EQ(be32(b, 0), 0x000107D0u);  // version 1, 2000 slots
  EXPECT_EQ(be32(b, 4) >> 16, 1001u);
  const uint32_t dataStart = 8 + 16 * 2000;
  for (int i = 0; i < 1001; i++) EXPECT_GE(be32(b, 8 + 16 * i + 12), dataStart) << i;

  c.open(r, true);
  EXPECT_EQ(r.DamagedItemsCount(), 0);
  for (int i = 0; i < 998; i++) {
    char buf[20];
    ASSERT_TRUE(r.LoadData(buf, 20, MPIX, i)) << i;
    EXPECT_EQ(std::string(buf, 20), payload(i));
  }
  char buf[4];
  ASSERT_TRUE(r.LoadData(buf, 4, MPIX, 998));
  EXPECT_EQ(std::string(buf, 4), "xyzw");
  EXPECT_TRUE(r.IsDataLenAvailable(0, LAYA, 1));
  ASSERT_TRUE(r.LoadData(buf, 1, MPIX, 1000));
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(r.GetItemsCount(MPIX), 1000);
  r.Close();

  // The grown container takes more items without growing again.
  c.open(r);
  for (int i = 1001; i < 1500; i++) ASSERT_TRUE(r.SaveData(&i, 4, MPIX, i));
  ASSERT_TRUE(r.Close());
  EXPECT_EQ(be32(c.bytes(), 0), 0x000107D0u);
}

TEST(ResFile, ADirectoryAtTheHeaderCeilingRefusesANewItem) {
  Container c;
  const int n = kResLargestMaxItems;
  std::vector<RawEntry> entries;
  const int32_t dataStart = 8 + 16 * n;
  for (int i = 0; i < n; i++) entries.push_back({i, MPIX, 1, dataStart + i});
  c.dir.write("t.xrs", rawContainer(int16_t(n), int16_t(n), entries, size_t(dataStart + n)));
  UloResFile r;
  c.open(r);
  EXPECT_FALSE(r.SaveData("x", 1, MPIX, n));
  EXPECT_FALSE(r.IsDataAvailable(MPIX, n));
  EXPECT_TRUE(r.SaveData("y", 1, MPIX, 7));  // existing items still change
  char v = 0;
  ASSERT_TRUE(r.LoadData(&v, 1, MPIX, 7));
  EXPECT_EQ(v, 'y');
}

TEST(ResFile, ReadOnlyContainersAreNeverWritten) {
  Container c;
  std::string before;
  {
    UloResFile r;
    r.SetWorkName(c.path.c_str());
    ASSERT_TRUE(r.Create());
    ASSERT_TRUE(r.SaveData("payload", 7, MPIX, 1));
  }
  // Trailing bytes would be cut by a read-write close; a read-only one keeps them.
  before = c.bytes() + "tail";
  c.dir.write("t.xrs", before);
  {
    UloResFile r;
    c.open(r, true);
    char buf[7];
    EXPECT_TRUE(r.LoadData(buf, 7, MPIX, 1));
    EXPECT_FALSE(r.SaveData("x", 1, MPIX, 2));
    EXPECT_FALSE(r.SaveData("pay", 3, MPIX, 1));
    EXPECT_TRUE(r.Close());
  }
  EXPECT_EQ(c.bytes(), before);
}

TEST(ResFile, ReopenKeepsItemsAndTheReservedField) {
  Container c;
  std::string raw = rawContainer(3, 1, {{9, MPIX, 3, 56}}, 59);
  raw[6] = '\x12';
  raw[7] = '\x34';
  raw[56] = 'x', raw[57] = 'y', raw[58] = 'z';
  c.dir.write("t.xrs", raw);
  UloResFile r;
  c.open(r);
  ASSERT_TRUE(r.SaveData("new", 3, LAYA, 1));  // forces the header to be written back
  ASSERT_TRUE(r.Close());
  std::string b = c.bytes();
  ASSERT_EQ(b.size(), 62u);  // data area of a 3-slot table starts at 56
  EXPECT_EQ(b.substr(0, 8), std::string("\x00\x01\x00\x03\x00\x02\x12\x34", 8));
  c.open(r, true);
  char buf[3];
  ASSERT_TRUE(r.LoadData(buf, 3, MPIX, 9));
  EXPECT_EQ(std::string(buf, 3), "xyz");
  ASSERT_TRUE(r.LoadData(buf, 3, LAYA, 1));
  EXPECT_EQ(std::string(buf, 3), "new");
}

TEST(ResFile, MalformedHeadersAreRefusedAndTheFileLeftAlone) {
  const std::string cases[] = {
      std::string("\x00\x01\x03", 3),             // shorter than a header
      rawContainer(1000, 0, {}, 16007),            // table cut short
      rawContainer(0, 0, {}, 64),                  // no slots
      rawContainer(-5, 0, {}, 64),                 // negative slot count
      rawContainer(2, 3, {}, 64),                  // more entries than slots
      rawContainer(2, -1, {}, 64),                 // negative entry count
      rawContainer(10, 1, {{1, MPIX, 4, 168}}, 30),     // slots past the file end
  };
  for (const std::string& bytes : cases) {
    for (bool readOnly : {true, false}) {
      Container c;
      c.dir.write("t.xrs", bytes);
      UloResFile r;
      r.SetWorkName(c.path.c_str());
      r.readOnly = readOnly;
      EXPECT_FALSE(r.Open()) << "size " << bytes.size();
      EXPECT_FALSE(r.isOpen);
      EXPECT_FALSE(r.CreateOrOpen());  // and is not replaced either
      EXPECT_EQ(c.bytes(), bytes);
    }
  }
}

TEST(ResFile, EntriesPointingOutsideTheDataAreaCannotBeLoaded) {
  const int32_t huge = 0x7FFFFFF0;
  Container c;
  // 4 slots: data area at 72; file is 80 bytes.
  std::string raw = rawContainer(4, 4,
                                 {{1, MPIX, 4, 76},       // good
                                  {2, MPIX, 10, 76},      // runs past the end
                                  {3, MPIX, -4, 72},      // negative length
                                  {4, MPIX, 16, huge}},   // offset + length overflows
                                 80);
  c.dir.write("t.xrs", raw);
  {
    UloResFile r;
    c.open(r);
    EXPECT_EQ(r.GetItemsCount(MPIX), 4);
    char buf[16];
    void* block = nullptr;
    EXPECT_TRUE(r.LoadData(buf, 4, MPIX, 1));
    for (int id = 2; id <= 4; id++) {
      EXPECT_TRUE(r.IsDataAvailable(MPIX, id));
      EXPECT_EQ(r.GetDataLen(MPIX, id), 0) << id;
      EXPECT_FALSE(r.GetData(&block, MPIX, id)) << id;
      EXPECT_FALSE(r.LoadData(buf, 10, MPIX, id));
    }
    EXPECT_TRUE(r.Close());
  }
  // Opened for writing and untouched: nothing grows toward a bogus offset.
  EXPECT_EQ(c.bytes(), raw);

  // Saving a broken item gives it a fresh place instead of writing at its
  // stored offset.
  UloResFile r;
  c.open(r);
  ASSERT_TRUE(r.SaveData("fixed", 5, MPIX, 4));
  ASSERT_TRUE(r.Close());
  EXPECT_EQ(c.bytes().size(), 85u);
  c.open(r, true);
  char buf[5];
  ASSERT_TRUE(r.LoadData(buf, 5, MPIX, 4));
  EXPECT_EQ(std::string(buf, 5), "fixed");
  EXPECT_EQ(r.GetItemsCount(MPIX), 4);
}

TEST(ResFile, OperationsOnAClosedOrUnnamedContainerFail) {
  UloResFile r;
  EXPECT_FALSE(r.Open());
  EXPECT_FALSE(r.Create());
  EXPECT_FALSE(r.Close());
  EXPECT_FALSE(r.SaveData("x", 1, MPIX, 1));
  char b;
  EXPECT_FALSE(r.LoadData(&b, 1, MPIX, 1));
  EXPECT_EQ(r.GetDataLen(MPIX, 1), 0);
  std::string longName(300, 'a');
  r.SetWorkName(longName.c_str());
  EXPECT_FALSE(r.workNameSet);
}

// Runs in a death-test child: the file size limit must not leak into other
// tests.
bool writeUnderASizeLimit(const std::string& path) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = {16030, 16030};
  setrlimit(RLIMIT_FSIZE, &lim);
  UloResFile r;
  r.SetWorkName(path.c_str());
  if (!r.Open()) return false;
  std::string big(100, 'b');
  if (r.SaveData(big.data(), 100, LAYA, 2)) return false;  // new item
  if (r.IsDataAvailable(LAYA, 2) || r.GetItemsCount(LAYA) != 0) return false;
  if (r.SaveData(big.data(), 100, MPIX, 1)) return false;  // grown item
  if (r.GetDataLen(MPIX, 1) != 10) return false;
  return r.SaveData("abc", 3, MPIX, 3) && r.Close();  // still usable afterwards
}

// A write that the system refuses must not leave a directory entry pointing
// at bytes that were never written. The file size limit makes the refusal
// real.
TEST(ResFile, FailedWritesLeaveTheDirectoryAsItWas) {
  Container c;
  {
    UloResFile r;
    r.SetWorkName(c.path.c_str());
    ASSERT_TRUE(r.Create());
    ASSERT_TRUE(r.SaveData("0123456789", 10, MPIX, 1));
  }
  EXPECT_EXIT(exit(writeUnderASizeLimit(c.path) ? 0 : 1), ::testing::ExitedWithCode(0), "");
  UloResFile r;
  c.open(r, true);
  char buf[10];
  ASSERT_TRUE(r.LoadData(buf, 10, MPIX, 1));
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  EXPECT_TRUE(r.IsDataLenAvailable(3, MPIX, 3));
  EXPECT_FALSE(r.IsDataAvailable(LAYA, 2));
  EXPECT_EQ(c.bytes().size(), 16021u);
}

}  // namespace

namespace {

// Inputs the container fuzzer turned up, kept as files: each must open (or be
// refused) without reading outside the file, stay unchanged read-only, and
// take a saved item that loads back after a reopen.
TEST(ResFile, StoredFuzzInputsStaySound) {
  const std::string dataDir = std::string(JL_SOURCE_DIR) + "/tests/framework/data/";
  for (const char* name : {"absurdLengthEntry.xrs"}) {
    SCOPED_TRACE(name);
    std::ifstream in(dataDir + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string original = bytes.str();
    TempFolder dir;
    ASSERT_FALSE(original.empty());
    dir.write("c.xrs", original);
    const std::string path = dir.ulo() + "c.xrs";
    UloResFile r;
    r.SetWorkName(path.c_str());
    r.readOnly = 1;
    ASSERT_TRUE(r.Open());
    // Both entries claim lengths far beyond the file.
    void* block = nullptr;
    EXPECT_FALSE(r.GetData(&block, ULO_FourCC("FUZZ"), 1));
    EXPECT_FALSE(r.GetData(&block, 1, 16008));
    r.Close();
    EXPECT_EQ(dir.read("c.xrs"), original);

    r.readOnly = 0;
    ASSERT_TRUE(r.Open());
    ASSERT_TRUE(r.SaveData("fuzzed item", 12, ULO_FourCC("FUZZ"), 1));
    ASSERT_TRUE(r.Close());
    EXPECT_LE(dir.read("c.xrs").size(), original.size());
    r.readOnly = 1;
    ASSERT_TRUE(r.Open());
    char back[12];
    ASSERT_TRUE(r.LoadData(back, 12, ULO_FourCC("FUZZ"), 1));
    EXPECT_STREQ(back, "fuzzed item");
  }
}

}  // namespace

TEST(ResFile, ACutShortContainerCountsEveryItemItLost) {
  Container c;
  // Five items of 1000 bytes laid one after another in the data area.
  {
    UloResFile r;
    r.SetWorkName(c.path.c_str());
    ASSERT_TRUE(r.Create());
    const std::string data(1000, 'd');
    for (int id = 1; id <= 5; id++) ASSERT_TRUE(r.SaveData(data.data(), 1000, LAYA, id));
    ASSERT_TRUE(r.Close());
  }
  const std::string whole = c.bytes();
  const int32_t dataStart = kResHeaderSize + kResElemSize * kResDefaultMaxItems;
  ASSERT_EQ(whole.size(), size_t(dataStart + 5000));
  {
    UloResFile r;
    c.open(r, true);
    EXPECT_EQ(r.DamagedItemsCount(), 0);
  }
  for (size_t cut : {size_t(0), size_t(5), size_t(100), size_t(dataStart - 1), size_t(dataStart),
                     size_t(dataStart + 999), size_t(dataStart + 1000), size_t(dataStart + 2500),
                     whole.size() - 1}) {
    SCOPED_TRACE(cut);
    c.dir.write("t.xrs", whole.substr(0, cut));
    UloResFile r;
    r.SetWorkName(c.path.c_str());
    r.readOnly = 1;
    if (cut < size_t(dataStart)) {
      // The directory itself is gone: the container does not open at all.
      EXPECT_FALSE(r.Open());
      continue;
    }
    ASSERT_TRUE(r.Open());
    // Item k (1-based) ends at dataStart + 1000 k.
    int32_t lost = 0;
    for (int k = 1; k <= 5; k++) lost += size_t(dataStart + 1000 * k) > cut;
    EXPECT_EQ(r.DamagedItemsCount(), lost);
    EXPECT_EQ(r.GetDataLen(LAYA, 5), 0);
    r.Close();
    EXPECT_EQ(c.bytes().size(), cut) << "a read-only open leaves the file as it was";
  }
}
