// The sound cards through WASAPI, Windows' own audio client: the render
// endpoints IMMDeviceEnumerator lists, each opened in shared mode, event
// driven, in the card's mix format (GetMixFormat: 32-bit float on every
// Windows since Vista, 16- or 32-bit integers on some drivers), and a
// notification client that tells the render thread when the user picks
// another default card.
#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "engine/output/endpoint.h"
#include "engine/output/mixer.h"
#include "engine/streams/diag.h"
#include "engine/streams/made.h"

namespace zelov {

namespace {

// PKEY_Device_FriendlyName: the name Windows shows for the card.
const PROPERTYKEY friendlyname = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT and _PCM.
const GUID floatsubtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID pcmsubtype = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// COM for the calls of a host's thread: joins the multithreaded apartment
// for the call when the thread has none, uses the thread's own otherwise.
class comscope {
 public:
  comscope() : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~comscope() {
    if (joined_) CoUninitialize();
  }
  comscope(const comscope&) = delete;
  comscope& operator=(const comscope&) = delete;

 private:
  bool joined_;
};

IMMDeviceEnumerator* makeenumerator() {
  IMMDeviceEnumerator* enumerator = nullptr;
  if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                              reinterpret_cast<void**>(&enumerator))))
    return nullptr;
  return enumerator;
}

// The present render cards, in Windows' order; null when there are none to
// list.
IMMDeviceCollection* presentcards(IMMDeviceEnumerator*& enumerator) {
  enumerator = makeenumerator();
  IMMDeviceCollection* cards = nullptr;
  if (enumerator && FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &cards))) cards = nullptr;
  return cards;
}

void copytext(const wchar_t* from, char16_t* to, std::size_t size) {
  std::size_t n = 0;
  for (; from && from[n] && n + 1 < size; ++n) to[n] = static_cast<char16_t>(from[n]);
  to[n] = u'\0';
}

// The card at `index`, with a reference the caller releases.
IMMDevice* cardat(int index) {
  IMMDeviceEnumerator* enumerator = nullptr;
  IMMDeviceCollection* cards = presentcards(enumerator);
  IMMDevice* device = nullptr;
  UINT count = 0;
  if (cards && index >= 0 && SUCCEEDED(cards->GetCount(&count)) && static_cast<UINT>(index) < count &&
      FAILED(cards->Item(static_cast<UINT>(index), &device)))
    device = nullptr;
  release(cards);
  release(enumerator);
  return device;
}

// How the card's samples are written.
enum class sampleformat { float32, int16, int32 };

class wasapicard : public endpoint {
 public:
  ~wasapicard() override {
    if (client_) client_->Stop();
    release(render_);
    release(client_);
    if (event_) CloseHandle(event_);
  }

