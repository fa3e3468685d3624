// The RtMidi backend (ALSA sequencer). RtMidi reports failures by
// exceptions; none leaves this file.
#include <RtMidi.h>

#include <algorithm>

#include "engine/midi/JLMidi.h"

JLRtMidiPort::JLRtMidiPort(bool output) : output_(output) {}

JLRtMidiPort::~JLRtMidiPort() {
  close();
  if (output_) delete static_cast<RtMidiOut*>(api_);
  else delete static_cast<RtMidiIn*>(api_);
}

bool JLRtMidiPort::ensure() {
  if (api_) return true;
  try {
    if (output_) api_ = new RtMidiOut(RtMidi::LINUX_ALSA, kJLMidiClient);
    else api_ = new RtMidiIn(RtMidi::LINUX_ALSA, kJLMidiClient);
  } catch (const RtMidiError&) {
    api_ = nullptr;
  }
  return api_ != nullptr;
}

std::vector<std::string> JLRtMidiPort::allPorts() {
  std::vector<std::string> names;
  if (!ensure()) return names;
  try {
    RtMidi* m = output_ ? static_cast<RtMidi*>(static_cast<RtMidiOut*>(api_)) : static_cast<RtMidiIn*>(api_);
    const unsigned n = m->getPortCount();
    for (unsigned i = 0; i < n; ++i) names.push_back(m->getPortName(i));
  } catch (const RtMidiError&) {
  }
  return names;
}

std::vector<std::string> JLRtMidiPort::available() {
  std::vector<std::string> names = allPorts();
  names.erase(std::remove_if(names.begin(), names.end(), JL_MidiIsOwnPort), names.end());
  return names;
}

bool JLRtMidiPort::open(const std::string& name) {
  if (name.empty()) return false;
  // RtMidi numbers every port, the program's own among them.
  const std::vector<std::string> names = allPorts();
  for (unsigned i = 0; i < names.size(); ++i) {
    if (names[i].compare(0, name.size(), name) != 0 || JL_MidiIsOwnPort(names[i])) continue;
    close();
    try {
      if (output_) {
        static_cast<RtMidiOut*>(api_)->openPort(i, kJLMidiOutPort);
      } else {
        auto* in = static_cast<RtMidiIn*>(api_);
        in->ignoreTypes(true, false, true);  // system exclusive and active sensing out; clock kept
        in->setCallback(&JLRtMidiPort::onMessage, this);
        in->openPort(i, kJLMidiInPort);
      }
    } catch (const RtMidiError&) {
      return false;
    }
    openName_ = names[i];
    return true;
  }
  return false;
}

bool JLRtMidiPort::openVirtual(const std::string& name) {
  if (!ensure()) return false;
  close();
  try {
    if (output_) {
      static_cast<RtMidiOut*>(api_)->openVirtualPort(name);
    } else {
      auto* in = static_cast<RtMidiIn*>(api_);
      in->ignoreTypes(true, false, true);
      in->setCallback(&JLRtMidiPort::onMessage, this);
      in->openVirtualPort(name);
    }
  } catch (const RtMidiError&) {
    return false;
  }
  openName_ = name;
  return true;
}

void JLRtMidiPort::close() {
  if (!api_ || openName_.empty()) return;
  try {
    if (output_) {
      static_cast<RtMidiOut*>(api_)->closePort();
    } else {
      auto* in = static_cast<RtMidiIn*>(api_);
      in->closePort();
      in->cancelCallback();
    }
  } catch (const RtMidiError&) {
  }
  openName_.clear();
}

bool JLRtMidiPort::isOpen() const { return !openName_.empty(); }

bool JLRtMidiPort::send(const uint8_t* bytes, size_t size) {
  if (!output_ || !api_ || openName_.empty() || !bytes || !size) return false;
  try {
    static_cast<RtMidiOut*>(api_)->sendMessage(bytes, size);
  } catch (const RtMidiError&) {
    return false;
  }
  return true;
}

void JLRtMidiPort::setReceiver(JLMidiReceiver receiver, void* context) {
  context_ = context;
  receiver_ = receiver;
}

void JLRtMidiPort::onMessage(double, std::vector<unsigned char>* message, void* self) {
  auto* port = static_cast<JLRtMidiPort*>(self);
  if (message && !message->empty() && port->receiver_)
    port->receiver_(port->context_, message->data(), message->size(), 0);
}
