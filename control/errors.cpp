#include "control/errors.h"

#include "engine/protocol.h"

namespace control {

namespace {

const ErrorEntry Table[] = {
    {NoError, "No error"},
    {SameInputOutput, "The input file is the same as the output"},
    {EmptyPath, "The input file is empty "},
    {EmptyOutput, "The outputfile file is empty "},
    {InvalidPath, "The input file or path is invalid"},
    {InvalidOutput, "The output file or path is invalid"},
    {CannotOpenMedia, "Cannot open media file"},
    {WaveOutOpen, "Error opening waveout"},
    {NotOgg, "Input does not appear to be an Ogg bitstream"},
    {FirstPage, "Error reading first page of Ogg bitstream data"},
    {FirstPacket, "Error reading initial header packet"},
    {NotVorbis, "This Ogg bitstream does not contain Vorbis"},
    {CorruptHeader, "Corrupt secondary header"},
    {ShortHeaders, "End of file before finding all Vorbis headers!"},
    {NoDevice, "No valid devices in the system"},
    {TooManyStreams, "Too many sounds playing at once"},
    {ServerUnreachable, "The server could not be reached"},
    {ServerRefused, "The server refused the request"},
    {TooManyRedirects, "The server redirected the request too many times"},
    {CertificateInvalid, "The server's certificate is not valid"},
    {BadServerAnswer, "The server's answer is not a valid HTTP answer"},
    {ConnectionLost, "The connection to the server was lost"},
    {ServerStalled, "The server stopped sending"},
};

const ErrorEntry Unexpected = {UnexpectedError, "Unexpected error"};

}  // namespace

ErrorEntry LookupError(int32_t number) {
  for (const ErrorEntry& entry : Table)
    if (entry.number == number) return entry;
  return Unexpected;
}

bool ErrorForRunState(int32_t state, int32_t& number) {
  using namespace zelov;
  // A run that ended while paused (state 1 after a cancel) reports nothing.
  static const struct {
    int32_t state, number;
  } reported[] = {
      {resultok, NoError},          {resultdeviceopen, WaveOutOpen},  {resultnotogg, NotOgg},
      {resultfirstpage, FirstPage}, {resultfirstpacket, FirstPacket}, {resultnotvorbis, NotVorbis},
      {resultbadheader, CorruptHeader}, {resultshortheaders, ShortHeaders}, {resultnodevice, NoDevice},
      {resultcantopen, CannotOpenMedia},
      {resultunreachable, ServerUnreachable}, {resulthttpstatus, ServerRefused}, {resultredirects, TooManyRedirects},
      {resultcertificate, CertificateInvalid}, {resultheaders, BadServerAnswer},
      {resultconnectionlost, ConnectionLost}, {resultstalled, ServerStalled},
  };
  for (const auto& entry : reported) {
    if (entry.state == state) {
      number = entry.number;
      return true;
    }
  }
  return false;
}

}  // namespace control
