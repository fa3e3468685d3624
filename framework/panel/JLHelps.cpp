#include "framework/panel/JLHelps.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "framework/intl/JLInternational.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloTextFile.h"

JLHelps* jlHelpp = nullptr;
void (*jlHelpsModeDisplay)(int16_t mode) = nullptr;

namespace {

constexpr int kFields = 22;
constexpr int32_t kStepDelayTicks = 60;
constexpr int32_t kRolloverTicks = 20;
constexpr int16_t kLineHeight = 12;
constexpr int32_t kPredrawnBase = 1000;

struct Field {
  const char* at;
  int32_t length;
};

int16_t toNumber(const Field& f) {
  char buf[16];
  const int32_t n = std::min<int32_t>(f.length, sizeof buf - 1);
  memcpy(buf, f.at, size_t(std::max<int32_t>(n, 0)));
  buf[std::max<int32_t>(n, 0)] = 0;
  const long v = strtol(buf, nullptr, 10);
  return int16_t(std::clamp<long>(v, INT16_MIN, INT16_MAX));
}

void tellMode(int16_t mode) {
  if (jlHelpsModeDisplay) jlHelpsModeDisplay(mode);
}

}  // namespace

JLHelps::JLHelps() { init(); }
JLHelps::JLHelps(bool) {}

JLHelps::~JLHelps() {
  clearElements();
  helpCasts.UnloadResources();
  if (helpFileOpen) helpFile.Close();
}

void JLHelps::clearElements() {
  for (jlHelpsTextRec& e : elements) {
    for (char*& line : e.lines) {
      delete[] line;
      line = nullptr;
    }
    e = jlHelpsTextRec();
  }
  count = 0;
}

void JLHelps::init() { init(&QXCasts, ":Helps.txt", ":JLHelps.xrs"); }

void JLHelps::init(UloCasts* casts, const char* textPath, const char* containerPath) {
  mainCasts = casts;
  shownText = nullptr;  // a new parse replaces the casts
  helpFile.SetWorkName(containerPath);
  helpFile.readOnly = 1;
  helpFileOpen = helpFile.Open();
  if (helpFileOpen) {
    helpCasts.resFile = &helpFile;
    helpCasts.ParseResources();
    if (helpCasts.count > 0) {
      const uloPoint size = helpCasts.casts[0]->size;
      if (white.allocate(uloOffmapDefaultDepth, std::max<int>(size.x, 1), std::max<int>(size.y, 1)))
        white.fill(white.bounds, 0x7FFF);
    }
  }
  if (casts) setup(casts, 500);
  uloTextFile text;
  bool loaded = textPath && text.load(textPath);
  if (!loaded && casts && casts->resFile)
    loaded = text.loadResource(casts->resFile, ULO_FourCC("DATA"), jlIntl.languageIndex + 100);
  if (loaded) loadTexts(text.c_str(), text.len());
  current = 0;
  active = 0;
  timer = 0;
}

void JLHelps::loadTexts(const char* text, int32_t length) {
  clearElements();
  if (!text) return;
  int32_t pos = 0;
  for (int16_t i = 0; pos < length && i < kHelpElements; i++) {
    int32_t end = pos;
    while (end < length && text[end] != '\r' && text[end] != '\n' && text[end] != 0) end++;
    if (end == pos) break;
    loadTextEl(i, text + pos, end - pos);
    if (end >= length || text[end] == 0) break;
    pos = end + ((text[end] == '\r' && end + 1 < length && text[end + 1] == '\n') ? 2 : 1);
  }
}

void JLHelps::loadMap(int16_t slot, int32_t castId) {
  if (slot < 0 || slot >= kHelpSlots) return;
  jlHelpsMapRec& m = maps[slot];
  m = jlHelpsMapRec();
  UloOneCast* c = mainCasts ? mainCasts->CastOfID(castId) : nullptr;
  if (!c) return;
  c->LoadAvailable();
  if (!c->imageLoaded) return;
  m.image = &c->image;
  m.mask = c->maskLoaded ? &c->mask : nullptr;
  m.bounds = uloRect(0, 0, c->image.width(), c->image.height());
}

