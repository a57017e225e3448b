// The spectrum of what a voice's mix has just taken, for a visualiser that
// polls it: the last voice::spectrumframes frames under a Hann window,
// through kissfft's real transform, read out as bands spaced evenly on a
// logarithmic scale from 20 Hz to 20 kHz. A band's level is the amplitude
// of its strongest bin, 0 to 1 (a sine at full scale gives 1 on a bin, and
// no less than 0.85 between two: the window's scalloping). The bins are the card's rate over spectrumframes apart
// (21.5 Hz at 44.1 kHz), so that the lowest bands, narrower than a bin,
// take the level of the bin nearest their centre.
#pragma once
#include <cstdint>

namespace zelov {

struct voice;

// Fills `levels` with `bands` levels (1 to spectrumbandsmost); false when
// memory for the transform cannot be had (the levels are then 0).
bool spectrum(const voice& v, int32_t cardrate, int32_t bands, double* levels);

}  // namespace zelov
