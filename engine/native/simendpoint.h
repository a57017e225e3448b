// Simulated sound cards that stand in for WASAPI in the native build: the
// cards present (each with an id, a name, a rate and channels), the user's
// default among them, and what each card was given, kept for the tests. A
// card takes sound at the pace of its rate, a period of 5 ms at a time.
#pragma once
#include <string>
#include <vector>

namespace simendpoint {

// Forgets every card and what it was given; one card is then present:
// "card-a", "Speakers (Simulated Audio)", 44100 Hz, 2 channels, the default.
void reset();
void addcard(const std::u16string& id, const std::u16string& name, int rate, int channels);
// The card goes away: its open output fails at its next period.
void removecard(const std::u16string& id);
// The user picks another default card: every watch is told.
void setdefault(const std::u16string& id);
// The samples the card has been given since reset, interleaved float.
std::vector<float> captured(const std::u16string& id);
// Whether the card's output is open now, and how often it was opened.
bool isopen(const std::u16string& id);
int opens(const std::u16string& id);

}  // namespace simendpoint