void JLHelps::loadTextEl(int16_t index, const char* line, int32_t length) {
  if (index < 0 || index >= kHelpElements || !line) return;
  Field fields[kFields] = {};
  int nf = 0;
  int32_t start = 0;
  for (int32_t i = 0; i <= length && nf < kFields; i++) {
    if (i == length || line[i] == ']') {
      fields[nf++] = Field{line + start, i - start};
      start = i + 1;
    }
  }
  for (int k = nf; k < kFields; k++) fields[k] = Field{line, 0};

  jlHelpsTextRec& e = elements[index];
  for (char*& l : e.lines) {
    delete[] l;
    l = nullptr;
  }
  e.slot = toNumber(fields[0]);
  e.castId = toNumber(fields[1]);
  e.panel = toNumber(fields[2]);
  e.control = toNumber(fields[3]);
  e.balloonX = toNumber(fields[4]);
  e.balloonY = toNumber(fields[5]);
  e.textX = toNumber(fields[6]);
  e.textY = toNumber(fields[7]);
  e.rollover = toNumber(fields[8]) == 1;
  for (int k = 0; k < kHelpLines; k++) {
    const Field& f = fields[10 + k];
    if (f.length <= 0) continue;
    e.lines[k] = new char[size_t(f.length) + 1];
    memcpy(e.lines[k], f.at, size_t(f.length));
    e.lines[k][f.length] = 0;
  }
  loadMap(e.slot, e.castId);
  count = std::max<int16_t>(count, int16_t(index + 1));
}

const uloRect* JLHelps::controlRect(int16_t element) const {
  if (element < 0 || element >= count) return nullptr;
  const jlHelpsTextRec& e = elements[element];
  QXPanelClass* p = QXScreen.panelAt(e.panel);
  if (!p) return nullptr;
  const uloPanelControl* c = p->control(e.control);
  return c ? &c->rect : nullptr;
}

bool JLHelps::balloonRect(int16_t element, uloRect* out) const {
  const uloRect* ctrl = controlRect(element);
  if (!ctrl) return false;
  const jlHelpsTextRec& e = elements[element];
  uloRect r;
  if (e.slot >= 0 && e.slot < kHelpSlots && maps[e.slot].image) {
    r = maps[e.slot].bounds;
  } else {
    // No balloon picture: the area the text lines take.
    int32_t w = 0, lines = 0;
    for (int k = 0; k < kHelpLines; k++)
      if (e.lines[k]) w = std::max(w, stringWidth(e.lines[k])), lines = k + 1;
    if (lines == 0) return false;
    r.set(0, 0, std::min<int32_t>(e.textX + w, 2000), e.textY + kLineHeight * lines + glyphHeight);
  }
  r.offset(ctrl->center());
  r.offset(e.balloonX, e.balloonY);
  *out = r;
  return true;
}

int16_t JLHelps::closingElement() const {
  for (int16_t i = 0; i < count; i++)
    if (elements[i].rollover && elements[i].panel == closingPanel && elements[i].control == closingControl) return i;
  return -1;
}

bool JLHelps::closingRect(uloRect* out) const { return closing && balloonRect(closingElement(), out); }

void JLHelps::setClosing(int16_t panelEntry, int16_t slot) {
  closingPanel = panelEntry;
  closingControl = slot;
}

void JLHelps::showClosing() {
  const int16_t e = closingElement();
  const uloText t = jlIntl.message(kJLMsgTourOver), h = jlIntl.message(kJLMsgTourHint);
  const std::string title = t.c_str() ? t.c_str() : "", hint = h.c_str() ? h.c_str() : "";
  if (e < 0 || title.empty()) return;
  for (std::string& l : closingLines) l.clear();
  closingLines[0] = title;
  // The hint cut at spaces into lines as wide as the balloon's text area
  // (the balloon less its text offset on both sides).
  const jlHelpsMapRec& m = maps[elements[e].slot >= 0 && elements[e].slot < kHelpSlots ? elements[e].slot : 0];
  const int32_t width = m.image ? m.bounds.width() - 2 * elements[e].textX : 196;
  int line = 1;
  size_t i = 0;
  while (i < hint.size() && line < kHelpLines) {
    size_t j = hint.find(' ', i);
    if (j == std::string::npos) j = hint.size();
    const std::string word = hint.substr(i, j - i);
    std::string& l = closingLines[line];
    const std::string trial = l.empty() ? word : l + " " + word;
    if (!l.empty() && stringWidth(trial.c_str()) > width) {
      if (++line >= kHelpLines) break;
      closingLines[line] = word;
    } else {
      l = trial;
    }
    i = j + 1;
  }
  closing = 1;
  updateHelpArea();
}

void JLHelps::dismissClosing() {
  if (!closing) return;
  closing = 0;
  updateHelpArea();
}

void JLHelps::updateHelpArea() {
  uloRect now;
  const bool shows = (active && balloonRect(current, &now)) || closingRect(&now);
  if (!lastBalloon.isEmpty()) QXScreen.update(lastBalloon);
  if (shows) QXScreen.update(now);
  lastBalloon = shows ? now : uloRect();
}

void JLHelps::start(bool rollover) {
  closing = 0;
  current = 0;
  active = 1;
  timer = 0;
  rolloverMode = rollover;
  tellMode(rollover ? kHelpModeRollover : kHelpModeTour);
  if (rollover) {
    current = -1;
    timer = uloGlo.when + kStepDelayTicks;
  } else if (count > 0) {
    QXScreen.show(elements[0].panel);
  }
  updateHelpArea();
}