  bool open(IMMDevice* device) {
    if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client_))))
      return false;
    WAVEFORMATEX* mix = nullptr;
    if (FAILED(client_->GetMixFormat(&mix)) || !mix) return false;
    const bool usable = takeformat(*mix);
    const HRESULT result = usable ? initialize(*mix) : E_FAIL;
    CoTaskMemFree(mix);
    if (FAILED(result)) {
      diagerr(usable ? "The sound card refused its own format.\n" : "The sound card's format cannot be used.\n");
      return false;
    }
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event_ || FAILED(client_->SetEventHandle(event_)) || FAILED(client_->GetBufferSize(&buffer_)) ||
        FAILED(client_->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render_))))
      return false;
    // Two periods ahead of what the card plays: a new sound is heard after
    // little more than that, and the render thread has a period to answer
    // each event (with a period and a half, Wine's sound server inserted
    // silence in most runs of a six-second tone). A period that finds the
    // card run dry (the thread was late) adds half a period, up to the
    // whole buffer.
    target_ = std::min(buffer_, std::max<uint32_t>(periodframes * 2, 1));
    return SUCCEEDED(client_->Start());
  }

  void wait(HANDLE wake, DWORD ms) override {
    HANDLE events[2] = {event_, wake};
    WaitForMultipleObjects(wake ? 2 : 1, events, FALSE, ms);
  }

  bool room(uint32_t& frames) override {
    UINT32 padding = 0;
    if (FAILED(client_->GetCurrentPadding(&padding))) return false;
    // Run dry though it was fed last time: the thread was late.
    if (padding == 0 && fed_) target_ = std::min(buffer_, target_ + periodframes / 2);
    fed_ = false;
    padding_ = padding;
    frames = padding < target_ ? target_ - padding : 0;
    return true;
  }

  bool write(const float* mix, uint32_t frames) override {
    BYTE* data = nullptr;
    if (FAILED(render_->GetBuffer(frames, &data))) return false;
    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels);
    switch (format_) {
      case sampleformat::float32: std::memcpy(data, mix, samples * sizeof(float)); break;
      case sampleformat::int16: {
        auto* out = reinterpret_cast<int16_t*>(data);
        for (std::size_t i = 0; i < samples; ++i)
          out[i] = static_cast<int16_t>(std::clamp(std::lrint(mix[i] * 32768.0f), -32768L, 32767L));
        break;
      }
      case sampleformat::int32: {
        auto* out = reinterpret_cast<int32_t*>(data);
        for (std::size_t i = 0; i < samples; ++i)
          out[i] = static_cast<int32_t>(std::clamp(std::llrint(mix[i] * 2147483648.0), -2147483648LL, 2147483647LL));
        break;
      }
    }
    padding_ += frames;
    fed_ = true;
    return SUCCEEDED(render_->ReleaseBuffer(frames, 0));
  }

  uint32_t ahead() override { return padding_; }

 private:
  // Shared mode at the card's shortest period where Windows offers one
  // (IAudioClient3, Windows 10 and later, with a driver that allows it),
  // else at its default period (10 ms on most cards).
  HRESULT initialize(const WAVEFORMATEX& mix) {
    IAudioClient3* three = nullptr;
    if (SUCCEEDED(client_->QueryInterface(__uuidof(IAudioClient3), reinterpret_cast<void**>(&three)))) {
      UINT32 standard = 0, fundamental = 0, shortest = 0, longest = 0;
      HRESULT result = three->GetSharedModeEnginePeriod(&mix, &standard, &fundamental, &shortest, &longest);
      if (SUCCEEDED(result) && shortest > 0)
        result = three->InitializeSharedAudioStream(AUDCLNT_STREAMFLAGS_EVENTCALLBACK, shortest, &mix, nullptr);
      release(three);
      if (SUCCEEDED(result) && shortest > 0) {
        periodframes = shortest;
        return S_OK;
      }
    }
    REFERENCE_TIME period = 0, shortest = 0;
    HRESULT result = client_->GetDevicePeriod(&period, &shortest);
    if (SUCCEEDED(result))
      result = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 0, 0, &mix, nullptr);
    periodframes = static_cast<uint32_t>(std::llround(period * static_cast<double>(rate) / 1e7));
    return result;
  }

  // The card's rate and channels, and how its samples are written: false
  // for a format the mix cannot give.
  bool takeformat(const WAVEFORMATEX& mix) {
    rate = static_cast<int32_t>(mix.nSamplesPerSec);
    channels = mix.nChannels;
    if (channels < 1 || channels > mixchannels || rate <= 0) return false;
    GUID subtype = mix.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ? floatsubtype : pcmsubtype;
    if (mix.wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix.cbSize >= 22)
      subtype = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(mix).SubFormat;
    else if (mix.wFormatTag != WAVE_FORMAT_PCM && mix.wFormatTag != WAVE_FORMAT_IEEE_FLOAT)
      return false;
    if (IsEqualGUID(subtype, floatsubtype) && mix.wBitsPerSample == 32) format_ = sampleformat::float32;
    else if (IsEqualGUID(subtype, pcmsubtype) && mix.wBitsPerSample == 16) format_ = sampleformat::int16;
    else if (IsEqualGUID(subtype, pcmsubtype) && mix.wBitsPerSample == 32) format_ = sampleformat::int32;
    else return false;
    return true;
  }

  IAudioClient* client_ = nullptr;
  IAudioRenderClient* render_ = nullptr;
  HANDLE event_ = nullptr;
  UINT32 buffer_ = 0;
  uint32_t target_ = 0;
  uint32_t padding_ = 0;
  bool fed_ = false;  // the last period wrote to the card
  sampleformat format_ = sampleformat::float32;
};

