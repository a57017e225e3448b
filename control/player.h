// The control's playback logic: its six playback methods, the ticks of its
// three timers, and the state they keep. The COM object owns one Player and
// gives it the host side: timers and events.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/text.h"
#include "control/engineclient.h"
#include "engine/protocol.h"

namespace control {

using base::wtext;

constexpr int Timer1 = 1;  // run state, end of playback
constexpr int Timer2 = 2;  // settings and times
constexpr int Timer3 = 3;  // starts the output for PlayFile
constexpr unsigned Timer1Interval = 500, Timer2Interval = 1000, Timer3Interval = 100;  // milliseconds
constexpr unsigned TimerInterval[] = {0, Timer1Interval, Timer2Interval, Timer3Interval};

// What the player needs from the object that hosts it. Event parameters are
// by reference: a handler may change them.
class PlayerHost {
 public:
  virtual void SetTimer(int timer, bool enabled) = 0;
  virtual void Status(wtext& Statusvalue) = 0;
  virtual void Finished() = 0;
  virtual void OggVorbisSettings(int32_t& Samplerate, int32_t& Bitrate, int32_t& Channels,
                                 int32_t& Version, wtext& Vendor) = 0;
  virtual void Progress(int32_t& ProgressAsLong, wtext& ProgressAsString) = 0;
  virtual void TimePosition(int32_t& TimeAsSeconds, wtext& TimeAsString) = 0;
  virtual void ErrorCode(int32_t& ErrorNumber, wtext& ErrorDescription) = 0;
  // A fade of a control of its own stream reached its end.
  virtual void FadeDone() = 0;
  // The sound at a marker's file time is being heard (the latest of those
  // passed since the last look: they are coalesced).
  virtual void Marker(double& Seconds) = 0;
  // The sound heard is within NearEndSeconds of the file's end.
  virtual void NearEnd() = 0;
  // The file queued has begun: the control's file is now that one.
  virtual void Queued() = 0;
  // The comments changed while the file plays: a chained file's next link,
  // a station's next song.
  virtual void CommentsChanged() = 0;

 protected:
  ~PlayerHost() = default;
};

class Player {
 public:
  // A player of ZelOggPlay plays on the process's one default stream, which
  // its controls share: the file of one cuts another's short. A player of
  // its own stream (ZelOggPlayEx) plays beside every other: it takes a
  // stream from the engine at its first file and keeps it for its life.
  explicit Player(PlayerHost& host, bool ownstream = false);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // The methods throw bridge::AutomationError when the engine cannot be
  // deployed; the host's call then fails with it. A control reports only on
  // a file it started, and leaves another control's file alone.
  void OpenFile(const wtext& Inputfile);
  void PlayFile(const wtext& Inputfile);
  // ZelOggPlayEx: as OpenFile and PlayFile, from the bytes of a whole file,
  // which the engine copies before the call returns.
  void OpenMemory(const void* bytes, std::size_t size);
  void PlayMemory(const void* bytes, std::size_t size);
  wtext GetStatus();
  void PausePlayback();
  void ResumePlayback();
  void CancelPlayback();

  // One tick of a timer. A tick of a timer that is off does nothing, and a
  // tick is never re-entered by its own timer (a handler that runs a modal
  // loop lets timer messages through).
  void Tick(int timer);

