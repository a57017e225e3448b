#include "control/errors.h"

#include "engine/protocol.h"

namespace control {

namespace {

const ErrorEntry Table[] = {
    {0, "No error"},
    {2, "The input file is the same as the output"},
    {3, "The input file is empty "},
    {4, "The outputfile file is empty "},
    {5, "The input file or path is invalid"},
    {6, "The output file or path is invalid"},
    {20, "Cannot open media file"},
    {22, "Error opening waveout"},
    {23, "Input does not appear to be an Ogg bitstream"},
    {24, "Error reading first page of Ogg bitstream data"},
    {25, "Error reading initial header packet"},
    {26, "This Ogg bitstream does not contain Vorbis"},
    {27, "Corrupt secondary header"},
    {28, "End of file before finding all Vorbis headers!"},
    {29, "No valid devices in the system"},
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
      {resultok, 0},           {resultdeviceopen, 22}, {resultnotogg, 23},       {resultfirstpage, 24},
      {resultfirstpacket, 25}, {resultnotvorbis, 26},  {resultbadheader, 27},    {resultshortheaders, 28},
      {resultnodevice, 29},    {resultcantopen, 20},
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
