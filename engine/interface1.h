// The engine's one exported entry point. It has the shape of a window
// procedure because the control calls it through CallWindowProcA.
#pragma once
#include "engine/streams/platform.h"

extern "C" LRESULT CALLBACK interface1(const char* command, char* text, void* third, void* fourth);
