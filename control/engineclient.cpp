#include "control/engineclient.h"

#include "bridge/calls.h"
#include "bridge/paths.h"

namespace control {

using base::widen;
using base::wtext;

namespace {

const wtext Blank = u" ";

}  // namespace

EngineClient EngineClient::newstream() { return EngineClient(bridge::OpenEngineStream()); }

void EngineClient::closestream() {
  if (stream_ != 0) bridge::CloseEngineStream(stream_);
  stream_ = 0;
}

int32_t EngineClient::ask(const char* word) const {
  if (stream_ != 0) return bridge::CallEngineOnStream(stream_, word, nullptr);
  return bridge::CallEngine(widen(word), Blank, Blank, Blank);
}

int32_t EngineClient::askcount(const char* word) const {
  if (stream_ != 0) return bridge::CallEngineOnStream(stream_, word, nullptr);
  return bridge::CallEngine(widen(word), Blank, Blank, u"0");
}

wtext EngineClient::asktext(const char* word, char16_t fill) const {
  wtext answer(255, fill);
  if (stream_ != 0) {
    bridge::CallEngineTextOnStream(stream_, word, answer);
  } else {
    wtext command = widen(word), third = Blank;
    bridge::CallEngineText(command, answer, third, 0);
  }
  return answer;
}

double EngineClient::askdouble(const char* word) const {
  double value = 0;
  fill(word, &value);
  return value;
}

void EngineClient::senddouble(const char* word, double value) const { fill(word, &value); }

void EngineClient::sendlong(const char* word, int32_t value) const { fill(word, &value); }

int32_t EngineClient::call(const char* word, void* data) const {
  if (stream_ != 0) return bridge::CallEngineOnStream(stream_, word, data);
  return bridge::CallEngineData(word, data);
}

void EngineClient::open(const wtext& path) const { bridge::OpenInEngine(path, stream_); }

}  // namespace control
