// The generated skin as the program finds it in its folder: every layout id
// the panels attach, with every item number of the panels' tables at a
// control kind that does what the panel asks of it; every picture a layout
// names; the font strip; the message tables in four languages; the load
// panels' text list and picture names; the help texts; and that the
// generator writes the same bytes every time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/intl/JLInternational.h"
#include "framework/layout/uloLayouts.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloFont.h"
#include "framework/text/uloTextFile.h"
#include "support/tempFolder.h"
#include "tools/skingen/skinCasts.h"

namespace {

const std::string kApp = JL_APP_DIR;
const int32_t kText = skin::FourCC("TEXT");

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Skin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    res = new UloResFile;
    casts = new UloCasts;
    char ulo[kUloPathMax];
    ASSERT_TRUE(ULO_SystemPathToUloPath((kApp + "/Jamloom.xrs").c_str(), ulo, sizeof ulo));
    res->SetWorkName(ulo);
    res->readOnly = 1;
    ASSERT_TRUE(res->Open()) << "build the jl_skin target first";
    casts->resFile = res;
    casts->ParseResources();
  }
  static void TearDownTestSuite() {
    delete casts;
    delete res;
  }
  static UloResFile* res;
  static UloCasts* casts;
};
UloResFile* Skin::res = nullptr;
UloCasts* Skin::casts = nullptr;

// What each panel does with an item decides which kinds fit it.
const std::set<int> kButtons = {33};
const std::set<int> kToggles = {33, 34};          // shows a 0/1 value
const std::set<int> kLamps = {31};                // value picks the picture, 1406 opacity
const std::set<int> kTexts = {38};
const std::set<int> kSliders = {30, 90, 36};      // a value within a range
const std::set<int> kPopups = {70};

struct Expect {
  int layoutBase;  // item number of the layout's index 0
  std::map<int, std::set<int>> items;
};

void range(std::map<int, std::set<int>>& m, int from, int to, const std::set<int>& kinds) {
  for (int i = from; i <= to; i++) m[i] = kinds;
}

