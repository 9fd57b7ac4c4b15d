#pragma once

#include <cstdint>
#include <mutex>

namespace tessivox::jackClients {

// libjack keeps one context per process. When a client is opened after the
// server went away, it closes and frees every client still open (its
// JackLibGlobals::Init), behind the backs of their owners, whose next call on
// them then crashes. So once any owner sees the server gone, every owner lets
// go of its client, and no client is opened until all have. The audio stream
// counts as an owner: its device may be ALSA's "jack" plugin, a JACK client
// inside the audio library.

// From a client's shutdown callback: the server went away. Any thread,
// real-time safe.
void markServerLost();
bool serverLost();

// Whether a lost server's clients may be closed now. libjack's threads end on
// their own once they hear the loss, and a close cancels them
// asynchronously: a thread cancelled while it exits (freeing its memory)
// leaves the allocator locked for good. So a close waits a little after the
// last report of the loss.
bool lossSettled();

// Before opening a client (or a stream): false while clients of a lost server
// are still held. Once none is, the loss is forgotten and opening may go on.
bool mayOpen();

// An owner opened, or closed, a client or a stream.
void held();
void released();

// Held around every open, use and close of the program's JACK clients and
// around every audio library call that may open, start or close the stream's:
// libjack's freeing (above) happens inside an open, so an owner that holds
// this and finds generation() unchanged since its open knows its client is
// still there. A server lost between two looks (no owner's client on it to
// hear) is caught that way too. Recursive; never in a real-time callback.
using Lock = std::unique_lock<std::recursive_mutex>;
Lock lock();
Lock tryLock();  // may not own the mutex: check owns_lock()

// Counts libjack's freeing of all the clients it held (it says so through
// its error function, see quietMessages).
uint32_t generation();

// Sends libjack's error and info messages nowhere (they are socket noise when
// the server dies), but notes the freeing. Process-wide and permanent; again
// after anything that sets its own (the audio library's start-up does).
void quietMessages();

}  // namespace tessivox::jackClients
