// What another start hands the running copy arrives through a socket from
// any process of the user: whatever the bytes, the listener answers, queues
// only an absolute path of an existing regular file, and keeps serving.
// Input: the bytes sent as one request.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/sys/jlDocumentForward.h"

namespace {

struct Listener {
  std::string socket, doc;
  Listener() {
    char tmpl[] = "/tmp/fuzzforward.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) abort();
    socket = std::string(dir) + "/s.sock";
    doc = std::string(dir) + "/mix.jld";
    if (FILE* f = fopen(doc.c_str(), "w")) fclose(f);
    if (!JL_StartDocumentListener(socket)) abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Listener l;
  const std::string sent(reinterpret_cast<const char*>(data), size);
  const bool taken = JL_ForwardDocument(l.socket, sent, 5000);
  std::string got;
  const bool queued = JL_TakeForwardedDocument(&got);
  if (taken != queued || (queued && got != sent)) abort();
  if (queued && !JL_IsAcceptableForwardedPath(got)) abort();
  // The listener still serves a good request after any bad one.
  if (!JL_ForwardDocument(l.socket, l.doc, 5000) || !JL_TakeForwardedDocument(&got) || got != l.doc) abort();
  return 0;
}
