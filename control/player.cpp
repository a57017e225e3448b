#include "control/player.h"

#include <algorithm>
#include <string>

#include "bridge/deployment.h"
#include "bridge/link.h"
#include "bridge/ownership.h"
#include "bridge/paths.h"
#include "control/engineclient.h"
#include "control/errors.h"
#include "control/tags.h"
#include "engine/protocol.h"

namespace control {

using namespace bridge;
namespace word = zelov::word;

namespace {

void EnsureLoaded() { EnsureEngineLoaded(false); }

// How long an open of ZelOggPlayEx waits at most for the file's length and
// comments: a local file takes a few milliseconds; a file on a share that
// does not answer must not hold the caller's thread for long.
constexpr int32_t ReadyWaitMs = 2000;

}  // namespace

Player::Player(PlayerHost& host, bool ownstream) : host_(host), ownstream_(ownstream), number_(NewControlNumber()) {}

Player::~Player() { Close(); }

void Player::Close() {
  if (ownstream_ && EngineLinked()) {
    engine_.closestream();
    next_.closestream();
    outgoing_.closestream();
  }
  queued_ = false;
  DisownPlayback(number_);
}

template <typename Send>
void Player::EachStream(Send send) {
  if (OwnStreamTaken()) send(engine_);
  if (next_.stream() != 0) send(next_);
  if (outgoing_.stream() != 0) send(outgoing_);
}

bool Player::OwnsPlayback() const {
  if (ownstream_) return true;
  const uint32_t owner = PlaybackOwner();
  return owner == 0 || owner == number_;
}

void Player::Enable(int timer, bool on) {
  enabled_[timer] = on;
  host_.SetTimer(timer, on);
}

// Timer1 then Timer2 off: the file is no longer watched.
void Player::StopMonitoring() {
  Enable(Timer1, false);
  Enable(Timer2, false);
  // A fade ends with its file, done or not.
  fade_ = 0;
  stopatfade_ = false;
}

// Steps shared by OpenFile and PlayFile; false when the file was ended at
// once (a check of the path failed, or there is no engine to play it) and
// the host has been told.
bool Player::Open(const wtext& Inputfile, const void* bytes, std::size_t size, bool url) {
  EnsureLoaded();
  // Claimed before the cancel, so that a control whose file this cuts short
  // cannot take the cancel for its file's normal end.
  if (!ownstream_) ClaimPlayback(number_);
  pausedsinceopen_ = false;
  StopMonitoring();
  DropQueue();
  CloseOutgoing(false);
  if (HasStream()) engine_.ask(word::cancel);
  if (!bytes && IsEmptyText(Inputfile)) {
    host_.Finished();
    RaiseErrorCode(EmptyPath);
    return false;
  }
  if (!bytes && !url && !FileReadable(Inputfile)) {
    host_.Finished();
    RaiseErrorCode(InvalidPath);
    return false;
  }
  if (!EngineLinked()) {
    // The user has been told by message box; the file cannot play, and
    // timers would only ask the missing engine again and again.
    host_.Finished();
    RaiseErrorCode(UnexpectedError);
    return false;
  }
  if (!HasStream()) {
    engine_ = EngineClient::newstream();
    if (!HasStream()) {
      host_.Finished();
      RaiseErrorCode(TooManyStreams);
      return false;
    }
    // Its sounds are mixed with the process's others on the sound card's
    // mixer; should the mixer not be had, the stream plays on a wave-out
    // device of its own as before.
    engine_.sendlong(word::setmixed, 1);
  }
  // Given before the open, the stream's settings are in place before the
  // first sound is decoded.
  SendSettings(engine_);
  if (bytes) {
    zelov::memoryfile file{bytes, size};
    engine_.fill(word::openmemory, &file);
  } else if (url) {
    wtext address = Inputfile + u'\0';
    engine_.call(word::openurl, address.data());
  } else {
    engine_.open(Inputfile);
  }
  // A control of its own stream returns with the length and the comments
  // known, so that the line after the open can show them.
  if (ownstream_) engine_.sendlong(word::waitready, ReadyWaitMs);
  if (ownstream_) tagsseen_ = static_cast<uint32_t>(engine_.ask(word::gettagserial));
  ++opened_;
  Enable(Timer1, true);
  Enable(Timer2, true);
  // The file's markers are looked for from its start.
  heard_ = -1;
  rebase_ = false;
  nearsent_ = false;
  if (Watching()) Enable(Timer3, true);
  return true;
}

void Player::OpenFile(const wtext& Inputfile) { Open(Inputfile); }

void Player::PlayFile(const wtext& Inputfile) {
  if (Open(Inputfile)) Play();
}

void Player::OpenMemory(const void* bytes, std::size_t size) { Open(wtext(), bytes, size); }

void Player::OpenUrl(const wtext& url) { Open(url, nullptr, 0, true); }

void Player::PlayUrl(const wtext& url) {
  if (Open(url, nullptr, 0, true)) Play();
}

bool Player::SetBufferSeconds(double seconds) {
  if (!(seconds >= zelov::bufferleast / 1000.0 && seconds <= zelov::buffermost / 1000.0)) return false;
  bufferms_ = static_cast<int32_t>(seconds * 1000 + 0.5);
  EachStream([&](const EngineClient& to) { to.sendlong(word::setbuffer, bufferms_); });
  return true;
}

int32_t Player::BufferLevel() { return FileOpen() && ownstream_ ? engine_.ask(word::getbufferlevel) : 0; }

// A new link's comments (a station's next song) are told once the open's
// own have been read.
void Player::WatchComments() {
  if (!ownstream_ || !FileOpen()) return;
  const uint32_t serial = static_cast<uint32_t>(engine_.ask(word::gettagserial));
  if (serial == tagsseen_) return;
  tagsseen_ = serial;
  host_.CommentsChanged();
}

void Player::PlayMemory(const void* bytes, std::size_t size) {
  if (Open(wtext(), bytes, size)) Play();
}

void Player::Play() {
  starting_ = true;
  Enable(Timer3, true);
  // Started now rather than at Timer3's first tick: a host that runs no
  // message loop never gets that tick. The engine keeps a "resume" that
  // comes before its device is open.
  engine_.ask(word::resume);
}

wtext Player::GetStatus() {
  EnsureLoaded();
  if (!OwnsPlayback() || !HasStream()) return u"stop";  // another control's file plays, or none
  switch (engine_.ask(word::intreturn)) {
    case zelov::running: return u"playing";
    case zelov::runningpaused: return u"paused";
    default: return u"stop";
  }
}

void Player::PausePlayback() {
  EnsureLoaded();
  pausedsinceopen_ = true;
  if (OwnsPlayback() && HasStream()) engine_.ask(word::pause);
  if (outgoing_.stream() != 0) outgoing_.ask(word::pause);
}

void Player::ResumePlayback() {
  EnsureLoaded();
  if (OwnsPlayback() && HasStream()) engine_.ask(word::resume);
  if (outgoing_.stream() != 0) outgoing_.ask(word::resume);
}

void Player::CancelPlayback() {
  StopMonitoring();
  EnsureLoaded();
  DropQueue();
  CloseOutgoing(false);
  // A file of another control is not this control's to end.
  if (OwnsPlayback() && HasStream()) engine_.ask(word::cancel);
}

void Player::Tick(int timer) {
  if (timer < Timer1 || timer > Timer3 || !enabled_[timer] || ticking_[timer]) return;
  // Only the methods load the engine: a tick without one would show its
  // message box every time it fires.
  if (!Link().EngineLoaded) return;
  ticking_[timer] = true;
  if (timer == Timer1) {
    CountFade();
    Timer1Tick();
  }
  if (timer == Timer2) Timer2Tick();
  if (timer == Timer3) Timer3Tick();
  ticking_[timer] = false;
}

void Player::Timer1Tick() {
  CheckQueue();
  CloseOutgoing(true);
  if (queued_ && !enabled_[Timer3] && QueueDue()) Enable(Timer3, true);
  WatchComments();
  const uint32_t file = opened_;
  const int32_t state = engine_.ask(word::intreturn);
  // Checked after the read: a claim made before it came before the cancel
  // that ended this control's file, and the state read is not its own.
  if (!OwnsPlayback()) return EndCutShort();
  if (state != LastStatus) {
    wtext text;
    if (state == zelov::running) text = u"playing";
    else if (state == zelov::runningpaused) text = u"paused";
    else if (state < zelov::running) text = u"stop";
    if (!text.empty()) host_.Status(text);
  }
  if (state < zelov::endedbelow) {
    // The timers go off before Finished, so that a handler which starts the
    // next file leaves them running for it; a file that the Status handler
    // started keeps them too.
    // A file queued that could not even be opened: its turn has come.
    const int32_t queuedfault = queued_ ? queuedfault_ : 0;
    DropQueue();
    if (opened_ == file) StopMonitoring();
    host_.Finished();
    int32_t number;
    if (ErrorForRunState(state, number)) RaiseErrorCode(number);
    if (queuedfault != 0) RaiseErrorCode(queuedfault);
  }
  LastStatus = state;
}

// Another control started a file in this control's place: its own did not
// end normally, and nothing more is reported about the other's.
void Player::EndCutShort() {
  StopMonitoring();
  host_.Finished();
  RaiseErrorCode(UnexpectedError);
}

void Player::Timer2Tick() {
  if (!OwnsPlayback()) return;
  int32_t rate = engine_.ask(word::samplerate);
  int32_t bitrate = engine_.ask(word::bitrate);
  int32_t channels = engine_.ask(word::intchannels);
  int32_t version = engine_.ask(word::intversion);
  VendorText = engine_.asktext(word::intvendor, u'\0');
  const std::size_t nul = VendorText.find(u'\0');
  if (nul != wtext::npos) VendorText.resize(nul);
  if (bitrate != LastBitrate) host_.OggVorbisSettings(rate, bitrate, channels, version, VendorText);
  LastBitrate = bitrate;

  int32_t elapsed = engine_.askcount(word::gettime);
  TimeText = engine_.asktext(word::gettimestring, u' ').substr(0, 8);
  host_.Progress(elapsed, TimeText);

  SecondsText = engine_.asktext(word::getsecondsstring, u' ').substr(0, 8);
  int32_t length = engine_.askcount(word::getseconds);
  host_.TimePosition(length, SecondsText);
}

// Starts the output for PlayFile once its first block is ready, and
// watches a fade under way; it stops once neither is left to do.
void Player::Timer3Tick() {
  if (!OwnsPlayback()) return;
  if (starting_ && engine_.ask(word::flagdewave) != 0) {
    starting_ = false;
    // A host that paused since it opened the file keeps it paused.
    if (!pausedsinceopen_) ResumePlayback();
  }
  CheckQueue();
  CheckFade();
  WatchPlace();
  if (!starting_ && (fade_ == 0 || fadequiet_ > 0) && !Watching()) Enable(Timer3, false);
}

bool Player::FileOpen() const {
  if (!EngineLinked()) return false;
  return ownstream_ ? engine_.stream() != 0 : PlaybackOwner() == number_;
}

double Player::AskDouble(const char* command) { return FileOpen() ? engine_.askdouble(command) : 0; }

double Player::Position() { return AskDouble(word::getposition); }
double Player::Duration() { return AskDouble(word::getduration); }

void Player::SetPosition(double seconds) {
  if (!FileOpen()) return;
  engine_.senddouble(word::seek, seconds);
  rebase_ = true;
}

bool Player::AddMarker(double seconds) {
  if (!(seconds >= 0) || seconds > 1e9 || (FileOpen() && Duration() > 0 && seconds > Duration())) return false;
  markers_.insert(std::upper_bound(markers_.begin(), markers_.end(), seconds), seconds);
  if (Watching()) Enable(Timer3, true);
  return true;
}

void Player::ClearMarkers() { markers_.clear(); }

bool Player::SetNearEndSeconds(double seconds) {
  if (!(seconds >= 0 && seconds <= 3600)) return false;
  nearend_ = seconds;
  nearsent_ = false;
  if (Watching()) Enable(Timer3, true);
  return true;
}

bool Player::Spectrum(int32_t bands, std::vector<double>& levels) {
  if (bands < 1 || bands > zelov::spectrumbandsmost) return false;
  levels.assign(static_cast<std::size_t>(bands), 0.0);
  if (ownstream_ && OwnStreamTaken() && FileOpen()) {
    zelov::spectrumorder order{bands, levels.data()};
    engine_.call(word::spectrum, &order);
  }
  return true;
}

bool Player::Watching() {
  return ownstream_ && FileOpen() && (!markers_.empty() || nearend_ > 0 || QueueDue());
}

void Player::QueueFile(const wtext& Inputfile) { Queue(Inputfile, nullptr, 0); }

void Player::QueueMemory(const void* bytes, std::size_t size) {
  // Bytes or none, it is a file in memory (none fails when its turn comes).
  static const char none = 0;
  Queue(wtext(), bytes ? bytes : &none, bytes ? size : 0);
}

// Whether a file of the control's own stream is playing or paused.
bool Player::PlayingOwn() {
  return ownstream_ && EngineLinked() && OwnStreamTaken() && engine_.ask(word::intreturn) >= zelov::running;
}

void Player::Queue(const wtext& Inputfile, const void* bytes, std::size_t size) {
  EnsureLoaded();
  if (!PlayingOwn()) {
    if (bytes) PlayMemory(size ? bytes : nullptr, size);
    else PlayFile(Inputfile);
    return;
  }
  DropQueue();
  queued_ = true;
  if (!bytes && IsEmptyText(Inputfile)) {
    queuedfault_ = EmptyPath;
    return;
  }
  if (!bytes && !FileReadable(Inputfile)) {
    queuedfault_ = InvalidPath;
    return;
  }
  if (next_.stream() == 0) {
    next_ = EngineClient::newstream();
    if (next_.stream() == 0) {
      queuedfault_ = TooManyStreams;
      return;
    }
    next_.sendlong(word::setmixed, 1);
  }
  SendSettings(next_);
  if (bytes) {
    zelov::memoryfile file{size ? bytes : nullptr, size};
    next_.fill(word::openmemory, &file);
  } else {
    next_.open(Inputfile);
  }
  SendFollow();
  // Resumed now, it waits in the mix, held, its first sound decoded, until
  // the one playing lets it in. Should its stream not be mixed (its mixer
  // could not be had), it is resumed once the one before has ended.
  if (following_) next_.ask(word::resume);
  if (Watching()) Enable(Timer3, true);
}

bool Player::SetCrossFade(double seconds) {
  if (!(seconds >= 0 && seconds <= zelov::crossfademost / 1000.0)) return false;
  crossfade_ = seconds;
  SendFollow();
  return true;
}

void Player::SendFollow() {
  if (!queued_ || queuedfault_ != 0 || next_.stream() == 0) return;
  zelov::followorder order{engine_.stream(), static_cast<int32_t>(crossfade_ * 1000 + 0.5)};
  following_ = next_.call(word::follow, &order) != 0;
}

// The quick timer looks for the file queued to begin from a second (of
// the time heard) before it is due.
bool Player::QueueDue() {
  if (!queued_) return false;
  const double length = Duration();
  return length <= 0 || length - Position() <= (crossfade_ + 1.0) * rate_;
}

// Whether the file queued has begun: the mix let it in (on the frame after
// the last of the one before, or where their crossfade starts), or the one
// before ended without doing so (it failed before it was heard), when it
// starts now. A failure of the one before is told, and the queued one goes
// on.
void Player::CheckQueue() {
  if (!queued_ || queuedfault_ != 0) return;
  const int32_t state = engine_.ask(word::intreturn);
  const bool ended = state < zelov::endedbelow;
  if (!following_ || next_.ask(word::following) != 0) {
    if (!ended) return;
    zelov::followorder now{0, 0};
    if (following_) next_.call(word::follow, &now);
    else next_.ask(word::resume);
  }
  // The one before failed: its error, as the queued file plays on. One
  // that ended well says nothing here: its ErrorCode comes after the last
  // file's Finished.
  int32_t number;
  const auto failed = [&number](int32_t run) {
    return run < zelov::endedbelow && ErrorForRunState(run, number) && number != NoError;
  };
  if (failed(state)) RaiseErrorCode(number);
  // One that failed before it was heard has not begun: no Queued, and its
  // end reports the failure.
  TakeQueued(!failed(next_.ask(word::intreturn)));
}

// The file queued becomes the control's: the one before plays out what it
// has (a crossfade's end) on its own stream until its run ends.
void Player::TakeQueued(bool begun) {
  CloseOutgoing(false);
  outgoing_ = engine_;
  engine_ = next_;
  next_ = EngineClient();
  queued_ = false;
  ++opened_;
  pausedsinceopen_ = false;
  fade_ = 0;
  stopatfade_ = false;
  heard_ = -1;
  rebase_ = false;
  nearsent_ = false;
  tagsseen_ = static_cast<uint32_t>(engine_.ask(word::gettagserial));
  if (begun) host_.Queued();
}

// The file queued is dropped, its run cancelled; its stream is kept for
// the next.
void Player::DropQueue() {
  if (queued_ && next_.stream() != 0) next_.ask(word::cancel);
  queued_ = false;
  queuedfault_ = 0;
}

// Gives back the stream of the file a crossfade went from: once its run has
// ended (`ended`), or now.
void Player::CloseOutgoing(bool ended) {
  if (outgoing_.stream() == 0) return;
  if (ended && outgoing_.ask(word::intreturn) >= zelov::endedbelow) return;
  outgoing_.closestream();
}

// A look at the place heard: the markers passed since the last one (one
// event, for the latest), and whether the end is near. Going back (a loop
// round, or a seek back) starts a new pass.
void Player::WatchPlace() {
  if (!Watching()) return;
  const double now = Position();
  if (rebase_) {
    rebase_ = false;
    heard_ = now;
    nearsent_ = false;
    return;
  }
  if (now < heard_) {
    heard_ = -1;
    nearsent_ = false;
  }
  const auto from = std::upper_bound(markers_.begin(), markers_.end(), heard_);
  const auto to = std::upper_bound(markers_.begin(), markers_.end(), now);
  heard_ = now;
  if (from != to) {
    double seconds = *(to - 1);
    host_.Marker(seconds);
  }
  const double length = Duration();
  if (nearend_ > 0 && !nearsent_ && length > 0 && length - now <= nearend_) {
    nearsent_ = true;
    host_.NearEnd();
  }
}

bool Player::SetVolume(int32_t level) {
  if (level < 0 || level > zelov::fullvolume) return false;
  volume_ = level;
  fade_ = 0;  // a put during a fade wins
  stopatfade_ = false;
  SendVolume();
  return true;
}

void Player::SetMute(bool muted) {
  muted_ = muted;
  SendVolume();
}

// Only a stream of the control's own carries a volume, a loop and a
// device; it keeps them between files, so that each is sent whenever it
// changes, file or no file.
void Player::SendVolume() {
  const int32_t level = muted_ ? 0 : volume_;
  EachStream([&](const EngineClient& to) { to.sendlong(word::setvolume, level); });
}

bool Player::SetPan(double pan) {
  if (!(pan >= -1 && pan <= 1)) return false;
  pan_ = pan;
  EachStream([&](const EngineClient& to) { to.senddouble(word::setpan, pan_); });
  return true;
}

bool Player::SetRate(double rate) {
  if (!(rate >= zelov::rateleast && rate <= zelov::ratemost)) return false;
  rate_ = rate;
  EachStream([&](const EngineClient& to) { to.senddouble(word::setrate, rate_); });
  return true;
}

bool Player::FadeTo(int32_t level, int32_t ms) {
  if (level < 0 || level > zelov::fullvolume || ms < 0 || ms > zelov::fademost) return false;
  volume_ = level;
  stopatfade_ = false;
  StartFade(muted_ ? 0 : level, ms);
  return true;
}

bool Player::FadeOutAndStop(int32_t ms) {
  if (ms < 0 || ms > zelov::fademost) return false;
  const bool playing = FileOpen() && OwnStreamTaken() && ownstream_;
  StartFade(0, ms);
  stopatfade_ = playing && fade_ != 0;
  return true;
}

// Sends the fade to the engine and watches for its end on the quick timer;
// with no file playing there is nothing to slide, and it is done at once.
void Player::StartFade(int32_t level, int32_t ms) {
  fade_ = 0;
  if (OwnStreamTaken() && FileOpen()) {
    zelov::fadeorder order{level, ms};
    fade_ = static_cast<uint32_t>(engine_.call(word::fade, &order));
    // The file queued starts at the volume the fade ends at.
    if (next_.stream() != 0) next_.sendlong(word::setvolume, level);
  }
  if (fade_ == 0) {
    SendVolume();
    host_.FadeDone();
    return;
  }
  // The quick timer (whose ticks cost a host something) watches only the
  // fade's last part: until four fifths of it have surely gone by (a timer
  // never ticks early), the playback timer's ticks are counted instead.
  fadequiet_ = static_cast<int32_t>(static_cast<int64_t>(ms) * 4 / 5 / Timer1Interval) - 1;
  if (fadequiet_ <= 0) Enable(Timer3, true);
}

void Player::CountFade() {
  if (fade_ != 0 && fadequiet_ > 0 && --fadequiet_ == 0) Enable(Timer3, true);
}

void Player::CheckFade() {
  if (fade_ == 0 || fadequiet_ > 0) return;
  if (static_cast<uint32_t>(engine_.ask(word::getfadedone)) != fade_) return;
  fade_ = 0;
  host_.FadeDone();
  if (stopatfade_) {
    stopatfade_ = false;
    CancelPlayback();
  }
}

void Player::SendSettings(const EngineClient& to) {
  if (!ownstream_ || to.stream() == 0) return;
  to.sendlong(word::setvolume, muted_ ? 0 : volume_);
  to.senddouble(word::setpan, pan_);
  to.senddouble(word::setrate, rate_);
  to.sendlong(word::setloop, loop_ ? 1 : 0);
  to.sendlong(word::setbuffer, bufferms_);
  to.sendlong(word::setdevice, device_);
  if (!deviceid_.empty()) to.call(word::setdeviceid, const_cast<char16_t*>(deviceid_.c_str()));
}

// The card chosen: by its id when one was given, else by its index (the
// engine takes an empty id as none).
void Player::SendDevice() {
  EachStream([&](const EngineClient& to) {
    to.sendlong(word::setdevice, device_);
    if (!deviceid_.empty()) to.call(word::setdeviceid, const_cast<char16_t*>(deviceid_.c_str()));
  });
}

void Player::SetLoop(bool on) {
  loop_ = on;
  EachStream([&](const EngineClient& to) { to.sendlong(word::setloop, loop_ ? 1 : 0); });
}

double Player::PeakLevel() { return AskDouble(word::getpeak); }

// A control of its own stream plays on the sound cards Windows lists for
// its mixer, by their full names; ZelOggPlay on the wave-out devices.
int32_t Player::DeviceCount() {
  EnsureLoaded();
  if (!EngineLinked()) return 0;
  return EngineClient().ask(ownstream_ ? word::endpointcount : word::devicecount);
}

bool Player::DeviceName(int32_t index, wtext& name) {
  EnsureLoaded();
  if (!EngineLinked()) return false;
  if (ownstream_) return AskEndpoint(word::endpointname, index, name);
  zelov::devicenamebuffer buffer{index, {}};
  if (EngineClient().call(word::devicename, &buffer) != 1) return false;
  name = wtext(buffer.name);
  return true;
}

bool Player::AskEndpoint(const char* word, int32_t index, wtext& text) {
  zelov::endpointtext buffer{index, {}};
  if (EngineClient().call(word, &buffer) != 1) return false;
  buffer.text[zelov::endpointidsize - 1] = u'\0';
  text = wtext(buffer.text);
  return true;
}

bool Player::SetDevice(int32_t index) {
  if (index != zelov::anydevice && (index < 0 || index >= DeviceCount())) return false;
  device_ = index;
  deviceid_.clear();
  SendDevice();  // a sound playing moves to the new card now
  return true;
}

wtext Player::DeviceId() {
  if (!deviceid_.empty() || device_ == zelov::anydevice) return deviceid_;
  wtext id;
  EnsureLoaded();
  return EngineLinked() && AskEndpoint(word::endpointid, device_, id) ? id : wtext();
}

bool Player::SetDeviceId(const wtext& id) {
  if (id.empty()) return SetDevice(zelov::anydevice);
  if (id.size() >= zelov::endpointidsize) return false;
  // The card's index now, which Device then reads; no index, no such card.
  int32_t index = zelov::anydevice;
  wtext listed;
  for (int32_t i = 0, count = DeviceCount(); i < count && index == zelov::anydevice; ++i)
    if (AskEndpoint(word::endpointid, i, listed) && listed == id) index = i;
  if (index == zelov::anydevice) return false;
  device_ = index;
  deviceid_ = id;
  SendDevice();
  return true;
}

double Player::OutputLinger() {
  EnsureLoaded();
  return EngineLinked() ? EngineClient().ask(word::getlinger) / 1000.0 : 0.0;
}

bool Player::SetOutputLinger(double seconds) {
  if (!(seconds >= 0 && seconds <= zelov::lingermost / 1000.0)) return false;  // NaN too
  EnsureLoaded();
  if (EngineLinked()) EngineClient().sendlong(word::setlinger, static_cast<int32_t>(seconds * 1000 + 0.5));
  return true;
}

base::atext Player::AskTags() {
  base::atext entries(zelov::tagbuffersize, '\0');
  if (FileOpen()) engine_.fill(word::gettags, entries.data());
  entries[zelov::tagbuffersize - 2] = entries[zelov::tagbuffersize - 1] = '\0';
  return entries;
}

wtext Player::Tag(const wtext& name) { return TagValue(AskTags().data(), name); }
wtext Player::Tags() { return TagLines(AskTags().data()); }

void Player::RaiseErrorCode(const int32_t& number) {
  const ErrorEntry entry = LookupError(number);
  int32_t ErrorNumber = entry.number;
  wtext ErrorDescription = base::widen(entry.description);
  // A server's refusal says its status.
  if (entry.number == ServerRefused && OwnStreamTaken())
    ErrorDescription += base::widen((" (HTTP " + std::to_string(engine_.ask(word::gethttpstatus)) + ")").c_str());
  host_.ErrorCode(ErrorNumber, ErrorDescription);
}

}  // namespace control
