// jl-skin-render: composes layouts of a skin container into a PNG, the way
// the screen composes a panel: item 0's picture first, then every shown
// item's current picture through its mask, in slot order. Text controls,
// pop-ups and balls print a sample text (from the skin's declarations) with
// the container's own font, so a reviewer sees what a user will see.
//
//   jl-skin-render --xrs Jamloom.xrs --out groove.png --layout 1 --layout 2 --layout 8
//                  [--variant N] [--bare]
//   jl-skin-render --xrs Jamloom.xrs --all OUT_DIR [--variant N]
//
// --all writes one PNG per panel (its layouts together) and one per layout.
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloFont.h"
#include "tools/skingen/skinDecl.h"
#include "tools/skingen/skinGen.h"

using namespace skin;

namespace {

struct Image {
  int w, h;
  std::vector<uint32_t> px;  // 0xRRGGBB
};

uint32_t from555(int v) {
  const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
  return ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
}

uint32_t blend(uint32_t dst, uint32_t src, int keep) {  // keep 0..255 of dst
  auto c = [&](int s) {
    const int d = (dst >> s) & 255, v = (src >> s) & 255;
    return static_cast<uint32_t>((v * (255 - keep) + d * keep + 127) / 255) << s;
  };
  return c(16) | c(8) | c(0);
}

// Copies `src` (part `sy0` .. `sy0 + h`) to (x, y) through its mask.
void put(Image& out, const uloOffmap* src, const uloOffmap* mask, int x, int y, int sx0, int sy0, int w, int h,
         int level = 256) {
  if (!src || !src->allocated) return;
  for (int yy = 0; yy < h; yy++)
    for (int xx = 0; xx < w; xx++) {
      const int dx = x + xx, dy = y + yy, sx = sx0 + xx, sy = sy0 + yy;
      if (dx < 0 || dy < 0 || dx >= out.w || dy >= out.h || sx >= src->width() || sy >= src->height()) continue;
      int keep = mask && mask->allocated ? static_cast<uint8_t>(mask->getPixel(sx, sy)) : 0;
      if (level < 256) keep = 255 - (255 - keep) * level / 256;
      uint32_t& d = out.px[size_t(dy) * out.w + dx];
      d = blend(d, from555(src->getPixel(sx, sy)), keep);
    }
}

void text(Image& out, const uloFont& font, const std::string& s, int x, int y, int justification, uint32_t colour) {
  if (!font.parsed) return;
  int total = 0;
  for (unsigned char c : s) total += font.glyphWidth(c);
  if (justification == 1) x -= total / 2;
  if (justification == 2) x -= total;
  for (unsigned char c : s) {
    const uloRect& g = font.glyphs[c];
    for (int yy = 0; yy < font.glyphHeight; yy++)
      for (int xx = 0; xx < g.width(); xx++) {
        const int dx = x + xx, dy = y + yy;
        if (dx < 0 || dy < 0 || dx >= out.w || dy >= out.h) continue;
        const int keep = font.mask ? static_cast<uint8_t>(font.mask->getPixel(g.left + xx, yy)) : 0;
        uint32_t& d = out.px[size_t(dy) * out.w + dx];
        d = blend(d, colour, keep);
      }
    x += g.width();
  }
}

int16_t defaultPicture(const Item* decl, int16_t kind) {
  if (decl && decl->samplePicture >= 0) return static_cast<int16_t>(decl->samplePicture);
  return (kind == kButton || kind == kCheck || kind == kRadio) ? 1 : 0;
}

struct Renderer {
  UloResFile res;
  UloCasts casts;
  uloFont font;
  int variant = 0;
  bool bare = false;

  bool open(const char* path) {
    char ulo[kUloPathMax];
    if (!ULO_SystemPathToUloPath(path, ulo, sizeof ulo)) return false;
    res.SetWorkName(ulo);
    res.readOnly = 1;
    if (!res.Open()) return false;
    casts.resFile = &res;
    casts.ParseResources();
    font.setup(&casts, kFontCast);
    return true;
  }

