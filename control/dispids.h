// The DISPIDs of the control's methods and events, fixed by its type
// library: the IDL, the control and its tests take them from here. Plain
// #defines, since widl reads this file too.
#pragma once

// _ZelOggPlay
#define ZEL_DISPID_OPENFILE 0x60030000
#define ZEL_DISPID_PLAYFILE 0x60030001
#define ZEL_DISPID_GETSTATUS 0x60030002
#define ZEL_DISPID_PAUSEPLAYBACK 0x60030003
#define ZEL_DISPID_RESUMEPLAYBACK 0x60030004
#define ZEL_DISPID_CANCELPLAYBACK 0x60030005
#define ZEL_DISPID_CONTROLNAME 0x6003000B
#define ZEL_DISPID_ABOUT 0x6003000C
#define ZEL_DISPID_GOTO_ZELSOFTWARE 0x6003000E

// __ZelOggPlay
#define ZEL_DISPID_STATUS 1
#define ZEL_DISPID_FINISHED 2
#define ZEL_DISPID_OGGVORBISSETTINGS 3
#define ZEL_DISPID_PROGRESS 4
#define ZEL_DISPID_TIMEPOSITION 5
#define ZEL_DISPID_ERRORCODE 6