std::map<int, Expect> expectations() {
  std::map<int, Expect> e;
  // Groove panel: layouts 1, 2 and 8.
  std::map<int, std::set<int>> g;
  g[0] = {19};
  range(g, 1, 8, {31, 33, 34});
  g[9] = kToggles;
  for (int i : {10, 11, 12, 13, 14, 18, 19, 20, 21, 22, 23, 24, 25, 57, 59, 60, 61, 63, 64, 65, 66, 67, 68, 69, 70,
                72, 73, 74, 117, 123, 127})
    g[i] = kButtons;
  for (int i : {15, 16, 17, 58, 71, 126}) g[i] = kToggles;
  range(g, 26, 33, kLamps);
  g[34] = g[35] = g[36] = kSliders;
  range(g, 37, 44, kLamps);
  for (int i : {45, 46, 47, 48, 49, 51, 52, 53}) g[i] = {230};
  g[62] = g[85] = kSliders;
  for (int i : {77, 78, 79, 80, 81, 82, 83, 84, 94, 76, 92, 90, 87, 88, 98, 91}) g[i] = kPopups;
  for (int i : {86, 89, 93, 95, 96, 97, 99, 118, 119, 120}) g[i] = kTexts;
  range(g, 101, 108, {220});
  range(g, 109, 116, {221});
  for (int i : {121, 122, 124, 125}) g[i] = kLamps;
  for (int id : {1, 2, 8}) {
    Expect x;
    x.layoutBase = id == 1 ? 0 : id == 2 ? 50 : 100;
    for (auto& [n, k] : g)
      if (n >= x.layoutBase && n < x.layoutBase + 50) x.items[n] = k;
    e[id] = x;
  }
  // Virtual mixer.
  Expect v{0, {}};
  v.items[0] = {19};
  for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 27, 28, 29, 30, 31, 34, 35, 50}) v.items[i] = kButtons;
  v.items[11] = v.items[12] = kSliders;
  for (int i : {15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 36, 42, 43, 45, 46, 48}) v.items[i] = kLamps;
  v.items[33] = v.items[49] = kToggles;
  for (int i : {38, 39, 40, 41, 44, 47}) v.items[i] = kTexts;
  v.items[37] = {231};
  e[5] = v;
  // Synth panel.
  Expect s3{0, {}};
  s3.items[0] = {19};
  range(s3.items, 1, 36, kLamps);
  for (int i : {37, 38, 39, 40, 41, 44}) s3.items[i] = kButtons;
  s3.items[42] = s3.items[43] = kSliders;
  range(s3.items, 45, 48, kPopups);
  s3.items[49] = kLamps;
  e[3] = s3;
  Expect s4{50, {}};
  range(s4.items, 51, 86, {33, 34});
  range(s4.items, 87, 92, {220, 221});
  s4.items[93] = kButtons;
  e[4] = s4;
  // Loop tuner.
  Expect t{0, {}};
  t.items[0] = {19};
  for (int i : {1, 2, 3, 4, 5, 6, 7, 18, 24}) t.items[i] = kSliders;
  for (int i : {8, 9, 20, 21, 22, 25}) t.items[i] = kTexts;
  for (int i : {10, 11, 12, 13, 14, 15, 16, 17}) t.items[i] = kButtons;
  t.items[23] = kLamps;
  e[14] = t;
  // Song load panel.
  Expect so{0, {}};
  so.items[0] = {19};
  for (int i : {2, 3, 4, 5, 6, 8, 9, 10, 11}) so.items[i] = kButtons;
  so.items[12] = {64};
  for (int i : {1, 14, 15, 16, 29, 17, 18, 30, 31, 32, 19, 20, 21, 22, 23, 24, 25, 26, 27}) so.items[i] = kTexts;
  so.items[28] = kToggles;
  e[6] = so;
  // Synth load panel.
  Expect sy{0, {}};
  sy.items[0] = {19};
  for (int i : {1, 2, 3, 4, 5, 6, 7, 8}) sy.items[i] = kButtons;
  range(sy.items, 10, 18, kTexts);
  sy.items[19] = {64};
  sy.items[20] = kToggles;
  sy.items[21] = sy.items[22] = kTexts;
  e[12] = sy;
  // Preferences.
  Expect p{0, {}};
  p.items[0] = {19};
  p.items[1] = p.items[2] = p.items[5] = kButtons;
  p.items[4] = kPopups;
  range(p.items, 6, 25, kLamps);
  range(p.items, 26, 29, kTexts);
  p.items[30] = p.items[31] = {39};
  range(p.items, 32, 39, kLamps);
  e[13] = p;
  // Information, progress, network, random mix.
  e[15] = Expect{0, {{0, {19}}, {1, kButtons}, {2, kButtons}, {3, kButtons}, {4, kButtons}, {5, {31, 33}}}};
  e[16] = Expect{0, {{0, {19}}, {1, kButtons}, {2, kTexts}, {3, {232}}}};
  Expect n{0, {{0, {19}}}};
  range(n.items, 1, 9, kLamps);
  e[9] = n;
  Expect r{0, {{0, {19}}}};
  range(r.items, 1, 6, kTexts);
  e[11] = r;
  return e;
}

TEST_F(Skin, EveryLayoutHoldsItsPanelsItemsWithFittingKinds) {
  for (const auto& [id, x] : expectations()) {
    SCOPED_TRACE("layout " + std::to_string(id));
    EXPECT_EQ(res->GetDataLen(uloLayoutType, id), kLayoutRecordSize);
    UloLayout l;
    l.Set(casts, id);
    ASSERT_GT(l.itemsCount, 0);
    // Layouts 1 and 2 share a panel with the next layout: they must stay
    // within their 50 slots.
    if (id == 1 || id == 2 || id == 3) {
      EXPECT_LE(l.itemsCount, 50);
    }
    for (const auto& [number, kinds] : x.items) {
      const int16_t idx = static_cast<int16_t>(number - x.layoutBase);
      ASSERT_LT(idx, l.itemsCount) << "item " << number;
      const int16_t kind = l.itemAuxVal(idx, 0);
      EXPECT_TRUE(kinds.count(kind)) << "item " << number << " has kind " << kind;
      EXPECT_NE(l.data.items[idx].state, 0) << "item " << number << " is hidden";
    }
  }
}

