// jl-make-skin: paints the skin and writes the program folder's skin files
// from the declarations in skin/.
//
//   jl-make-skin --source SKIN_DIR --out APP_DIR
//
// Writes APP_DIR/Jamloom.xrs (casts, layouts, font, message tables, text
// list, cast names, help texts as a fallback), JLHelps.xrs (pre-drawn help
// texts), QXhelp.xrs (help pictures) and Helps.txt (rollover help and the
// guided tour). Output depends on nothing but the sources and the fonts, so
// two runs give identical files.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/res/uloRes.h"
#include "tools/skingen/skinCasts.h"
#include "tools/skingen/skinDecl.h"
#include "tools/skingen/skinGen.h"

using namespace skin;

namespace {

const int32_t kTextType = FourCC("TEXT");
const int32_t kDataType = FourCC("DATA");
const char* const kLanguages[4] = {"en", "de", "fr", "it"};

// Picture ids of one item, index 0-9; -1 where the item has no picture.
struct ItemCasts {
  int32_t ids[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

class Generator {
 public:
  CastStore casts;
  std::map<int, ItemCasts> backgrounds;  // by panel entry

  std::map<int, int> castsByLook;  // new casts per look, for the size report

  ItemCasts picturesOf(const Layout& l, const Item& it) {
    const size_t before = casts.count();
    ItemCasts c = paintItem(l, it);
    castsByLook[static_cast<int>(it.look)] += static_cast<int>(casts.count() - before);
    return c;
  }

  ItemCasts paintItem(const Layout& l, const Item& it) {
    ItemCasts c;
    auto set = [&](std::initializer_list<int32_t> ids) {
      int k = 0;
      for (int32_t id : ids) c.ids[k++] = id;
    };
    switch (it.look) {
      case Look::Background:
        return backgrounds[l.panelEntry];
      case Look::InfoPage:
        for (int k = 0; k < 10; k++) c.ids[k] = kInfoPageCast;
        return c;
      case Look::Button: {
        const int32_t n = casts.add(PaintButton(it.w, it.h, it.label, 0));
        set({n, n, casts.add(PaintButton(it.w, it.h, it.label, 1))});
        return c;
      }
      case Look::Toggle: {
        const int32_t off = casts.add(PaintToggle(it.w, it.h, it.label, it.accent, false));
        set({off, off, casts.add(PaintToggle(it.w, it.h, it.label, it.accent, true))});
        return c;
      }
      case Look::TrackButton: {
        const int32_t n = casts.add(PaintTrackButton(it.w, it.h, it.label, false));
        set({n, n, casts.add(PaintTrackButton(it.w, it.h, it.label, true))});
        return c;
      }
      case Look::TrackLed:
        for (int v = 0; v <= 4; v++) c.ids[v] = casts.add(PaintTrackLed(it.w, v));
        return c;
      case Look::Lamp:
        // A third picture (red) only for lamps that show a second state.
        set({casts.add(PaintLamp(it.w, it.accent, 0)), casts.add(PaintLamp(it.w, it.accent, 1))});
        if (it.states.size() > 2) c.ids[2] = casts.add(PaintLamp(it.w, it.accent, 2));
        return c;
      case Look::Swatch:
        set({casts.add(PaintSwatch(it.w, it.accent, false)), casts.add(PaintSwatch(it.w, it.accent, true))});
        return c;
      case Look::SliderH:
        set({casts.add(PaintThumb(10, it.h, false))});
        return c;
      case Look::SliderV:
        set({casts.add(PaintThumb(it.w, 10, true))});
        return c;
      case Look::Knob:
        set({casts.add(PaintKnobStrip(it.w, it.aux[kAuxMin]))});
        return c;
      case Look::Popup:
        for (int r = 0; r <= 7; r++) c.ids[r] = casts.add(PaintPopupPiece(it.w, it.h, r));
        c.ids[8] = c.ids[0];  // pressed: the closed picture
        return c;
      case Look::Ball:
        set({casts.add(PaintBall(it.w, false, it.accent == 1)), casts.add(PaintBall(it.w, true, false))});
        return c;
      case Look::LevelBar:
        set({casts.add(PaintLevelBar(it.w, it.h))});
        return c;
      case Look::Display:
        set({casts.add(PaintDisplay(it.w, it.h))});
        return c;
      case Look::ListRow:
        set({casts.add(PaintListRow(it.w, it.h, false)), casts.add(PaintListRow(it.w, it.h, true))});
        return c;
      case Look::Progress:
        set({casts.add(PaintProgress(it.w, it.h))});
        return c;
      case Look::Key: {
        const int shape = static_cast<int>(it.accent);
        const int32_t n = casts.add(PaintKey(it.w, it.h, shape, false));
        set({n, n, casts.add(PaintKey(it.w, it.h, shape, true))});
        return c;
      }
      case Look::ModeSwitch:
        for (size_t v = 0; v < it.states.size() && v < 10; v++)
          c.ids[v] = casts.add(PaintModeSwitch(it.w, it.h, it.states[v], static_cast<int>(v)));
        return c;
      case Look::Rotor:
        set({casts.add(PaintRotor(it.w, it.h, false)), casts.add(PaintRotor(it.w, it.h, true))});
        return c;
      case Look::Radio: {
        const int32_t off = casts.add(PaintRadio(it.w, it.h, it.label, false));
        const int32_t on = casts.add(PaintRadio(it.w, it.h, it.label, true));
        set({off, off, on, off, on});
        return c;
      }
      case Look::Picture84:
      case Look::None:
        return c;
    }
    return c;
  }

  bool layoutRecord(const Layout& l, std::vector<uint8_t>* bytes) {
    layoutDataRec rec;
    rec.design.set(0, 0, static_cast<int16_t>(l.w), static_cast<int16_t>(l.h));
    rec.count = static_cast<int16_t>(l.itemCount());
    if (rec.count > kLayoutMaxItems) return false;
    for (const Item& it : l.items) {
      const int idx = it.number - l.firstSlot;
      if (idx < 0 || idx >= kLayoutMaxItems) return false;
      layoutItemDataRec& r = rec.items[idx];
      r.state = it.state;
      r.offset.x = static_cast<int16_t>(it.x);
      r.offset.y = static_cast<int16_t>(it.y);
      const ItemCasts c = picturesOf(l, it);
      for (int k = 0; k < kLayoutPictures; k++) r.castIds[k] = c.ids[k];
      r.baseCastId = c.ids[0];
      r.selfAnchor = 0;
      r.anchor = 0;
      for (int k = 0; k < kLayoutAuxValues; k++) r.auxValues[k] = it.aux[k];
      r.size.x = static_cast<int16_t>(it.w);
      r.size.y = static_cast<int16_t>(it.h);
    }
    bytes->assign(kLayoutRecordSize, 0);
    ULO_LayoutToBytes(rec, bytes->data());
    return true;
  }
};

bool openForWrite(UloResFile& res, const std::string& path) {
  std::remove(path.c_str());
  char ulo[kUloPathMax];
  if (!ULO_SystemPathToUloPath(path.c_str(), ulo, sizeof ulo)) return false;
  res.SetWorkName(ulo);
  return res.Create();
}

bool saveText(UloResFile& res, int32_t type, int32_t id, const std::string& text) {
  return res.SaveData(text.data(), static_cast<int32_t>(text.size()), type, id);
}

// Balloon placement for a control: below it when it lies in the upper half
// of the screen, above it otherwise (unless the side is given); pointing
// from the left or right corner so that the balloon stays on the screen.
// Beside a control it hangs level with the control's middle, its tail
// touching the control's edge.
struct Placement {
  int corner, bx, by, tx, ty;
};
Placement placeBalloon(const Layout& l, const Item& it, TourStep::Side side = TourStep::Side::automatic) {
  if (side == TourStep::Side::right || side == TourStep::Side::left) {
    const bool right = side == TourStep::Side::right;
    const int corner = right ? 4 : 5;
    Placement p;
    p.corner = corner;
    p.bx = right ? it.w / 2 : -(it.w / 2) - BalloonWidth(corner);
    p.by = -BalloonHeight(corner) / 2;
    p.tx = right ? kBalloonTail + 10 : 10;
    p.ty = 6;
    return p;
  }
  const int cx = l.screenX + it.x + it.w / 2, cy = l.screenY + it.y + it.h / 2;
  const bool below = side == TourStep::Side::automatic ? cy < 260 : side == TourStep::Side::below;
  const bool fromLeft = cx + kBalloonW - 8 < 640;
  Placement p;
  p.corner = (below ? 0 : 2) + (fromLeft ? 0 : 1);
  p.bx = fromLeft ? -4 : -(kBalloonW - 4);
  p.by = below ? it.h / 2 : -(it.h / 2) - kBalloonH;
  p.tx = 10;
  p.ty = below ? kBalloonTail + 6 : 6;
  return p;
}

// Help text for the font fallback: the title, then the text cut into lines
// of at most 34 characters.
std::vector<std::string> wrap(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find(' ', i);
    if (j == std::string::npos) j = text.size();
    const std::string word = text.substr(i, j - i);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = line.empty() ? word : line + " " + word;
    }
    i = j + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

struct HelpElement {
  int entry, slot;
  Placement place;
  bool rollover;
  std::string title, text;
};

std::vector<HelpElement> helpElements() {
  std::vector<HelpElement> out;
  for (const TourStep& s : TourSteps()) {
    const Layout* owner = nullptr;
    const Item* item = nullptr;
    for (const Layout& l : AllLayouts())
      if (l.panelEntry == s.panelEntry && l.find(s.item)) {
        owner = &l;
        item = l.find(s.item);
      }
    if (!item) continue;
    out.push_back({s.panelEntry, s.item, placeBalloon(*owner, *item, s.side), false, s.title, s.text});
  }
  for (const Layout& l : AllLayouts()) {
    const Layout* main = nullptr;
    for (const Layout& m : AllLayouts())
      if (m.panelEntry == l.panelEntry && m.firstSlot == 0) main = &m;
    for (const Item& it : l.items)
      if (!it.helpTitle.empty()) {
        Layout placed = *main;
        out.push_back({l.panelEntry, it.number, placeBalloon(placed, it), true, it.helpTitle, it.helpText});
      }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source, out;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--source")) source = argv[i + 1];
    if (!strcmp(argv[i], "--out")) out = argv[i + 1];
  }
  if (source.empty() || out.empty()) {
    fprintf(stderr, "usage: %s --source SKIN_DIR --out APP_DIR\n", argv[0]);
    return 2;
  }
  Generator gen;

  // Fixed and named pictures.
  gen.casts.addFixed(kFontCast, BuildFontStrip());
  gen.casts.addFixed(kStartupCast, PaintStartup());
  gen.casts.addFixed(kInfoPageCast, PaintInfoPage());
  for (int corner = 0; corner < kBalloonShapes; corner++)
    gen.casts.addFixed(kFirstBalloonCast + corner, PaintBalloon(BalloonWidth(corner), BalloonHeight(corner), corner));
  struct Named {
    const char* name;
    const char* title;
    uint32_t colour;
  };
  static const Named named[] = {{"Lim_unknown", "SONG", 0x5A6878},
                                {"Lim_Jamloom", "JAMLOOM", 0x4AA8FF},
                                {"Lim_Synths", "SYNTHS", 0xA88CFF}};
  int32_t namedId = kFirstNamedCast;
  for (const Named& n : named) {
    gen.casts.addFixed(namedId, PaintPictureFrame(84, n.title, n.colour));
    gen.casts.setName(namedId, n.name);
    namedId++;
  }

  // Panel backgrounds: ten colour schemes for the panels the schemes
  // recolour, one picture repeated for the others.
  for (const PanelDecl& p : AllPanels()) {
    const Layout* main = FindLayout(p.layouts[0]);
    if (!main || main->items.empty() || main->items.front().look != Look::Background) continue;
    ItemCasts c;
    for (int v = 0; v < 10; v++)
      c.ids[v] = (main->recoloured || v == 0) ? gen.casts.add(PaintBackground(p, v)) : c.ids[0];
    gen.backgrounds[p.entry] = c;
  }

  UloResFile res;
  const std::string skinPath = out + "/Jamloom.xrs";
  if (!openForWrite(res, skinPath)) {
    fprintf(stderr, "cannot create %s\n", skinPath.c_str());
    return 1;
  }
  std::vector<std::pair<int, std::vector<uint8_t>>> layouts;
  for (const Layout& l : AllLayouts()) {
    std::vector<uint8_t> bytes;
    if (!gen.layoutRecord(l, &bytes)) {
      fprintf(stderr, "layout %d: item numbers out of range\n", l.id);
      return 1;
    }
    layouts.emplace_back(l.id, std::move(bytes));
  }

  // Texts.
  std::string error;
  TextTable languages, textList;
  if (!ReadTextTable(source + "/text/languages.txt", &languages, &error) ||
      !ReadTextTable(source + "/text/textlist.txt", &textList, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  TextTable tables[4];
  for (int k = 0; k < 4; k++)
    if (!ReadTextTable(source + "/text/messages-" + kLanguages[k] + ".txt", &tables[k], &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }

  // Help texts: Helps.txt, its copy in the skin, and the pre-drawn texts.
  const std::vector<HelpElement> helps = helpElements();
  std::string helpFile;
  CastStore helpTexts(kFirstHelpTextCast);
  for (size_t i = 0; i < helps.size(); i++) {
    const HelpElement& h = helps[i];
    // The pre-drawn text shows two lines under the title; more would be cut.
    if (WrapHelpText(kHelpTextW, h.text).size() > size_t(kHelpTextLines)) {
      fprintf(stderr, "help text of panel %d item %d does not fit its balloon: %s\n", h.entry, h.slot, h.text.c_str());
      return 1;
    }
    char head[128];
    snprintf(head, sizeof head, "%d]%d]%d]%d]%d]%d]%d]%d]%d]0", h.place.corner, kFirstBalloonCast + h.place.corner,
             h.entry, h.slot, h.place.bx, h.place.by, h.place.tx, h.place.ty, h.rollover ? 1 : 0);
    std::string line = head;
    line += "]" + h.title;
    for (const std::string& l : wrap(h.text, 34)) line += "]" + l;
    if (i) helpFile += '\r';
    helpFile += line;
    helpTexts.addFixed(kFirstHelpTextCast + static_cast<int32_t>(i),
                       PaintHelpText(kHelpTextW, kHelpTextH, h.title, h.text));
  }

  bool ok = gen.casts.write(res);
  for (const auto& [id, bytes] : layouts)
    ok = ok && res.SaveData(bytes.data(), static_cast<int32_t>(bytes.size()), uloLayoutType, id);
  ok = ok && saveText(res, kTextType, 1, languages.joined());
  ok = ok && saveText(res, kTextType, 2, textList.joined());
  for (int k = 0; k < 4; k++) {
    ok = ok && saveText(res, kTextType, 100 + k, tables[k].joined());
    ok = ok && saveText(res, kDataType, 100 + k, helpFile);
  }
  const int items = gen.casts.itemCount() + static_cast<int>(layouts.size()) + 2 + 8;
  if (!ok || !res.Close()) {
    fprintf(stderr, "cannot write %s (%d items, at most %d)\n", skinPath.c_str(), items, kResLargestMaxItems);
    for (const auto& [look, n] : gen.castsByLook) fprintf(stderr, "  look %d: %d casts\n", look, n);
    return 1;
  }

  UloResFile helpRes;
  if (!openForWrite(helpRes, out + "/JLHelps.xrs") || !helpTexts.write(helpRes) || !helpRes.Close()) {
    fprintf(stderr, "cannot write JLHelps.xrs\n");
    return 1;
  }
  // Help pictures for the help-image control: the balloons' reference card.
  UloResFile pictureRes;
  CastStore helpPictures(1);
  helpPictures.addFixed(1, PaintStartup());
  if (!openForWrite(pictureRes, out + "/QXhelp.xrs") || !helpPictures.write(pictureRes) || !pictureRes.Close()) {
    fprintf(stderr, "cannot write QXhelp.xrs\n");
    return 1;
  }
  FILE* f = fopen((out + "/Helps.txt").c_str(), "wb");
  if (!f || fwrite(helpFile.data(), 1, helpFile.size(), f) != helpFile.size() || fclose(f) != 0) {
    fprintf(stderr, "cannot write Helps.txt\n");
    return 1;
  }
  printf("skin: %zu casts, %zu layouts, %d container items, %zu help elements\n", gen.casts.count(), layouts.size(),
         items, helps.size());
  return 0;
}
