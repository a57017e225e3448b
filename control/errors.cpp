#include "control/errors.h"

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

const ErrorEntry Unexpected = {255, "Unexpected error"};

}  // namespace

ErrorEntry LookupError(int32_t number) {
  for (const ErrorEntry& entry : Table)
    if (entry.number == number) return entry;
  return Unexpected;
}

bool ErrorForRunState(int32_t state, int32_t& number) {
  if (state == 0) {
    number = 0;
    return true;
  }
  if (state >= 2 && state <= 9) {  // the engine's failures 2..9 are 22..29
    number = 20 + state;
    return true;
  }
  if (state == 10) {  // the file could not be opened
    number = 20;
    return true;
  }
  return false;
}

}  // namespace control
