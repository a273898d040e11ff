#include "AlsaTimedOutput.h"

#include "MidiBackend.h"

#include <alsa/asoundlib.h>

#include <time.h>

#include <cstdio>
#include <sstream>
#include <vector>

namespace {

int64_t monotonicNs()
{
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void report(const char* what, int err)
{
  fprintf(stderr, "MIDI PORTS: scheduled ALSA output: %s failed: %s\n", what, snd_strerror(err));
}

struct Destination
{
  std::string name;
  int client, port;
};

// Every port others can write to, named as RtMidi's ALSA output lists them.
std::vector<Destination> destinations(snd_seq_t* seq)
{
  std::vector<Destination> found;
  snd_seq_client_info_t* cinfo;
  snd_seq_port_info_t* pinfo;
  snd_seq_client_info_alloca(&cinfo);
  snd_seq_port_info_alloca(&pinfo);
  snd_seq_client_info_set_client(cinfo, -1);
  while (snd_seq_query_next_client(seq, cinfo) >= 0)
  {
    const int client = snd_seq_client_info_get_client(cinfo);
    snd_seq_port_info_set_client(pinfo, client);
    snd_seq_port_info_set_port(pinfo, -1);
    while (snd_seq_query_next_port(seq, pinfo) >= 0)
    {
      const unsigned caps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
      if ((snd_seq_port_info_get_capability(pinfo) & caps) != caps)
        continue;
      std::ostringstream name;
      name << snd_seq_client_info_get_name(cinfo) << ":" << snd_seq_port_info_get_name(pinfo) << " " << client << ":"
           << snd_seq_port_info_get_port(pinfo);
      found.push_back({name.str(), client, snd_seq_port_info_get_port(pinfo)});
    }
  }
  return found;
}

}  // namespace

bool AlsaTimedOutput::open(const std::string& clientName, const std::string& portName, const char* ownName)
{
  close();
  int err = snd_seq_open(&mSeq, "default", SND_SEQ_OPEN_OUTPUT, 0);
  if (err < 0)
  {
    mSeq = nullptr;
    report("opening the sequencer", err);
    return false;
  }
  snd_seq_set_client_name(mSeq, clientName.c_str());
  mPort = snd_seq_create_simple_port(mSeq, ownName ? ownName : "clock",
                                     SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (mPort < 0 || snd_midi_event_new(16, &mCoder) < 0)
  {
    report("making the port", mPort < 0 ? mPort : -ENOMEM);
    close();
    return false;
  }
  snd_midi_event_no_status(mCoder, 1);  // every message whole, no running status
  std::vector<std::string> names;
  const std::vector<Destination> dests = destinations(mSeq);
  for (const Destination& d : dests)
    names.push_back(d.name);
  const int found = MidiFindPortName(names, portName);
  if (found < 0 || (err = snd_seq_connect_to(mSeq, mPort, dests[(size_t)found].client, dests[(size_t)found].port)) < 0)
  {
    report("connecting to the device's port", found < 0 ? -ENOENT : err);
    close();
    return false;
  }
  if (!startQueue())
  {
    close();
    return false;
  }
  return true;
}

bool AlsaTimedOutput::startQueue()
{
  mQueue = snd_seq_alloc_queue(mSeq);
  if (mQueue < 0)
  {
    report("making the queue", mQueue);
    return false;
  }
  // The high-resolution timer at the highest frequency the sequencer takes; when the kernel has
  // no such timer the queue keeps its default one.
  snd_seq_queue_timer_t* timer;
  snd_seq_queue_timer_alloca(&timer);
  if (snd_seq_get_queue_timer(mSeq, mQueue, timer) == 0)
  {
    snd_timer_id_t* id;
    snd_timer_id_alloca(&id);
    snd_timer_id_set_class(id, SND_TIMER_CLASS_GLOBAL);
    snd_timer_id_set_sclass(id, SND_TIMER_SCLASS_NONE);
    snd_timer_id_set_card(id, -1);
    snd_timer_id_set_device(id, SND_TIMER_GLOBAL_HRTIMER);
    snd_timer_id_set_subdevice(id, 0);
    snd_seq_queue_timer_set_type(timer, SND_SEQ_TIMER_ALSA);
    snd_seq_queue_timer_set_id(timer, id);
    snd_seq_queue_timer_set_resolution(timer, kTimerHz);
    if (snd_seq_set_queue_timer(mSeq, mQueue, timer) < 0)
      fprintf(stderr, "MIDI PORTS: scheduled ALSA output: no high-resolution timer, ticks keep the default one's\n");
  }
  int err = snd_seq_start_queue(mSeq, mQueue, nullptr);
  if (err >= 0)
    err = snd_seq_drain_output(mSeq);
  if (err < 0)
  {
    report("starting the queue", err);
    return false;
  }
  // Where queue time 0 lies on the monotonic clock: read both side by side.
  snd_seq_queue_status_t* status;
  snd_seq_queue_status_alloca(&status);
  const int64_t before = monotonicNs();
  err = snd_seq_get_queue_status(mSeq, mQueue, status);
  const int64_t after = monotonicNs();
  if (err < 0)
  {
    report("reading the queue's time", err);
    return false;
  }
  const snd_seq_real_time_t* t = snd_seq_queue_status_get_real_time(status);
  mQueueZeroNs = (before + after) / 2 - (static_cast<int64_t>(t->tv_sec) * 1000000000LL + t->tv_nsec);
  return true;
}

void AlsaTimedOutput::close()
{
  if (mCoder)
    snd_midi_event_free(mCoder);
  mCoder = nullptr;
  if (mSeq)
  {
    if (mQueue >= 0)
      snd_seq_free_queue(mSeq, mQueue);
    snd_seq_close(mSeq);  // also removes the port and its connection
  }
  mSeq = nullptr;
  mPort = mQueue = -1;
}

bool AlsaTimedOutput::sendAt(const unsigned char* bytes, size_t size, int64_t atNs)
{
  if (!mSeq || !bytes || size < 1 || size > 3)
    return false;
  snd_seq_event_t ev;
  snd_seq_ev_clear(&ev);
  snd_midi_event_reset_encode(mCoder);
  if (snd_midi_event_encode(mCoder, bytes, static_cast<long>(size), &ev) != static_cast<long>(size) ||
      ev.type == SND_SEQ_EVENT_NONE)
    return false;
  int64_t due = atNs + kLatencyNs - mQueueZeroNs;
  if (due < 0)
    due = 0;
  snd_seq_real_time_t when;
  when.tv_sec = static_cast<unsigned>(due / 1000000000LL);
  when.tv_nsec = static_cast<unsigned>(due % 1000000000LL);
  snd_seq_ev_set_source(&ev, mPort);
  snd_seq_ev_set_subs(&ev);
  snd_seq_ev_schedule_real(&ev, mQueue, 0, &when);
  return snd_seq_event_output(mSeq, &ev) >= 0 && snd_seq_drain_output(mSeq) >= 0;
}
