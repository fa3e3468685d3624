// jl-make-icons: paints the program's icon and the mix document's icon at
// build time, as SVG and as PNG in every hicolor size, into
// <out>/hicolor/<size>/{apps,mimetypes}/. Both are drawn by the same cairo
// calls on a 256-unit canvas, so the sizes match the vector form.
//   jl-make-icons --out <folder>
// Exit code 0 when every file was written, 1 otherwise (a message on stderr).
#include <cairo-svg.h>
#include <cairo.h>
#include <errno.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int kSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// Eight loop tracks as bars of different lengths, the groovebox's face.
void bars(cairo_t* cr, double x, double y, double w, double h) {
  static const double kLength[8] = {0.95, 0.6, 0.8, 0.45, 0.9, 0.7, 0.5, 0.85};
  static const double kHue[8][3] = {{0.98, 0.45, 0.25}, {0.99, 0.75, 0.2}, {0.6, 0.85, 0.3}, {0.25, 0.8, 0.7},
                                    {0.3, 0.6, 0.95},   {0.55, 0.45, 0.95}, {0.85, 0.4, 0.85}, {0.95, 0.35, 0.55}};
  const double gap = w / 8;
  for (int i = 0; i < 8; ++i) {
    const double bh = h * kLength[i];
    roundedRect(cr, x + i * gap + gap * 0.15, y + h - bh, gap * 0.7, bh, gap * 0.2);
    cairo_set_source_rgb(cr, kHue[i][0], kHue[i][1], kHue[i][2]);
    cairo_fill(cr);
  }
}

void paintApp(cairo_t* cr) {
  roundedRect(cr, 8, 8, 240, 240, 44);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 8, 0, 248);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.16, 0.17, 0.24);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.07, 0.07, 0.11);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  bars(cr, 36, 52, 184, 152);
  // The beat line across the tracks.
  cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
  cairo_rectangle(cr, 36, 212, 184, 10);
  cairo_fill(cr);
}

void paintMix(cairo_t* cr) {
  // A page with a folded corner holding the tracks.
  cairo_move_to(cr, 40, 12);
  cairo_line_to(cr, 170, 12);
  cairo_line_to(cr, 220, 62);
  cairo_line_to(cr, 220, 244);
  cairo_line_to(cr, 40, 244);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.96, 0.96, 0.97);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 6);
  cairo_set_source_rgb(cr, 0.35, 0.36, 0.42);
  cairo_stroke(cr);
  cairo_move_to(cr, 170, 12);
  cairo_line_to(cr, 170, 62);
  cairo_line_to(cr, 220, 62);
  cairo_stroke(cr);
  bars(cr, 60, 110, 140, 116);
}

bool makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/')
      if (mkdir(path.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST) return false;
  return true;
}

bool writeSvg(const std::string& file, void (*paint)(cairo_t*)) {
  cairo_surface_t* s = cairo_svg_surface_create(file.c_str(), 256, 256);
  cairo_t* cr = cairo_create(s);
  paint(cr);
  cairo_destroy(cr);
  cairo_surface_finish(s);
  const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

bool writePng(const std::string& file, int size, void (*paint)(cairo_t*)) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(s);
  cairo_scale(cr, size / 256.0, size / 256.0);
  paint(cr);
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(s, file.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || strcmp(argv[1], "--out") != 0) {
    fprintf(stderr, "usage: jl-make-icons --out <folder>\n");
    return 2;
  }
  const std::string out = std::string(argv[2]) + "/hicolor/";
  struct Icon {
    const char* kind;
    const char* name;
    void (*paint)(cairo_t*);
  } const icons[] = {{"apps", "jamloom", paintApp}, {"mimetypes", "application-x-jamloom-mix", paintMix}};
  for (const Icon& icon : icons) {
    const std::string scalable = out + "scalable/" + icon.kind;
    bool ok = makeFolders(scalable) && writeSvg(scalable + "/" + icon.name + ".svg", icon.paint);
    for (int size : kSizes) {
      const std::string folder = out + std::to_string(size) + "x" + std::to_string(size) + "/" + icon.kind;
      ok = ok && makeFolders(folder) && writePng(folder + "/" + icon.name + ".png", size, icon.paint);
    }
    if (!ok) {
      fprintf(stderr, "jl-make-icons: cannot write the %s icons into %s\n", icon.name, out.c_str());
      return 1;
    }
  }
  return 0;
}
