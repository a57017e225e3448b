// The numbers of the control library's resources, shared by the resource
// script and the code that loads them. Plain #defines: the resource
// compiler reads this file too.
#pragma once

#define ZEL_TYPELIB_RESOURCE 1      // TYPELIB: the ZelOggPlayer100 type library
#define ZEL_TYPELIB_EX_RESOURCE 2   // TYPELIB: the ZelOggPlayerEx type library
#define ZEL_ENGINE_RESOURCE 1       // the playback engine, byte for byte
#define ZEL_ENGINE_RESOURCE_TYPE 10 // RT_RCDATA
#define ZEL_FACE_BITMAP 101         // the design-time picture, 39 by 37 pixels, 24-bit
#define ZEL_ABOUT_ICON 102          // the About box's icon, 32 by 32, 16 colours
#define ZEL_TOOLBOX_BITMAP 30000    // the toolbox picture of development environments

// The engine's file name, as built and as deployed. The 64-bit edition's
// engine has a name of its own, so that a 32-bit and a 64-bit host on one
// machine each deploy and load their own engine beside the other's.
#ifdef _WIN64
#define ZEL_ENGINE_FILE "zelov64.dll"
#else
#define ZEL_ENGINE_FILE "zelov.dll"
#endif
