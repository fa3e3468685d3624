#include "framework/panel/uloPanel.h"

#include <cstring>

#include "framework/layout/uloLayouts.h"
#include "framework/panel/uloPanStdCtrls.h"
#include "framework/platform/uloSys.h"

namespace {
uloTrackingSource gTrackingSource = nullptr;
// Two presses closer than this many ticks form a double click.
constexpr int32_t kDoubleClickTicks = 30;
}  // namespace

bool ULO_TrackButtonDown() { return gTrackingSource ? gTrackingSource() : ULO_ButtonDown(); }
void ULO_SetTrackingSource(uloTrackingSource source) { gTrackingSource = source; }

// ---------------------------------------------------------------- control

uloPanelControl::uloPanelControl() = default;
uloPanelControl::~uloPanelControl() = default;

bool uloPanelControl::click() { return false; }
bool uloPanelControl::doubleClick() { return false; }
bool uloPanelControl::key() { return false; }
void uloPanelControl::draw() {}

void uloPanelControl::calc() {
  if (!layout) return;
  layout->RecalcItem(layoutItem);
  if (layoutItem < 0 || layoutItem >= layout->itemsCount) return;
  rect = layout->work[layoutItem].pictureRect;
  position = rect.topleft();
}

void uloPanelControl::setup() {}
void uloPanelControl::statusChanged() { draw(); }

void uloPanelControl::enable() {
  if (enabled) return;
  enabled = 1;
  statusChanged();
}

void uloPanelControl::disable() {
  if (!enabled) return;
  enabled = 0;
  statusChanged();
}

void uloPanelControl::show() {
  if (visible) return;
  visible = 1;
  draw();
}

void uloPanelControl::hide() { visible = 0; }
void uloPanelControl::idle() {}

void uloPanelControl::setValue(short) {}
void uloPanelControl::setValue(long) {}
void uloPanelControl::setValue(char*) {}
void uloPanelControl::setValue(unsigned char*) {}
void uloPanelControl::getValue(short&) {}
void uloPanelControl::getValue(long&) {}
void uloPanelControl::getValue(char*) {}
void uloPanelControl::getValue(unsigned char*) {}
void uloPanelControl::setValue(short, short) {}
void uloPanelControl::setValue(short, long) {}
void uloPanelControl::setValue(short, char*) {}
void uloPanelControl::setValue(short, unsigned char*) {}
void uloPanelControl::getValue(short, short&) {}
void uloPanelControl::getValue(short, long&) {}
void uloPanelControl::getValue(short, char*) {}
void uloPanelControl::getValue(short, unsigned char*) {}

void uloPanelControl::setLinkedValues() {
  if (linkedShort) setValue(*linkedShort);
  if (linkedLong) setValue(*linkedLong);
  if (linkedString) setValue(linkedString);
  if (linkedPString) setValue(linkedPString);
}

void uloPanelControl::getLinkedValues() {
  if (linkedShort) getValue(*linkedShort);
  if (linkedLong) getValue(*linkedLong);
  if (linkedString) getValue(linkedString);
  if (linkedPString) getValue(linkedPString);
}

void uloPanelControl::setString(const char* text) {
  // Controls copy the text; none writes through the pointer.
  setValue(const_cast<char*>(text ? text : ""));
}

short uloPanelControl::get() {
  short v = 0;
  getValue(v);
  return v;
}

short uloPanelControl::get(short which) {
  short v = 0;
  getValue(which, v);
  return v;
}

bool uloPanelControl::canDraw() const { return visible && panel && panel->panelShown; }

int16_t uloPanelControl::aux(int k) const { return layout ? layout->itemAuxVal(layoutItem, int16_t(k)) : 0; }

uloRect uloPanelControl::itemFrame() const {
  if (!layout || layoutItem < 0 || layoutItem >= layout->itemsCount) return rect;
  return layout->work[layoutItem].frame;
}

// ------------------------------------------------------------------ panel

uloPanel::uloPanel() { allocate(); }
uloPanel::~uloPanel() { dispose(); }

void uloPanel::allocate() {
  if (allocated) return;
  currentItem = -1;
  controlsCount = 0;
  lastClickTime = kNoEarlierClick;
  lastClickItem = -1;
  focusItem = -1;
  ownedLayout = nullptr;
  mainLayout = nullptr;
  panelShown = 1;
  for (int16_t i = 0; i < kPanelSlots; i++) {
    uloPanelControl* c = new uloPanelControl;
    c->panel = this;
    c->index = i;
    controls[i] = c;
  }
  allocated = 1;
}

void uloPanel::dispose() {
  for (auto& c : controls) {
    delete c;
    c = nullptr;
  }
  delete ownedLayout;
  ownedLayout = nullptr;
  mainLayout = nullptr;
  currentItem = -1;
  controlsCount = 0;
  lastClickTime = kNoEarlierClick;
  lastClickItem = -1;
  focusItem = -1;
  allocated = 0;
}

void uloPanel::calc() {
  for (int16_t i = 0; i < controlsCount; i++)
    if (controls[i]) controls[i]->calc();
}

void uloPanel::newCtrl(short index, uloPanelControl* control) {
  if (!control) return;
  if (index < 0 || index >= kPanelSlots || !allocated) {
    delete control;
    return;
  }
  if (focusItem == index) focusItem = -1;
  delete controls[index];
  controls[index] = control;
  control->panel = this;
  control->index = index;
  control->kind = 0;
  control->active = control->enabled = control->visible = 1;
  if (controlsCount <= index) controlsCount = int16_t(index + 1);
}

