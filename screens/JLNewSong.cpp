#include "screens/JLNewSong.h"

#include <cstdlib>
#include <vector>

#include "core/files/uloPath.h"
#include "song/JLSongMaker.h"

namespace {

std::string baseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name to offer for the song: the folder's, shown safely and cut short.
std::string offeredName(const std::string& folder) {
  std::string n = JL_ShownName(baseName(folder));
  for (char& c : n)
    if (c == ':' || c == '/' || c == '?') c = ' ';
  if (n.size() > size_t(kJLMakerMaxNameBytes)) n = JL_DescriptorWord(n, size_t(kJLMakerMaxNameBytes), "New song");
  while (!n.empty() && (n[0] == '.' || n[0] == ' ')) n.erase(0, 1);
  return n.empty() ? "New song" : n;
}

}  // namespace

JLNewSong::~JLNewSong() {
  cancel_ = true;
  ULO_StopRun(dialog_);
  if (worker_.joinable()) worker_.join();
}

bool JLNewSong::start(const std::string& folder) {
  if (busy_) return false;
  if (worker_.joinable()) worker_.join();
  cancel_ = false;
  dialog_.stop = false;
  percent_ = -1;
  {
    std::lock_guard<std::mutex> g(lock_);
    outcome_ = Outcome::running;
    message_.clear();
    song_.clear();
  }
  busy_ = true;
  try {
    worker_ = std::thread([this, folder] { run(folder); });
  } catch (...) {
    busy_ = false;
    std::lock_guard<std::mutex> g(lock_);
    outcome_ = Outcome::none;
    return false;
  }
  return true;
}

JLNewSong::Outcome JLNewSong::poll(std::string* message, std::string* songName) {
  std::lock_guard<std::mutex> g(lock_);
  const Outcome o = outcome_;
  if (o == Outcome::none || o == Outcome::running) return o;
  *message = message_;
  *songName = song_;
  outcome_ = Outcome::none;
  return o;
}

bool JLNewSong::ask(const std::vector<std::string>& args, std::string* answer, std::string* why) {
  const ULO_ExternalDialogScope dialogUp;
  std::vector<std::string> argv = {ULO_FileChooserProgram(), "--title=Jamloom: new song"};
  argv.insert(argv.end(), args.begin(), args.end());
  int code = 0;
  answer->clear();
  switch (ULO_RunCapture(argv, answer, &code, nullptr, &dialog_)) {
    case uloRunResult::unavailable:
      *why = "New song needs the dialog program zenity; please install it.";
      return false;
    case uloRunResult::crashed:
      return false;
    case uloRunResult::finished:
      break;
  }
  if (code != 0) {
    if (code != 1) *why = "The dialog program could not show the question.";
    return false;
  }
  *answer = ULO_StripLineEnds(*answer);
  return !cancel_;
}

void JLNewSong::run(std::string folder) {
  Outcome outcome = Outcome::cancelled;
  std::string message, song, why, answer;
  auto finish = [&] {
    std::lock_guard<std::mutex> g(lock_);
    outcome_ = outcome;
    message_ = message;
    song_ = song;
    busy_ = false;
  };
  auto stopped = [&] {
    if (!why.empty()) {
      outcome = Outcome::failed;
      message = why;
    }
    finish();
  };
  if (folder.empty()) {
    const char* home = getenv("HOME");
    if (!ask({"--file-selection", "--directory", "--filename=" + std::string(home ? home : "") + "/"}, &folder, &why))
      return stopped();
  }
  JLSongPlan plan;
  if (!JL_PlanSong(folder, &plan, &why)) return stopped();

  // The name, asked again until it can be used.
  std::string name = offeredName(folder), problem;
  for (;;) {
    std::string text = "Name of the new song made from " + JL_ShownName(baseName(folder)) + " (" +
                       std::to_string(plan.loops.size()) + " loops):";
    if (!problem.empty()) text = problem + "\n" + text;
    if (!ask({"--entry", "--text=" + text, "--entry-text=" + name}, &name, &why)) return stopped();
    if (JL_SongNameUsable(name, &problem)) break;
  }

  JLMakeSongOptions options;
  options.bpm = plan.detected.bpm;
  if (plan.detected.fitting < int(plan.loops.size())) {
    for (problem.clear();;) {
      const std::string text = problem + std::to_string(plan.detected.fitting) + " of " +
                               std::to_string(plan.loops.size()) + " loops last whole beats at " +
                               std::to_string(plan.detected.bpm) + " BPM. Tempo of the song (BPM):";
      std::string bpm = std::to_string(options.bpm);
      if (!ask({"--entry", "--text=" + text, "--entry-text=" + bpm}, &bpm, &why)) return stopped();
      options.bpm = atoi(bpm.c_str());
      if (options.bpm >= 30 && options.bpm <= 400) break;
      problem = "A tempo is a number from 30 to 400.\n";
      options.bpm = plan.detected.bpm;
    }
    std::string misfits;
    const int count = JL_MisfitLoops(plan, options.bpm, 6, &misfits);
    if (count) {
      const std::string text = std::to_string(count) + " loop(s) do not last a whole number of beats at " +
                               std::to_string(options.bpm) + " BPM: " + misfits + ".";
      // A radio list so that one row is chosen from the start and Return
      // answers at once.
      if (!ask({"--list", "--radiolist", "--print-column=2", "--text=" + text + "\nA loop may last " + JL_BeatCountsText() + " beats.",
                "--column=", "--column=Fit them to the nearest of these lengths by", "TRUE",
                "trimming (cut or pad)", "FALSE", "stretching (speed and pitch change)"},
               &answer, &why))
        return stopped();
      options.fit = answer.find("stretch") != std::string::npos ? JLBeatFitMode::stretch : JLBeatFitMode::trim;
    }
  }

  // One line in a plain entry, where Return answers (a form's fields take no Return).
  if (!ask({"--entry", "--text=Names of the " + std::to_string(plan.groups.size()) +
                           " instruments, in this order, separated by commas (an empty one keeps its name):",
            "--entry-text=" + JL_InstrumentNamesLine(plan)},
           &answer, &why))
    return stopped();
  JL_RenameInstruments(answer, &plan);

  percent_ = 0;
  options.progress = [this](int done, int total) {
    percent_ = total ? done * 100 / total : 100;
    return !cancel_.load();
  };
  JLMakeSongResult result;
  if (!JL_MakeSong(plan, name, options, &result, &why)) {
    if (cancel_) why.clear();
    return stopped();
  }
  outcome = Outcome::made;
  song = name;
  message = "The song \"" + name + "\" was made: " + std::to_string(result.loops) + " loops at " +
            std::to_string(result.bpm) + " BPM.";
  for (const std::string& s : plan.skipped) message += "\nLeft out " + s;
  for (const std::string& n : result.notes)
    if (n.find("trimmed") != std::string::npos || n.find("stretched") != std::string::npos) message += "\n" + n;
  finish();
}
