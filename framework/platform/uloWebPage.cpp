// Web pages shown in the user's browser, and the failures to show one kept
// for the interface thread. SDL's own opener cannot tell: it reports
// success once xdg-open has been started, whatever xdg-open then finds.
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "core/sys/uloProcess.h"
#include "framework/platform/uloSys.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Openers {
  std::mutex lock;
  uint64_t nextId = 0;
  // The openers still running, with the end of their reporting time.
  std::map<uint64_t, Clock::time_point> running;
  std::string failed, why;  // the last page no browser showed
};

// Never destroyed: an opener's thread may still run while the program ends.
Openers& openers() {
  static Openers* o = new Openers;
  return *o;
}

void runOpener(uint64_t id, const std::string& address, Clock::time_point reportUntil) {
  std::string output, errors;
  int code = 0;
  const uloRunResult r = ULO_RunCapture({"xdg-open", address}, &output, &code, &errors);
  std::string why;
  if (r == uloRunResult::unavailable) why = "xdg-open is not installed";
  else if (r == uloRunResult::crashed) why = "xdg-open was stopped";
  else if (code != 0) why = "xdg-open ended with code " + std::to_string(code);
  // Its last line says why ("no method available ...").
  const std::string said = ULO_StripLineEnds(errors);
  if (!why.empty() && !said.empty()) why += ": " + said.substr(said.find_last_of('\n') + 1);
  Openers& o = openers();
  std::lock_guard<std::mutex> hold(o.lock);
  o.running.erase(id);
  if (!why.empty() && Clock::now() < reportUntil) {
    o.failed = address;
    o.why = why;
  }
}

}  // namespace

void QXGoUrl(const char* address) {
  if (!address || !*address) return;
  Openers& o = openers();
  const Clock::time_point reportUntil = Clock::now() + std::chrono::seconds(kWebPageFailureSeconds);
  std::lock_guard<std::mutex> hold(o.lock);
  const uint64_t id = o.nextId++;
  o.running[id] = reportUntil;
  try {
    std::thread(runOpener, id, std::string(address), reportUntil).detach();
  } catch (const std::system_error&) {
    o.running.erase(id);
    o.failed = address;
    o.why = "no thread for xdg-open";
  }
}

std::string ULO_TakeWebPageFailure() {
  Openers& o = openers();
  std::string address, why;
  {
    std::lock_guard<std::mutex> hold(o.lock);
    address.swap(o.failed);
    why.swap(o.why);
  }
  if (!address.empty()) fprintf(stderr, "web page: %s not shown (%s)\n", address.c_str(), why.c_str());
  return address;
}

bool ULO_WebPageOpening() {
  Openers& o = openers();
  std::lock_guard<std::mutex> hold(o.lock);
  const Clock::time_point now = Clock::now();
  for (const auto& [id, reportUntil] : o.running)
    if (now < reportUntil) return true;
  return false;
}
