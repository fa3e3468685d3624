// Any bytes from a MIDI device: cut into messages of one to three bytes as
// a port delivers them, through the queue and the keyboard/control map,
// and applied to a synth. Every action must stay in its range (note 0..35,
// track 0..7) and the synth's voices valid.
#include <cstdint>
#include <cstdlib>

#include "engine/midi/JLMidi.h"
#include "engine/synth/Synth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SYNTHETIZER synth;
  static SYNTHDATA samples;
  static bool ready = InitSynth(&synth, &samples) == 0;
  (void)ready;
  JLMidiQueue q;
  JLMidiMap map;
  if (size > 0) map.channel = int8_t(data[0] % 17) - 1;
  map.play = 60;
  map.mute[3] = 128 + 7;
  size_t i = 1;
  int64_t time = 0;
  while (i < size) {
    const size_t n = 1 + data[i] % 3;
    if (i + 1 + n > size) break;
    q.push(data + i + 1, n);
    i += 1 + n;
    JLMidiMessage m;
    while (q.pop(m)) {
      const JLMidiAction a = map.translate(m);
      if ((a.kind == JLMidiAction::noteOn || a.kind == JLMidiAction::noteOff) && (a.note < 0 || a.note >= 36)) abort();
      if (a.kind == JLMidiAction::muteTrack && (a.track < 0 || a.track >= 8)) abort();
      if (a.kind == JLMidiAction::noteOn) SynthKeyOn(&synth, a.note, JL_MidiVelocityGain(a.velocity), time);
      if (a.kind == JLMidiAction::noteOff) SynthKeyOff(&synth, a.note, time);
      if (a.kind == JLMidiAction::sustain) SynthSustain(&synth, a.on, time);
      time += 7;
    }
  }
  for (const SYNTHVOICE& v : synth.voices)
    if (v.start != -1 && (v.note < 0 || v.note >= kSynthNotes || !(v.gain >= 0 && v.gain <= 1))) abort();
  return 0;
}