TEST_F(Skin, ControlsCarryTheirSettings) {
  UloLayout g1, t;
  g1.Set(casts, 1);
  t.Set(casts, 14);
  // Volume 0..127, pan -63..63, tempo -50..50; the tuner's ranges.
  EXPECT_EQ(g1.itemAuxVal(34, 1), 0);
  EXPECT_EQ(g1.itemAuxVal(34, 2), 127);
  EXPECT_EQ(g1.itemAuxVal(36, 1), -63);
  EXPECT_EQ(g1.itemAuxVal(36, 2), 63);
  EXPECT_EQ(g1.itemAuxVal(35, 1), -50);
  EXPECT_EQ(g1.itemAuxVal(35, 2), 50);
  for (int i : {1, 2, 3, 4, 5, 6, 7, 24}) {
    EXPECT_EQ(t.itemAuxVal(i, 1), -50) << i;
    EXPECT_EQ(t.itemAuxVal(i, 2), 50) << i;
  }
  EXPECT_EQ(t.itemAuxVal(18, 2), 100);
  // Background: ten colour schemes, all present; help numbers where given.
  std::set<int32_t> variants;
  for (int k = 0; k < 10; k++) {
    EXPECT_GE(casts->MPixIDtoIndex(g1.data.items[0].castIds[k]), 0);
    variants.insert(g1.data.items[0].castIds[k]);
  }
  EXPECT_EQ(variants.size(), 10u);
  EXPECT_GT(g1.itemAuxVal(25, 7), 0);  // Play has rollover help
  // The two option radios form one group with values 0 and 1.
  UloLayout p;
  p.Set(casts, 13);
  EXPECT_EQ(p.itemAuxVal(30, 2), p.itemAuxVal(31, 2));
  EXPECT_EQ(p.itemAuxVal(30, 1), 0);
  EXPECT_EQ(p.itemAuxVal(31, 1), 1);
}

TEST_F(Skin, EveryPictureALayoutNamesExistsWithAMaskWhereItIsShaped) {
  for (const auto& [id, x] : expectations()) {
    UloLayout l;
    l.Set(casts, id);
    for (int16_t i = 0; i < l.itemsCount; i++) {
      const layoutItemDataRec& r = l.data.items[i];
      for (int k = 0; k < kLayoutPictures; k++) {
        if (r.castIds[k] == -1) continue;
        UloOneCast* c = casts->CastOfID(r.castIds[k]);
        ASSERT_NE(c, nullptr) << "layout " << id << " item " << i << " picture " << k;
        EXPECT_TRUE(c->available[1]) << r.castIds[k];
      }
      const int kind = r.auxValues[0];
      // Round or shaped controls need a mask on their resting picture.
      if ((kind == 220 || kind == 221 || kind == 34 || kind == 70 || kind == 39 || kind == 33) && r.castIds[1] != -1) {
        UloOneCast* c = casts->CastOfID(kind == 220 || kind == 221 || kind == 70 ? r.castIds[0] : r.castIds[1]);
        EXPECT_TRUE(c->available[3]) << "layout " << id << " item " << i << " needs a mask";
      }
      // The resting picture fills the item's frame.
      if (r.castIds[0] != -1 && kind != 30 && kind != 36 && kind != 19) {
        UloOneCast* c = casts->CastOfID(r.castIds[0]);
        EXPECT_EQ(c->size.x, r.size.x) << "layout " << id << " item " << i;
        EXPECT_EQ(c->size.y, r.size.y) << "layout " << id << " item " << i;
      }
    }
  }
  for (int32_t fixed : {199, 500, 742}) EXPECT_GE(casts->MPixIDtoIndex(fixed), 0) << fixed;
}

