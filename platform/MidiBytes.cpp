#include "MidiBytes.h"

int MidiShortMessageLength(unsigned char status)
{
  if (status < 0x80)
    return 0;
  if (status < 0xF0)
  {
    const int kind = status >> 4;
    return (kind == 0xC || kind == 0xD) ? 2 : 3;
  }
  switch (status)
  {
    case 0xF1:  // MIDI time code quarter frame
    case 0xF3:  // song select
      return 2;
    case 0xF2:  // song position
      return 3;
    case 0xF0:
    case 0xF7:
      return 0;
    default:  // tune request, the real-time messages, the undefined ones
      return 1;
  }
}

bool MidiStatusUndefined(unsigned char status)
{
  return status == 0xF4 || status == 0xF5 || status == 0xF9 || status == 0xFD;
}
