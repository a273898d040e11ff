#include "MidiBackend.h"

#include <RtMidi.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

bool rtMidiHas(RtMidi::Api api)
{
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api a : apis)
    if (a == api)
      return true;
  return false;
}

// Opening the device (rather than stat-ing it) also catches a node we may not use.
bool alsaSequencerUsable()
{
  int fd = open("/dev/snd/seq", O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return false;
  close(fd);
  return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

MidiSystem MidiChooseSystem()
{
  const bool haveAlsa = rtMidiHas(RtMidi::LINUX_ALSA);
  const bool haveJack = rtMidiHas(RtMidi::UNIX_JACK);
  if (const char* forced = getenv("SORVANTA_MIDI_API"))
  {
    if (!strcmp(forced, "jack") && haveJack)
      return kMidiSystemJack;
    if (!strcmp(forced, "alsa") && haveAlsa)
      return kMidiSystemAlsa;
  }
  if (haveAlsa && alsaSequencerUsable())
    return kMidiSystemAlsa;
  if (haveJack)
    return kMidiSystemJack;
  return haveAlsa ? kMidiSystemAlsa : kMidiSystemNone;
}

const char* MidiSystemName(MidiSystem system)
{
  switch (system)
  {
    case kMidiSystemAlsa: return "alsa";
    case kMidiSystemJack: return "jack";
    default: return "none";
  }
}

std::string MidiPortNameWithoutNumbers(const std::string& name)
{
  // Walk back over "<digits>:<digits>" and require the blank before it.
  size_t i = name.size();
  size_t digits = 0;
  while (i > 0 && isDigit(name[i - 1])) { --i; ++digits; }
  if (!digits || i == 0 || name[i - 1] != ':')
    return name;
  --i;
  digits = 0;
  while (i > 0 && isDigit(name[i - 1])) { --i; ++digits; }
  if (!digits || i < 2 || name[i - 1] != ' ')
    return name;  // nothing would be left of a name that is only numbers
  return name.substr(0, i - 1);
}

int MidiFindPortName(const std::vector<std::string>& names, const std::string& wanted, int first)
{
  const int n = (int)names.size();
  for (int i = first < 0 ? 0 : first; i < n; ++i)
    if (names[i] == wanted)
      return i;
  const std::string bare = MidiPortNameWithoutNumbers(wanted);
  if (bare.empty())
    return -1;
  // Two units of one model list the same name with other numbers: neither is the one meant.
  int found = -1;
  for (int i = first < 0 ? 0 : first; i < n; ++i)
    if (MidiPortNameWithoutNumbers(names[i]) == bare)
    {
      if (found >= 0)
        return -1;
      found = i;
    }
  return found;
}
