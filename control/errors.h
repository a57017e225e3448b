// The error numbers and descriptions that reach the host through the
// ErrorCode event.
#pragma once
#include <cstdint>

namespace control {

// The numbers of the ErrorCode event.
enum ErrorNumber : int32_t {
  NoError = 0,
  SameInputOutput = 2,     // kept in the table, never raised
  EmptyPath = 3,           // the path given is ""
  EmptyOutput = 4,         // kept in the table, never raised
  InvalidPath = 5,         // the file cannot be opened or read
  InvalidOutput = 6,       // kept in the table, never raised
  CannotOpenMedia = 20,    // the engine cannot open the file
  WaveOutOpen = 22,        // the wave-out device cannot be opened
  NotOgg = 23,
  FirstPage = 24,
  FirstPacket = 25,
  NotVorbis = 26,
  CorruptHeader = 27,
  ShortHeaders = 28,
  NoDevice = 29,
  TooManyStreams = 30,     // every stream of the engine plays another control's file
  // A file or stream on a web server (ZelOggPlayEx's OpenUrl and PlayUrl):
  ServerUnreachable = 31,  // no connection to its server
  ServerRefused = 32,      // an HTTP status of 400 or more (given in the description)
  TooManyRedirects = 33,
  CertificateInvalid = 34,  // its HTTPS certificate does not validate
  BadServerAnswer = 35,    // headers too large, or not HTTP
  ConnectionLost = 36,     // broke off, and could not be made again
  ServerStalled = 37,      // stopped sending, and again after each new connection
  // Any failure the table has no better number for.
  UnexpectedError = 255,
};

struct ErrorEntry {
  int32_t number;
  const char* description;
};

// The table's entry for a number; a number the table does not list becomes
// 255 "Unexpected error".
ErrorEntry LookupError(int32_t number);

// The error number a playback's end reports for the engine's final run
// state; false when it reports none (cancelled while paused, or any other
// state).
bool ErrorForRunState(int32_t state, int32_t& number);

}  // namespace control