  // The members of ZelOggPlayEx. They act on this control's own file only,
  // and never load the engine themselves (a host may read them from a
  // timer): with no file of this control open, the position and the length
  // are 0, the tags empty, and a seek does nothing.
  double Position();
  void SetPosition(double seconds);
  double Duration();
  int32_t Volume() const { return volume_; }
  // False, with nothing changed, outside 0 to 100.
  bool SetVolume(int32_t level);
  bool Mute() const { return muted_; }
  void SetMute(bool muted);
  wtext Tag(const wtext& name);
  wtext Tags();
  bool Loop() const { return loop_; }
  void SetLoop(bool on);
  // The peak of the sound being heard, 0 to 1; 0 with nothing playing.
  double PeakLevel();
  // The sound cards, which a control may choose from; these load the
  // engine, as the playback methods do. The device is anydevice (the
  // system's default, followed when the user changes it) or a card's
  // index; a control of its own stream may name a card by its id instead,
  // which stays the same card when others come and go. A control of its
  // own stream moves a sound playing to the card chosen at once; ZelOggPlay
  // takes it from the next file.
  int32_t DeviceCount();
  // False when there is no card `index`.
  bool DeviceName(int32_t index, wtext& name);
  int32_t Device() const { return device_; }
  // False, with nothing changed, for a card that is not there.
  bool SetDevice(int32_t index);
  // The id of the card chosen, empty for the default.
  wtext DeviceId();
  // False, with nothing changed, for a card that is not there; empty for
  // the default.
  bool SetDeviceId(const wtext& id);
  // Seconds a sound card's output lingers after the program's last sound
  // on it (the engine's, for every card); false, with nothing changed,
  // outside 0 to 60. These load the engine.
  double OutputLinger();
  bool SetOutputLinger(double seconds);
  // A control of its own stream places its sound from -1 (left) to 1
  // (right), and plays it at a rate from 0.25 to 4 (its speed, the pitch
  // with it); kept from file to file like the volume. False, with nothing
  // changed, outside the range (NaN too).
  double Pan() const { return pan_; }
  bool SetPan(double pan);
  double Rate() const { return rate_; }
  bool SetRate(double rate);
  // A control of its own stream slides its volume to `level` over `ms`
  // milliseconds, a sample at a time, and raises FadeDone at the end; the
  // volume reads `level` at once. A Volume put, another fade or the next
  // file during it wins (no FadeDone for the one it ended). With no file
  // playing the volume is set and FadeDone raised at once. False, with
  // nothing changed, outside 0 to 100 or 0 to fademost milliseconds.
  bool FadeTo(int32_t level, int32_t ms);
  // Fades the sound out over `ms` and then ends it as CancelPlayback does,
  // FadeDone first; the volume stays for the next file.
  bool FadeOutAndStop(int32_t ms);
  // Markers of a control of its own stream: file times at which Marker is
  // raised as the sound there is heard, looked for every tick of the quick
  // timer while there are any (several passed within one tick give one
  // Marker, for the latest). Kept until ClearMarkers. False, with nothing
  // changed, for a time that is negative, not a number, or past the length
  // of the file open.
  bool AddMarker(double seconds);
  void ClearMarkers();
  // NearEnd is raised once a pass, as the sound heard comes within this
  // many seconds of the file's end; 0 (the default) never. False, with
  // nothing changed, outside 0 to 3600.
  double NearEndSeconds() const { return nearend_; }
  bool SetNearEndSeconds(double seconds);
  // The spectrum of the sound being heard, after the volume and pan: `bands`
  // levels, 0 to 1 (all 0 with nothing playing). False outside 1 to
  // spectrumbandsmost bands.
  bool Spectrum(int32_t bands, std::vector<double>& levels);
  // A control of its own stream names the file to play when the one
  // playing ends: it begins on the very next sample (with CrossFade, that
  // many seconds before the end, the two overlapping under equal-power
  // fades), Queued is raised as it does, and the control's file is then
  // that one; Finished comes only when nothing is left to play. A second
  // queue replaces the file queued; a file opened or played, or a cancel,
  // drops it. With nothing of the control's playing, it plays at once. A
  // queued file that cannot be played ends the control with its error when
  // its turn comes, the one playing left to its end. CrossFade is 0 to
  // crossfademost / 1000 seconds; false, with nothing changed, outside.
  void QueueFile(const wtext& Inputfile);
  // A control of its own stream plays a file or a live stream from a web
  // server (http:// or https://), as OpenFile and PlayFile do a path. A
  // stream plays as it arrives once BufferSeconds of it are in (and again
  // after it stalls); BufferLevel says how full that buffer is, 0 to 100.
  // BufferSeconds is bufferleast to buffermost milliseconds; false, with
  // nothing changed, outside.
  void OpenUrl(const wtext& url);
  void PlayUrl(const wtext& url);
  double BufferSeconds() const { return bufferms_ / 1000.0; }
  bool SetBufferSeconds(double seconds);
  int32_t BufferLevel();
  void QueueMemory(const void* bytes, std::size_t size);
  double CrossFade() const { return crossfade_; }
  bool SetCrossFade(double seconds);
  bool TimerEnabled(int timer) const { return enabled_[timer]; }
  // Gives up what the player holds in the engine: its own stream (its run
  // cancelled, its number given back) or its claim on the default stream.
  // The control calls it before the engine may be released; the destructor
  // calls it too.
  void Close();

