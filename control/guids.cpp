// Defines the type libraries' GUIDs (LIBID, IID, DIID, CLSID) once.
#include "com/win.h"
#include <initguid.h>
#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