// Tells the render thread of a new default card for playing (the console
// role, the one programs play through unless they ask for another).
class notifier : public IMMNotificationClient, public defaultwatch {
 public:
  explicit notifier(HANDLE wake) : wake_(wake) {}
  ~notifier() override {
    if (enumerator_) {
      enumerator_->UnregisterEndpointNotificationCallback(this);
      release(enumerator_);
    }
  }
  bool start() {
    enumerator_ = makeenumerator();
    return enumerator_ && SUCCEEDED(enumerator_->RegisterEndpointNotificationCallback(this));
  }

  // Its life is the render thread's: COM's references do not end it.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IMMNotificationClient))) {
      *out = static_cast<IMMNotificationClient*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
    if (flow == eRender && role == eConsole) {
      changes.fetch_add(1);
      SetEvent(wake_);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

 private:
  HANDLE wake_;
  IMMDeviceEnumerator* enumerator_ = nullptr;
};

}  // namespace

void enterrenderthread() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void leaverenderthread() { CoUninitialize(); }

endpoint* openendpoint(const char16_t* id) {
  IMMDeviceEnumerator* enumerator = makeenumerator();
  if (!enumerator) return nullptr;
  IMMDevice* device = nullptr;
  const HRESULT found = id[0] == u'\0' ? enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)
                                       : enumerator->GetDevice(reinterpret_cast<LPCWSTR>(id), &device);
  release(enumerator);
  if (FAILED(found) || !device) return nullptr;
  auto* card = make<wasapicard>();
  const bool opened = card && card->open(device);
  release(device);
  if (opened) return card;
  closeendpoint(card);
  return nullptr;
}

int endpointcount() {
  comscope com;
  IMMDeviceEnumerator* enumerator = nullptr;
  IMMDeviceCollection* cards = presentcards(enumerator);
  UINT count = 0;
  if (cards && FAILED(cards->GetCount(&count))) count = 0;
  release(cards);
  release(enumerator);
  return static_cast<int>(count);
}

bool endpointname(int index, char16_t* name, std::size_t size) {
  comscope com;
  IMMDevice* device = cardat(index);
  if (!device) return false;
  IPropertyStore* properties = nullptr;
  PROPVARIANT value;
  PropVariantInit(&value);
  const bool named = SUCCEEDED(device->OpenPropertyStore(STGM_READ, &properties)) &&
                     SUCCEEDED(properties->GetValue(friendlyname, &value)) && value.vt == VT_LPWSTR;
  copytext(named ? value.pwszVal : L"", name, size);
  PropVariantClear(&value);
  release(properties);
  release(device);
  return named;
}

bool endpointid(int index, char16_t* id, std::size_t size) {
  comscope com;
  IMMDevice* device = cardat(index);
  if (!device) return false;
  LPWSTR text = nullptr;
  const bool got = SUCCEEDED(device->GetId(&text)) && text && std::wcslen(text) < size;
  copytext(got ? text : L"", id, size);
  CoTaskMemFree(text);
  release(device);
  return got;
}

bool endpointpresent(const char16_t* id) {
  comscope com;
  IMMDeviceEnumerator* enumerator = makeenumerator();
  if (!enumerator) return false;
  IMMDevice* device = nullptr;
  DWORD state = 0;
  const bool present = SUCCEEDED(enumerator->GetDevice(reinterpret_cast<LPCWSTR>(id), &device)) &&
                       SUCCEEDED(device->GetState(&state)) && state == DEVICE_STATE_ACTIVE;
  release(device);
  release(enumerator);
  return present;
}

void closeendpoint(endpoint* card) { unmake(static_cast<wasapicard*>(card)); }

defaultwatch* watchdefault(HANDLE wake) {
  auto* watch = make<notifier>(wake);
  if (watch && !watch->start()) {
    unmake(watch);
    return nullptr;
  }
  return watch;
}

void unwatch(defaultwatch* watch) { unmake(static_cast<notifier*>(watch)); }

}  // namespace zelov
