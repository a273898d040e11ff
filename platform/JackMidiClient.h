// What the JACK MIDI input and output (JackMidiInput.h, JackMidiOutput.h) share: opening their
// client, listing and opening ports by name, and letting go of a port without racing the process
// thread. Errors are reported on standard error as "MIDI PORTS: " lines naming the operation
// (what: "input" or "output").
//
// Threads: the owner's thread (never the JACK process thread), as the owners' own calls.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <jack/types.h>

namespace jackmidi {

// Opens a client (the server is never started for us) into *client, sets its process, shutdown
// and port-connect callbacks and activates it. *client is set before activation, since the
// callbacks read it; false, with *client null, when there is no server or activation failed.
bool openClient(jack_client_t** client, const std::string& name, JackProcessCallback process,
                JackShutdownCallback shutdown, JackPortConnectCallback connect, void* arg, const char* what);

// For a port-connect callback (JACK's notification thread): true when the connection that went
// away between a and b was the last one of our port `ours`: the port it was connected to
// unregistered (its program ended, the interface was unplugged) or a patchbay undid it.
bool lostLastConnection(jack_client_t* client, jack_port_t* ours, jack_port_id_t a, jack_port_id_t b, int connect);

// Full names of the MIDI ports with these flags (JackPortIsInput: ports we can send to;
// JackPortIsOutput: ports we can read), as jack_get_ports lists them.
std::vector<std::string> listPorts(jack_client_t* client, unsigned long flags);

// Registers our MIDI port ownName (flags: JackPortIsInput or JackPortIsOutput); null when refused.
jack_port_t* registerPort(jack_client_t* client, const char* ownName, unsigned long flags, const char* what);

// Registers our port ownName, hands it to the process callback through port, and connects it
// with the port found for portName (exact name first, then without ALSA's numbers) in the
// direction of flags: the first message after the connection is not missed. False when no such
// port exists or the connection failed; our port is then released again (see releasePort).
bool openPort(jack_client_t* client, const std::string& portName, const char* ownName, unsigned long flags,
              const char* what, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
              const std::atomic<bool>& serverGone);

// Returns once the process callback is not running (inCycle, see releasePort). For an object whose
// server went away before it is deleted: no cycle starts any more, and one that was running has
// ended, its reads ordered before the delete.
void waitForCycleEnd(const std::atomic<bool>& inCycle);

// Takes port away from the process callback and unregisters it once no cycle can be using it.
// The callback sets inCycle before it reads port and clears it when done; both sequentially
// consistent, so a callback either sees null or is seen here and waited for. The callback never
// blocks, so the wait is short. Nothing is unregistered once the server has gone.
void releasePort(jack_client_t* client, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
                 const std::atomic<bool>& serverGone);

}  // namespace jackmidi