void uloPanel::attachLayout(UloLayout* layout, short firstIndex) {
  if (!layout) return;
  if (!mainLayout) mainLayout = layout;
  for (int16_t b = 0; b < layout->itemsCount; b++) {
    const int slot = firstIndex + b;
    if (slot < 0 || slot >= kPanelSlots) continue;
    const int16_t kind = layout->itemAuxVal(b, 0);
    uloPanelControl* before = controls[slot];
    newCtrlKind(int16_t(slot), kind);
    uloPanelControl* c = controls[slot];
    // A kind without a class leaves the slot's previous control alone.
    if (c == before) continue;
    c->kind = kind;
    c->layout = layout;
    c->layoutItem = b;
    c->calc();
    c->setup();
    const int16_t s = layout->data.items[b].state;
    c->active = s == uloItemClickable;
    c->visible = s != uloItemHidden;
  }
}

void uloPanel::select(short index) {
  if (index == focusItem) return;
  if (uloPanelControl* old = control(focusItem)) {
    old->focused = 0;
    old->statusChanged();
  }
  focusItem = index;
  if (uloPanelControl* now = control(focusItem)) {
    now->focused = 1;
    now->statusChanged();
  }
}

int16_t uloPanel::scanMouse(bool isDouble) {
  for (int16_t i = 0; i < controlsCount; i++) {
    uloPanelControl* c = controls[i];
    if (!c || !c->eligible() || !c->rect.contains(uloGlo.mouseX, uloGlo.mouseY)) continue;
    if (isDouble && c->doubleClick()) return i;
    if (c->click()) return i;
  }
  return -1;
}

void uloPanel::cycleFocus(bool backwards) {
  if (focusItem < 0 || controlsCount <= 0) return;
  int16_t i = focusItem;
  for (;;) {
    i = backwards ? int16_t(i - 1) : int16_t(i + 1);
    if (i < 0) i = int16_t(controlsCount - 1);
    if (i >= controlsCount) i = 0;
    if (i == focusItem) return;
    uloPanelControl* c = controls[i];
    if (c && c->focusable && c->visible) break;
  }
  select(i);
}

void uloPanel::events() {
  currentItem = -1;
  reportItem = -1;
  int16_t handled = -1;
  switch (uloGlo.what) {
    case uloEvtNull:
      onIdle();
      break;
    case uloEvtMouseDown:
      if (uloGlo.when - lastClickTime < kDoubleClickTicks) {
        handled = scanMouse(true);
        if (handled < 0) onDoubleClick();
        secondPressOfDoubleClick = handled >= 0 && handled == lastClickItem;
      } else {
        // Tracking inside click() rewrites the event record; the press time
        // is what the next double click is measured against.
        const int32_t pressed = uloGlo.when;
        handled = scanMouse(false);
        if (handled < 0) onClick();
        lastClickTime = pressed;
        lastClickItem = handled;
      }
      break;
    case uloEvtKeyDown:
    case uloEvtAutoKey:
      for (int16_t i = 0; i < controlsCount && handled < 0; i++) {
        uloPanelControl* c = controls[i];
        if (c && c->eligible() && c->key()) handled = i;
      }
      if (handled < 0) {
        onKey();
        if (uloGlo.keyCode == 9 || uloGlo.character == 9) cycleFocus(uloGlo.shift != 0);
      }
      break;
    case uloEvtUpdate:
      onUpdate();
      break;
    case uloEvtZoom:
    case uloEvtResize:
      onResized();
      break;
    case uloEvtClose:
      uloGlo.running = 0;
      break;
    default:
      break;
  }
  if (handled >= 0) {
    currentItem = reportItem >= 0 ? reportItem : handled;
    if (reportItem != kReportNothing) {
      onItem();
      if (currentItem < 3) onStandardExitButtonsItems();
    }
  }
  reportItem = -1;
  secondPressOfDoubleClick = false;
  onIdle();
}

void uloPanel::onItem() {}
void uloPanel::onKey() {}
void uloPanel::onClick() {}
void uloPanel::onDoubleClick() {}
void uloPanel::onOpen() {}
void uloPanel::onClose() {}
void uloPanel::onIdle() {}
void uloPanel::onResized() {}
void uloPanel::onUpdate() { doRedraw(); }

void uloPanel::doRedraw() {
  doBackRedraw();
  for (int16_t i = 0; i < controlsCount; i++)
    if (controls[i] && controls[i]->visible) controls[i]->draw();
  doFrontRedraw();
}

void uloPanel::doFrontRedraw() {}
void uloPanel::doBackRedraw() {}
void uloPanel::onCloseWindowRequest() {}
short uloPanel::onCloseConfirmRequest() { return 0; }
short uloPanel::onCloseCancelRequest() { return 0; }
void uloPanel::onStandardExitButtonsItems() {}

uloPanelControl* uloPanel::newCustomControl(short kind) {
  switch (kind) {
    case 0: return new uloPanelControl;
    case 10: return new uloPaCoStd_StandardButton;
    case 11: return new uloPaCoStd_StandardRadio;
    case 12: return new uloPaCoStd_StandardCheck;
    case 13: return new uloPaCoStd_StaticString;
    case 14: return new uloPaCoStd_StandardNum;
    case 15: return new uloPaCoStd_StandardEditString;
    case 16: return new uloPaCoStd_StandardEditNum;
    case 17: return new uloPaCoStd_StaticCast;
    case 18: return new uloPaCoStd_StandardList;
    case 19: return new uloPaCoStd_StandardLevelBar;
    case 20: return new uloPaCoStd_StandardEditPassword;
    default: return nullptr;
  }
}