  int32_t LastStatus = 0;
  int32_t LastBitrate = 0;
  wtext VendorText;
  wtext TimeText;
  wtext SecondsText;

 private:
  // A file by its path, by its bytes when `bytes` is given, or by its
  // address on a web server when `url`.
  bool Open(const wtext& Inputfile, const void* bytes = nullptr, std::size_t size = 0, bool url = false);
  void Play();
  bool OwnsPlayback() const;
  // Whether the player has an engine stream to speak to: the default one,
  // or its own once it has taken it.
  bool HasStream() const { return !ownstream_ || engine_.stream() != 0; }
  // Whether the player has taken its own stream, which keeps its settings.
  bool OwnStreamTaken() const { return ownstream_ && engine_.stream() != 0; }
  void EndCutShort();
  void Timer1Tick();
  void Timer2Tick();
  void Timer3Tick();
  void RaiseErrorCode(const int32_t& number);
  void Enable(int timer, bool on);
  void StopMonitoring();
  bool FileOpen() const;
  double AskDouble(const char* command);
  void SendVolume();
  void SendDevice();
  // "endpointname" or "endpointid" of card `index`; false when there is none.
  bool AskEndpoint(const char* word, int32_t index, wtext& text);
  // The settings a stream of its own keeps from file to file, to one of
  // the control's streams.
  void SendSettings(const EngineClient& to);
  // Sends something to each of the control's streams: the one playing,
  // the one queued and the one still playing out a crossfade's end.
  template <typename Send>
  void EachStream(Send send);
  // The engine's list of the stream's comments (see engine/protocol.h).
  base::atext AskTags();

  PlayerHost& host_;
  const bool ownstream_;
  EngineClient engine_;
  bool enabled_[4] = {};
  bool ticking_[4] = {};
  const uint32_t number_;  // this control among the process's controls
  uint32_t opened_ = 0;    // files sent to the engine by this control
  bool pausedsinceopen_ = false;
  // Kept by the control from file to file; each file starts with them.
  int32_t volume_ = 100;
  bool muted_ = false;
  bool loop_ = false;
  int32_t device_ = zelov::anydevice;
  wtext deviceid_;
  double pan_ = 0;
  double rate_ = 1;
  // The fade under way: its serial in the engine (0 for none), and whether
  // playback ends with it.
  uint32_t fade_ = 0;
  int32_t fadequiet_ = 0;  // Timer1 ticks before Timer3 watches the fade
  bool stopatfade_ = false;
  bool starting_ = false;  // PlayFile's output is to start at Timer3
  std::vector<double> markers_;  // in order
  double nearend_ = 0;
  // The place heard at the last look: markers after it and up to the
  // place heard now are due. Negative when the next look only takes the
  // place (a new file starts from before 0; a seek does not raise the
  // markers it passes over).
  double heard_ = -1;
  bool rebase_ = false;
  bool nearsent_ = false;
  bool Watching();
  void WatchPlace();
  void Queue(const wtext& Inputfile, const void* bytes, std::size_t size);
  bool PlayingOwn();
  void SendFollow();
  bool QueueDue();
  void CheckQueue();
  void TakeQueued(bool begun);
  void DropQueue();
  void CloseOutgoing(bool ended);
  // The file queued: its stream (kept for the next one), whether one is
  // queued, and the error it gives when its turn comes when it could not
  // even be opened (its path checked, or no stream to be had). The stream
  // of the file a crossfade went from, until its run ends.
  EngineClient next_;
  bool queued_ = false;
  bool following_ = false;  // the mix lets it in (else it starts once the one before has ended)
  int32_t queuedfault_ = 0;
  EngineClient outgoing_;
  double crossfade_ = 0;
  int32_t bufferms_ = 1000;
  uint32_t tagsseen_ = 0;  // the engine's count of comments set, as last told
  void WatchComments();
  void StartFade(int32_t level, int32_t ms);
  void CountFade();
  void CheckFade();
};

}  // namespace control
