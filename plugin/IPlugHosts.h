// Host identification: the table of known hosts, matched by substring of the host's name or
// bundle identifier. Nothing in the system displays the names; the ids only steer host quirks.
#pragma once

enum EHost {
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostTracktion = 10,
  kHostNTracks = 11,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostBias = 19,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28
};

// The id of the first table substring found in the lower-cased name; 0 (unknown) for none or a
// null name. Any length of name is accepted.
int LookUpHost(const char* name);
// Writes the display name of a host id ("Unknown" for ids without one); str must hold 32 bytes.
void GetHostNameStr(int host, char* str);
