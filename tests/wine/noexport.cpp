// A library that loads but has no interface1, for the fault cases of the
// control's tests.
extern "C" __declspec(dllexport) int notinterface1() { return 0; }