void JLHelps::stop() {
  current = 0;
  active = 0;
  timer = 0;
  updateHelpArea();
  tellMode(kHelpModeOff);
}

void JLHelps::toggle(bool rollover) {
  if (active) {
    stop();
    if (rollover == bool(rolloverMode)) return;
  }
  start(rollover);
}

void JLHelps::idle() {
  if (!active || timer == 0 || uloGlo.when < timer) return;
  if (rolloverMode) {
    rolloverFind();
    return;
  }
  // After the last step's click the tour is over and its balloon goes;
  // the closing word says where help is from now on.
  if (!hasNextStep()) {
    stop();
    showClosing();
    return;
  }
  current++;
  timer = 0;
  updateHelpArea();
}

bool JLHelps::hasNextStep() const {
  return current >= 0 && current + 1 < count && !elements[current + 1].rollover;
}

void JLHelps::hit(int16_t panelEntry, int16_t slot) {
  if (!active || rolloverMode || timer != 0 || current < 0 || current >= count) return;
  const jlHelpsTextRec& e = elements[current];
  if (e.panel != panelEntry || e.control != slot) return;
  // A pop-up reports the press that opens it before anything is chosen;
  // only the finished action is the step done (a cancelled pop-up is not).
  if (auto* pro = dynamic_cast<uloPanelPro*>(QXScreen.panelAt(panelEntry)); pro && pro->realTime) return;
  timer = uloGlo.when + kStepDelayTicks;
}

void JLHelps::rolloverFind() {
  const uloPoint m(uloGlo.mouseX, uloGlo.mouseY);
  // Looked up at most every 20 ticks, whether or not something was found.
  timer = uloGlo.when + kRolloverTicks;
  // Only what the user can see and click there: the controls of the panel
  // a press would go to, and of those only the visible ones.
  const int16_t top = QXScreen.panelUnder(m.x, m.y);
  QXPanelClass* panel = QXScreen.panelAt(top);
  // Where controls overlap (a synth key's black neighbour lies over it) the
  // one drawn last, the highest slot, is the one seen.
  int16_t found = -1;
  for (int16_t i = 0; i < count && panel; i++) {
    const jlHelpsTextRec& e = elements[i];
    if (!e.rollover || e.panel != top) continue;
    const uloPanelControl* c = panel->control(e.control);
    if (!c || !c->visible || !c->rect.contains(m)) continue;
    if (found < 0 || e.control > elements[found].control) found = i;
  }
  if (current != found) {
    current = found;
    updateHelpArea();
  }
}

void JLHelps::paintPicture(const jlHelpsTextRec& e, const uloRect& r) {
  if (e.slot < 0 || e.slot >= kHelpSlots || !maps[e.slot].image) return;
  const jlHelpsMapRec& m = maps[e.slot];
  if (m.mask) QXScreen.copyMaskToUpdate(m.image, m.bounds, m.mask, m.bounds, r, 256);
  else QXScreen.copyToUpdate(m.image, m.bounds, r);
}

void JLHelps::updateOffmap() {
  if (closing && !active) {
    uloRect r;
    if (!closingRect(&r)) return;
    lastBalloon = r;
    const jlHelpsTextRec& e = elements[closingElement()];
    paintPicture(e, r);
    for (int k = 0; k < kHelpLines; k++)
      if (!closingLines[k].empty())
        QXScreen.copyStringToUpdate(*this, closingLines[k].c_str(), int16_t(r.left + e.textX),
                                    int16_t(r.top + e.textY + kLineHeight * k), 0);
    return;
  }
  if (!active) return;
  uloRect r;
  if (!balloonRect(current, &r)) return;
  lastBalloon = r;
  const jlHelpsTextRec& e = elements[current];
  paintPicture(e, r);
  const int16_t tx = int16_t(r.left + e.textX), ty = int16_t(r.top + e.textY);
  if (helpFileOpen && white.allocated) {
    if (UloOneCast* pre = helpCasts.CastOfID(kPredrawnBase + current)) {
      // Only the mask of a pre-drawn text is drawn (through white), and only
      // the balloon on show is kept: the one shown before goes.
      if (shownText && shownText != pre) shownText->Unload();
      shownText = pre;
      pre->LoadDepth(uloDepthMask8);
      if (pre->maskLoaded) {
        const uloRect mb(0, 0, pre->mask.width(), pre->mask.height());
        QXScreen.copyMaskToUpdate(&white, mb, &pre->mask, mb, uloRect(tx, ty, tx + mb.width(), ty + mb.height()), 256);
        return;
      }
    }
  }
  for (int k = 0; k < kHelpLines; k++)
    if (e.lines[k]) QXScreen.copyStringToUpdate(*this, e.lines[k], tx, int16_t(ty + kLineHeight * k), 0);
}
