#include "control/engineclient.h"

#include "bridge/calls.h"
#include "bridge/paths.h"

namespace control::engine {

using base::widen;
using base::wtext;

namespace {

const wtext Blank = u" ";

}  // namespace

int32_t ask(const char* word) { return bridge::CallEngine(widen(word), Blank, Blank, Blank); }

int32_t askcount(const char* word) { return bridge::CallEngine(widen(word), Blank, Blank, u"0"); }

wtext asktext(const char* word, char16_t fill) {
  wtext command = widen(word), answer(255, fill), third = Blank;
  bridge::CallEngineText(command, answer, third, 0);
  return answer;
}

double askdouble(const char* word) {
  double value = 0;
  bridge::CallEngineData(word, &value);
  return value;
}

void senddouble(const char* word, double value) { bridge::CallEngineData(word, &value); }

void sendlong(const char* word, int32_t value) { bridge::CallEngineData(word, &value); }

void fill(const char* word, void* buffer) { bridge::CallEngineData(word, buffer); }

void open(const wtext& path) { bridge::OpenInEngine(path); }

}  // namespace control::engine
