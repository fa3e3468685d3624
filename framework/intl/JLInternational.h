// JLInternational: the numbered questions and warnings of the program, in
// the language of the system. At start-up it reads the language list of the
// skin, picks the message table for the system language and from then on
// shows message n of that table in a standard message box (JL_Notify).
//
// Lives in the framework library because it reads the skin container.
// User-interface thread only.
//
// Never fails outright: a missing list or table gives empty texts and
// titles, and the buttons still answer (1 OK/Yes, 2 No, 3 Cancel).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "framework/text/uloTextFile.h"

class UloResFile;

// Message box kinds.
enum : int16_t { jlNotifyOK = 0, jlNotifyYesNo = 1, jlNotifyYesNoCancel = 2 };

// The system's primary language as a Windows primary language id (en 9,
// de 7, fr 12 ...), from LC_ALL, LC_MESSAGES or LANG, the first one set;
// 0 (neutral) when none names a known language.
int16_t JL_SystemPrimaryLanguage();
// The same mapping for one locale name such as "de_DE.UTF-8".
int16_t JL_PrimaryLanguageOfLocale(const char* locale);

class JLInternational {
 public:
  // Chooses the table from ('TEXT', 1) and loads ('TEXT', 100 + index).
  void start(UloResFile* res);
  // Same, with the system language given (start passes the system's).
  void startWithLanguage(UloResFile* res, int16_t primaryLanguage);
  int16_t notify(int16_t number, int16_t kind);
  // Message n with each "%s" in turn replaced by the next fill (missing
  // fills leave it empty; the text is never used as a format), for
  // notifyFilled.
  std::string filled(int16_t number, std::initializer_list<const char*> fills) const;
  int16_t notifyFilled(int16_t number, int16_t kind, std::initializer_list<const char*> fills);
  // Line n of the table (empty beyond its end).
  uloText message(int16_t number) const;

  int16_t languageIndex = 0;
  int16_t systemLanguage = 0;
  UloResFile* resFile = nullptr;
  uloTextFile languages;
  uloTextFile messages;

 private:
  // A box of the kind's title with the text.
  int16_t show(const char* text, int16_t kind);
};

extern JLInternational jlIntl;

// Shows message `number` of the chosen table; kinds below 0 count as 0,
// above 2 as 2.
int16_t JL_Notify(int16_t number, int16_t kind);
// The same with the message's "%s" filled in (Latin-1 texts, as the tables).
int16_t JL_NotifyFilled(int16_t number, int16_t kind, std::initializer_list<const char*> fills);
// The same with one fill.
int16_t JL_NotifyWith(int16_t number, const char* value, int16_t kind);

// Messages the framework shows on its own: a web page that no browser could
// show (one "%s", the address).
constexpr int16_t kJLMsgNoWebBrowser = 80;
