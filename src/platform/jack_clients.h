#pragma once

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

// Before opening a client (or a stream): false while clients of a lost server
// are still held. Once none is, the loss is forgotten and opening may go on.
bool mayOpen();

// An owner opened, or closed, a client or a stream.
void held();
void released();

}  // namespace tessivox::jackClients
