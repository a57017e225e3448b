// The cases of the control's Wine tests, one file per concern.
#pragma once

namespace controltest {

// registration.cpp
void caseregistry();
void casetypelib();
void casecreate();
void caseunregistered();
// hosting.cpp
void casecontainer();
void caseatl();
// playback.cpp
void caseplay();
void caseopenfile();
void casepaths();
void caseplaylist();
void casevanish();
void casenodevice();
void casewidepaths();
// deployment.cpp
void casedeploy();
void caseunloadable();
void casetruncated();
void caselocked();
void caseplanted();
void caseunwritable();
// lifetimes.cpp
void casetwocontrols();
void casetwoapartments();
void casereleaseplaying();
void casesoak();
void casereload();
// about.cpp
void caseabout();
// extended.cpp
void caseextypelib();
void caseextags();
void caseexseek();
void caseexmeasure();

}  // namespace controltest
