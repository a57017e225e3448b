#include "control/player.h"

#include "bridge/dllinterface2.h"
#include "control/errors.h"

namespace control {

using namespace bridge;

namespace {

const wtext Blank = u" ";

int32_t Ask(const char16_t* command, const char16_t* fourth = u" ") {
  return CallEngine(command, Blank, Blank, fourth);
}

// A text answer of the engine, asked for with a buffer of 255 characters.
wtext AskText(const char16_t* command, char16_t fill) {
  wtext word = command, answer(255, fill), third = Blank;
  CallEngineText(word, answer, third, 0);
  return answer;
}

void EnsureLoaded() { EnsureEngineLoaded(False); }

}  // namespace

void Player::Enable(int timer, bool on) {
  enabled_[timer] = on;
  host_.SetTimer(timer, on);
}

// Steps shared by OpenFile and PlayFile; false when a check of the path
// failed and the host has been told.
bool Player::Open(const wtext& Inputfile) {
  EnsureLoaded();
  CancelPlayback();
  if (IsEmptyText(Inputfile) == True) {
    host_.Finished();
    RaiseErrorCode(3);
    return false;
  }
  if (FileReadable(Inputfile) == False) {
    host_.Finished();
    RaiseErrorCode(5);
    return false;
  }
  CallEngine(u"open", AnsiPath(Inputfile), Blank, Blank);
  Enable(Timer1, true);
  Enable(Timer2, true);
  return true;
}

void Player::OpenFile(const wtext& Inputfile) { Open(Inputfile); }

void Player::PlayFile(const wtext& Inputfile) {
  if (Open(Inputfile)) Enable(Timer3, true);
}

wtext Player::GetStatus() {
  EnsureLoaded();
  switch (Ask(u"intreturn")) {
    case 1000: return u"playing";
    case 1001: return u"paused";
    default: return u"stop";
  }
}

void Player::PausePlayback() {
  EnsureLoaded();
  Ask(u"pause");
}

void Player::ResumePlayback() {
  EnsureLoaded();
  Ask(u"resume");
}

void Player::CancelPlayback() {
  Enable(Timer1, false);
  Enable(Timer2, false);
  EnsureLoaded();
  Ask(u"cancel");
}

void Player::Tick(int timer) {
  if (timer < Timer1 || timer > Timer3 || !enabled_[timer] || ticking_[timer]) return;
  ticking_[timer] = true;
  try {
    EnsureLoaded();
    if (timer == Timer1) Timer1Tick();
    if (timer == Timer2) Timer2Tick();
    if (timer == Timer3) Timer3Tick();
  } catch (const AutomationError&) {
    // A tick has no caller to fail; the next tick tries the engine again.
  }
  ticking_[timer] = false;
}

void Player::Timer1Tick() {
  const int32_t state = Ask(u"intreturn");
  if (state != LastStatus) {
    wtext text;
    if (state == 1000) text = u"playing";
    else if (state == 1001) text = u"paused";
    else if (state < 1000) text = u"stop";
    if (!text.empty()) host_.Status(text);
  }
  if (state < 999) {
    // The timers go off before Finished, so that a handler which starts the
    // next file leaves them running for it.
    Enable(Timer1, false);
    Enable(Timer2, false);
    host_.Finished();
    int32_t number;
    if (ErrorForRunState(state, number)) RaiseErrorCode(number);
  }
  LastStatus = state;
}

void Player::Timer2Tick() {
  VendorText = wtext(255, u'\0');
  int32_t rate = Ask(u"samplerate");
  int32_t bitrate = Ask(u"bitrate");
  int32_t channels = Ask(u"intchannels");
  int32_t version = Ask(u"intversion");
  wtext word = u"intvendor", third = Blank;
  CallEngineText(word, VendorText, third, 0);
  const std::size_t nul = VendorText.find(u'\0');
  if (nul != wtext::npos) VendorText.resize(nul);
  if (bitrate != LastBitrate) host_.OggVorbisSettings(rate, bitrate, channels, version, VendorText);
  LastBitrate = bitrate;

  int32_t elapsed = Ask(u"gettime", u"0");
  TimeText = AskText(u"gettimestring", u' ').substr(0, 8);
  host_.Progress(elapsed, TimeText);

  SecondsText = AskText(u"getsecondsstring", u' ').substr(0, 8);
  int32_t length = Ask(u"getseconds", u"0");
  host_.TimePosition(length, SecondsText);
}

void Player::Timer3Tick() {
  if (Ask(u"flagdewave") != 0) {
    Enable(Timer3, false);
    ResumePlayback();
  }
}

void Player::RaiseErrorCode(const int32_t& number) {
  const ErrorEntry entry = LookupError(number);
  int32_t ErrorNumber = entry.number;
  wtext ErrorDescription = widen(entry.description);
  host_.ErrorCode(ErrorNumber, ErrorDescription);
}

}  // namespace control