TEST_F(Skin, FontStripHasAllGlyphsOnItsMarkerRow) {
  UloOneCast* c = casts->CastOfID(500);
  ASSERT_NE(c, nullptr);
  c->LoadAvailable();
  ASSERT_TRUE(c->imageLoaded && c->maskLoaded);
  uloFont font;
  font.setup(casts, 500);
  ASSERT_TRUE(font.parsed);
  EXPECT_EQ(font.glyphHeight, c->size.y - 5);
  // Every code has its own run, in order, inside the picture.
  for (int k = 0; k < 256; k++) {
    EXPECT_GT(font.glyphs[k].width(), 0) << k;
    if (k) {
      EXPECT_GT(font.glyphs[k].left, font.glyphs[k - 1].right) << k;
    }
  }
  EXPECT_LE(font.glyphs[255].right, c->size.x);
  // Printable glyphs have ink; the ellipsis is one of them and wider than a dot.
  auto ink = [&](int code) {
    int n = 0;
    for (int y = 0; y < font.glyphHeight; y++)
      for (int x = font.glyphs[code].left; x < font.glyphs[code].right; x++) n += c->mask.getPixel(x, y) != 255;
    return n;
  };
  EXPECT_GT(ink('A'), 10);
  EXPECT_GT(ink(201), ink('.'));
  EXPECT_GT(font.glyphWidth(201), font.glyphWidth('.'));
  EXPECT_EQ(ink(' '), 0);
  // The marker row itself never shows.
  for (int x = 0; x < c->size.x; x++) ASSERT_EQ(static_cast<uint8_t>(c->mask.getPixel(x, c->size.y - 3)), 255);
}

TEST_F(Skin, EveryNumberedMessageExistsInFourLanguages) {
  struct Lang {
    int16_t primary, table;
  };
  for (Lang lang : {Lang{9, 0}, Lang{7, 1}, Lang{12, 2}, Lang{16, 3}, Lang{10, 0}}) {
    JLInternational intl;
    intl.startWithLanguage(res, lang.primary);
    EXPECT_EQ(intl.languageIndex, lang.table) << lang.primary;
    for (int n : {1, 2, 3, 4, 16, 17, 18, 19, 20, 26, 27, 28, 29, 30, 39, 40, 42, 43, 44, 45, 46, 52, 53, 57, 83, 84,
                  85}) {
      const uloText m = intl.message(static_cast<int16_t>(n));
      EXPECT_GT(m.len(), 1) << "language " << lang.primary << " message " << n;
    }
    // Message 50 (options of the program's own export format) is shown
    // nowhere, OPTIONS being disabled: no language carries it.
    EXPECT_STREQ(intl.message(50).c_str(), "-") << lang.primary;
    const std::string m17 = intl.message(17).c_str();
    EXPECT_NE(m17.find("%s"), std::string::npos);
    EXPECT_EQ(m17.find("%s"), m17.rfind("%"));
    EXPECT_EQ(std::string(intl.message(26).c_str()).rfind("https://", 0), 0u);
  }
  // The tables differ by language.
  JLInternational en, de;
  en.startWithLanguage(res, 9);
  de.startWithLanguage(res, 7);
  EXPECT_STRNE(en.message(52).c_str(), de.message(52).c_str());
}