  void layout(Image& out, int id) {
    UloLayout L;
    L.Set(&casts, id);
    L.Load();
    const Layout* decl = FindLayout(id);
    for (int16_t i = 0; i < L.itemsCount; i++) {
      const layoutItemDataRec& r = L.data.items[i];
      if (r.state == 0) continue;
      const Item* d = decl ? decl->find(i + (decl ? decl->firstSlot : 0)) : nullptr;
      const int16_t kind = r.auxValues[0];
      if (d && d->samplePicture == -2) continue;  // shown only in another panel state
      int16_t pic = kind == kBackpane ? static_cast<int16_t>(variant) : defaultPicture(bare ? nullptr : d, kind);
      if (kind == kRotary || kind == kLevelBar || kind == kProgress) pic = 0;
      L.ItemUseIndex(i, pic);
      L.RecalcItem(i);
      const uloOffmap* img = L.GetItemImage(i, pic);
      const uloOffmap* mask = L.GetItemMask(i, pic);
      const int x = r.offset.x, y = r.offset.y, w = r.size.x, h = r.size.y;
      const std::string sample = d && !bare ? d->sample : "";
      switch (kind) {
        case kRotary: {
          const int frame = d && !bare && d->samplePicture > 0 ? d->samplePicture : 0;
          put(out, img, mask, x, y, 0, frame * h, w, h);
          break;
        }
        case kLevelBar: {
          const int lit = bare ? 0 : 3 + (i * 7) % 6;
          put(out, img, mask, x, y, 0, 0, w * lit / 10, h);
          break;
        }
        case kProgress:
          put(out, img, mask, x, y, 0, 0, bare ? 0 : w * 6 / 10, h);
          break;
        case kScroll: {
          if (!img) break;
          const int lo = r.auxValues[1], hi = r.auxValues[2];
          int v = (lo + hi) / 2;
          if (!bare && d && !d->sample.empty()) v = atoi(d->sample.c_str());
          const double t = hi == lo ? 0 : double(v - lo) / (hi - lo);
          if (r.auxValues[3])
            put(out, img, mask, x, y + int((h - img->height()) * (1 - t)), 0, 0, img->width(), img->height());
          else
            put(out, img, mask, x + int((w - img->width()) * t), y, 0, 0, img->width(), img->height());
          break;
        }
        default:
          if (img) put(out, img, mask, L.work[i].position.x, L.work[i].position.y, 0, 0, img->width(), img->height());
          break;
      }
      if (sample.empty()) continue;
      const int ty = y + (h - font.glyphHeight) / 2;
      if (kind == kPopup) {
        text(out, font, sample, x + r.auxValues[2], ty, 0, 0xF0F0F0);
      } else if (kind == kBall || kind == kBallReceiver) {
        text(out, font, sample, x + 10 - (sample.size() > 1 ? 4 : 0), y + 4, 0, d->accent == 1 ? 0x00FFFF : 0xFFFFFF);
      } else if (kind == kText) {
        const bool row = d->look == Look::ListRow;
        text(out, font, sample, row ? x + 2 : x + w / 2, ty, row ? 0 : 1, row ? 0xF0F0F0 : 0x9CE6FF);
      }
    }
  }
};

bool writePng(const Image& img, const std::string& path) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, img.w, img.h);
  const int stride = cairo_image_surface_get_stride(s);
  uint8_t* data = cairo_image_surface_get_data(s);
  for (int y = 0; y < img.h; y++) memcpy(data + size_t(y) * stride, &img.px[size_t(y) * img.w], size_t(img.w) * 4);
  cairo_surface_mark_dirty(s);
  const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

bool render(Renderer& r, const std::vector<int>& ids, const std::string& out) {
  UloLayout first;
  first.Set(&r.casts, ids.front());
  if (first.itemsCount == 0) {
    fprintf(stderr, "layout %d is missing\n", ids.front());
    return false;
  }
  Image img;
  img.w = std::max<int>(1, first.data.design.width());
  img.h = std::max<int>(1, first.data.design.height());
  img.px.assign(size_t(img.w) * img.h, 0x0A0B0C);
  for (int id : ids) r.layout(img, id);
  if (!writePng(img, out)) {
    fprintf(stderr, "cannot write %s\n", out.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string xrs, out, all;
  std::vector<int> ids;
  Renderer r;
  for (int i = 1; i < argc; i++) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--xrs" && more) xrs = argv[++i];
    else if (a == "--out" && more) out = argv[++i];
    else if (a == "--all" && more) all = argv[++i];
    else if (a == "--layout" && more) ids.push_back(atoi(argv[++i]));
    else if (a == "--variant" && more) r.variant = std::clamp(atoi(argv[++i]), 0, 9);
    else if (a == "--bare") r.bare = true;
    else {
      fprintf(stderr, "usage: %s --xrs FILE (--out PNG --layout ID... | --all DIR) [--variant N] [--bare]\n", argv[0]);
      return 2;
    }
  }
  if (xrs.empty() || (all.empty() && (out.empty() || ids.empty()))) {
    fprintf(stderr, "usage: %s --xrs FILE (--out PNG --layout ID... | --all DIR) [--variant N] [--bare]\n", argv[0]);
    return 2;
  }
  if (!r.open(xrs.c_str())) {
    fprintf(stderr, "cannot open %s\n", xrs.c_str());
    return 1;
  }
  if (!all.empty()) {
    bool ok = true;
    for (const PanelDecl& p : AllPanels()) {
      std::vector<int> panelIds;
      for (int id : p.layouts)
        if (id >= 0) panelIds.push_back(id);
      ok = render(r, panelIds, all + "/panel-" + p.name + ".png") && ok;
    }
    for (const Layout& l : AllLayouts())
      ok = render(r, {l.id}, all + "/layout-" + std::to_string(l.id) + ".png") && ok;
    return ok ? 0 : 1;
  }
  return render(r, ids, out) ? 0 : 1;
}
