#include "framework/intl/JLInternational.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

JLInternational jlIntl;

namespace {

const int32_t kTextType = ULO_FourCC("TEXT");
constexpr int32_t kLanguageListId = 1;
constexpr int32_t kFirstTableId = 100;
constexpr char kLineSeparator = 13;

struct LanguageCode {
  const char* code;
  int16_t primary;
};

// ISO 639-1 codes and the primary language ids the message tables are
// keyed by.
const LanguageCode kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c}, {"he", 0x0d}, {"hu", 0x0e},
    {"is", 0x0f}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"no", 0x14}, {"nb", 0x14},
    {"nn", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1a},
    {"sr", 0x1a}, {"bs", 0x1a}, {"sk", 0x1b}, {"sq", 0x1c}, {"sv", 0x1d}, {"th", 0x1e}, {"tr", 0x1f},
    {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
    {"lt", 0x27}, {"tg", 0x28}, {"fa", 0x29}, {"vi", 0x2a}, {"hy", 0x2b}, {"az", 0x2c}, {"eu", 0x2d},
    {"mk", 0x2f}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"mt", 0x3a}, {"ga", 0x3c},
    {"ms", 0x3e}, {"kk", 0x3f}, {"ky", 0x40}, {"sw", 0x41}, {"tk", 0x42}, {"uz", 0x43}, {"tt", 0x44},
    {"bn", 0x45}, {"pa", 0x46}, {"gu", 0x47}, {"ta", 0x49}, {"te", 0x4a}, {"kn", 0x4b}, {"ml", 0x4c},
    {"mr", 0x4e}, {"mn", 0x50}, {"cy", 0x52}, {"gl", 0x56},
};

// Message tables written on other systems may end lines with CR LF; the
// LF then starts the next line and must not show.
uloText lineOf(const uloTextFile& text, int16_t n) {
  if (n < 0) return uloText();
  uloText line = text.item(n, kLineSeparator);
  if (line.c_str()[0] == '\n') return line.middle(1, line.len());
  return line;
}

}  // namespace

int16_t JL_PrimaryLanguageOfLocale(const char* locale) {
  if (!locale) return 0;
  char code[4] = {0};
  int n = 0;
  while (n < 3 && locale[n] >= 'a' && locale[n] <= 'z') {
    code[n] = locale[n];
    n++;
  }
  // Only a two-letter code followed by the end or a territory, codeset or
  // modifier names a language ("C", "POSIX" and three-letter codes do not).
  if (n != 2 || (locale[2] && !strchr("_.@", locale[2]))) return 0;
  for (const LanguageCode& l : kLanguages)
    if (strcmp(l.code, code) == 0) return l.primary;
  return 0;
}

int16_t JL_SystemPrimaryLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(name);
    if (value && *value) return JL_PrimaryLanguageOfLocale(value);
  }
  return 0;
}

void JLInternational::start(UloResFile* res) { startWithLanguage(res, JL_SystemPrimaryLanguage()); }

void JLInternational::startWithLanguage(UloResFile* res, int16_t primaryLanguage) {
  resFile = res;
  systemLanguage = static_cast<int16_t>(primaryLanguage & 0x3FF);
  languages.set("");
  messages.set("");
  languageIndex = 0;
  if (languages.loadResource(res, kTextType, kLanguageListId)) {
    const int16_t lines = languages.itemsCount(kLineSeparator);
    for (int16_t i = 0; i < lines; i++) {
      const uloText line = lineOf(languages, i);
      if (line.len() == 0) break;
      if (line.item(2, ',').toShort() == systemLanguage) {
        languageIndex = line.item(3, ',').toShort();
        break;
      }
    }
  }
  messages.loadResource(res, kTextType, kFirstTableId + languageIndex);
}

uloText JLInternational::message(int16_t number) const { return lineOf(messages, number); }

int16_t JLInternational::notify(int16_t number, int16_t kind) { return show(message(number).c_str(), kind); }

int16_t JLInternational::show(const char* text, int16_t kind) {
  if (kind < jlNotifyOK) kind = jlNotifyOK;
  if (kind > jlNotifyYesNoCancel) kind = jlNotifyYesNoCancel;
  const uloText title = lineOf(messages, static_cast<int16_t>(kind + 1)).item(0, ',');
  return ULO_MessageBox(title.c_str(), text, kind, true);
}

std::string JLInternational::filled(int16_t number, std::initializer_list<const char*> fills) const {
  std::string out = message(number).c_str();
  const char* const* next = fills.begin();
  for (size_t at = out.find("%s"); at != std::string::npos; at = out.find("%s", at)) {
    const char* fill = next != fills.end() && *next ? *next : "";
    if (next != fills.end()) ++next;
    out.replace(at, 2, fill);
    at += strlen(fill);
  }
  return out;
}

int16_t JLInternational::notifyFilled(int16_t number, int16_t kind, std::initializer_list<const char*> fills) {
  return show(filled(number, fills).c_str(), kind);
}

int16_t JL_Notify(int16_t number, int16_t kind) { return jlIntl.notify(number, kind); }

int16_t JL_NotifyFilled(int16_t number, int16_t kind, std::initializer_list<const char*> fills) {
  return jlIntl.notifyFilled(number, kind, fills);
}

int16_t JL_NotifyWith(int16_t number, const char* value, int16_t kind) {
  return jlIntl.notifyFilled(number, kind, {value});
}