TEST_F(Skin, TextListAndPictureNamesResolve) {
  uloTextFile list;
  ASSERT_TRUE(list.loadResource(res, kText, 2));
  for (int n : {21, 22, 24, 25, 36}) {
    const uloText line = list.item(static_cast<int16_t>(n), 13);
    EXPECT_GT(line.len(), 1) << n;
    EXPECT_EQ(std::string(line.c_str()).find(','), std::string::npos) << n;
  }
  EXPECT_NE(std::string(list.item(21, 13).c_str()).find("%s"), std::string::npos);
  // Every collection line names a cast that exists.
  for (int16_t n = 0; n < 20; n++) {
    const uloText line = list.item(n, 13);
    if (line.itemsCount(',') < 2) continue;
    const int32_t id = skin::CastIdForName(res, line.item(1, ',').c_str());
    EXPECT_GE(casts->MPixIDtoIndex(id), 0) << line.c_str();
  }
  EXPECT_GE(casts->MPixIDtoIndex(skin::CastIdForName(res, "Lim_unknown")), 0);
  EXPECT_EQ(skin::CastIdForName(res, "lim_UNKNOWN"), skin::CastIdForName(res, "Lim_unknown"));
  EXPECT_EQ(skin::CastIdForName(res, "Lim_unknow"), -1);
  UloOneCast* unknown = casts->CastOfID(skin::CastIdForName(res, "Lim_unknown"));
  EXPECT_EQ(unknown->size.x, 84);
  EXPECT_EQ(unknown->size.y, 84);
}

TEST_F(Skin, HelpTextsPointAtRealControlsAndBalloons) {
  const std::string text = readFile(kApp + "/Helps.txt");
  ASSERT_FALSE(text.empty());
  UloResFile helps;
  char ulo[kUloPathMax];
  ASSERT_TRUE(ULO_SystemPathToUloPath((kApp + "/JLHelps.xrs").c_str(), ulo, sizeof ulo));
  helps.SetWorkName(ulo);
  helps.readOnly = 1;
  ASSERT_TRUE(helps.Open());
  static const std::map<int, std::vector<int>> panelLayouts = {
      {0, {1, 2, 8}}, {1, {5}}, {2, {3, 4}}, {3, {9}},   {4, {14}}, {5, {11}},
      {6, {6}},       {7, {12}}, {8, {13}}, {9, {15}}, {10, {16}}};
  std::stringstream lines(text);
  std::string line;
  int index = 0, rollover = 0;
  while (std::getline(lines, line, '\r')) {
    ASSERT_FALSE(line.empty());
    uloText t;
    t.set(line.c_str());
    ASSERT_GE(t.itemsCount(']'), 11) << line;
    const int entry = t.item(2, ']').toShort(), slot = t.item(3, ']').toShort();
    EXPECT_GE(casts->MPixIDtoIndex(t.item(1, ']').toLong()), 0) << line;
    ASSERT_TRUE(panelLayouts.count(entry)) << line;
    // A panel with one layout may hold more than 50 items in it.
    const std::vector<int>& ids = panelLayouts.at(entry);
    const size_t k = ids.size() == 1 ? 0 : static_cast<size_t>(slot / 50);
    ASSERT_LT(k, ids.size()) << line;
    const int16_t idx = static_cast<int16_t>(slot - 50 * static_cast<int>(k));
    UloLayout l;
    l.Set(casts, ids[k]);
    ASSERT_LT(idx, l.itemsCount) << line;
    EXPECT_NE(l.data.items[idx].state, 0) << line;
    rollover += t.item(8, ']').toShort();
    EXPECT_TRUE(helps.IsDataAvailable(uloCastHeaderType, 1000 + index)) << index;
    index++;
  }
  EXPECT_GT(rollover, 60);
  EXPECT_LE(index, 500);
}

TEST(SkinGenerator, WritesTheSameFilesEveryTime) {
  TempFolder out;
  // Under the leak checker the generator's font libraries would fail the run
  // over caches they keep to the end; leaks in the generator are not the test.
  const std::string cmd = std::string("ASAN_OPTIONS=detect_leaks=0 \"") + JL_MAKE_SKIN + "\" --source \"" +
                          JL_SKIN_SOURCE + "\" --out \"" + out.sys() + "\" > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* name : {"Jamloom.xrs", "JLHelps.xrs", "QXhelp.xrs", "Helps.txt"}) {
    const std::string fresh = readFile(out.file(name));
    EXPECT_FALSE(fresh.empty()) << name;
    EXPECT_TRUE(fresh == readFile(kApp + "/" + name)) << name << " differs between two runs";
  }
}

}  // namespace
