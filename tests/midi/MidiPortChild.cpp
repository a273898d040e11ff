// The editor's output as a process of its own, for a test that stops it as a debugger, swap or a
// suspended laptop stops a whole process:
//
//   midi_port_child PORT SECONDS
//
// opens PORT (on the JACK server the environment names), then for SECONDS sends a note every 5 ms
// and lists the ports every millisecond in between, as the port watch does. Exits 0 when its port
// never counted lost and its client was never replaced, 1 when it did, 2 when it could not open.
#include <cstdlib>
#include <ctime>

#include "MidiPorts.h"

int main(int argc, char** argv)
{
  if (argc != 3)
    return 2;
  MidiOutputPort out;
  if (!out.create("Stopped") || !out.open(argv[1], "to Dorvik"))
    return 2;
  jack_client_t* const first = out.jackClient();
  bool kept = true;
  const unsigned char note[3] = {0x90, 60, 100};
  const time_t end = time(nullptr) + atoi(argv[2]);
  for (int ms = 0; time(nullptr) < end; ++ms)
  {
    out.listPortNames();
    kept = kept && !out.lost() && out.jackClient() == first;
    if (ms % 5 == 0)
      out.send(note, sizeof note);
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
  return kept ? 0 : 1;
}
