#include "simendpoint.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>

#include "engine/output/endpoint.h"

namespace {

struct simcard {
  std::u16string id, name;
  int rate, channels;
  bool present = true;
  int opens = 0, open = 0;
  std::vector<float> captured;
};

struct world {
  std::mutex lock;
  std::vector<simcard> cards{{u"card-a", u"Speakers (Simulated Audio)", 44100, 2}};
  std::u16string defaultid = u"card-a";
  std::set<zelov::defaultwatch*> watches;
  std::set<HANDLE> wakes;
};
world& sim() {
  static world w;
  return w;
}

simcard* find(world& w, const std::u16string& id) {
  for (auto& c : w.cards)
    if (c.id == id) return &c;
  return nullptr;
}

constexpr int periodms = 5;

class simoutput : public zelov::endpoint {
 public:
  explicit simoutput(const std::u16string& id) : id_(id), last_(std::chrono::steady_clock::now()) {}
  ~simoutput() override {
    std::lock_guard<std::mutex> held(sim().lock);
    if (simcard* c = find(sim(), id_)) --c->open;
  }
  void wait(HANDLE wake, DWORD ms) override { WaitForSingleObject(wake, std::min<DWORD>(ms, periodms)); }
  bool room(uint32_t& frames) override {
    std::lock_guard<std::mutex> held(sim().lock);
    simcard* c = find(sim(), id_);
    if (!c || !c->present) return false;
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    frames = static_cast<uint32_t>(std::min(seconds * rate, 4.0 * periodframes));
    if (frames > 0) last_ = now;
    return true;
  }
  bool write(const float* mix, uint32_t frames) override {
    std::lock_guard<std::mutex> held(sim().lock);
    simcard* c = find(sim(), id_);
    if (!c || !c->present) return false;
    c->captured.insert(c->captured.end(), mix, mix + static_cast<std::size_t>(frames) * channels);
    return true;
  }
  uint32_t ahead() override { return periodframes; }

 private:
  std::u16string id_;
  std::chrono::steady_clock::time_point last_;
};

class simwatch : public zelov::defaultwatch {
 public:
  explicit simwatch(HANDLE wake) : wake_(wake) {}
  HANDLE wake_;
};

}  // namespace

namespace simendpoint {

void reset() {
  world& w = sim();
  std::lock_guard<std::mutex> held(w.lock);
  w.cards.clear();
  w.cards.push_back({u"card-a", u"Speakers (Simulated Audio)", 44100, 2});
  w.defaultid = u"card-a";
}

void addcard(const std::u16string& id, const std::u16string& name, int rate, int channels) {
  std::lock_guard<std::mutex> held(sim().lock);
  sim().cards.push_back({id, name, rate, channels});
}

void removecard(const std::u16string& id) {
  std::lock_guard<std::mutex> held(sim().lock);
  if (simcard* c = find(sim(), id)) c->present = false;
}

void setdefault(const std::u16string& id) {
  std::lock_guard<std::mutex> held(sim().lock);
  sim().defaultid = id;
  for (zelov::defaultwatch* watch : sim().watches) {
    watch->changes.fetch_add(1);
    SetEvent(static_cast<simwatch*>(watch)->wake_);
  }
}

std::vector<float> captured(const std::u16string& id) {
  std::lock_guard<std::mutex> held(sim().lock);
  simcard* c = find(sim(), id);
  return c ? c->captured : std::vector<float>{};
}

bool isopen(const std::u16string& id) {
  std::lock_guard<std::mutex> held(sim().lock);
  simcard* c = find(sim(), id);
  return c && c->open > 0;
}

int opens(const std::u16string& id) {
  std::lock_guard<std::mutex> held(sim().lock);
  simcard* c = find(sim(), id);
  return c ? c->opens : 0;
}

}  // namespace simendpoint

namespace zelov {

void enterrenderthread() {}
void leaverenderthread() {}

endpoint* openendpoint(const char16_t* id) {
  std::lock_guard<std::mutex> held(sim().lock);
  simcard* c = find(sim(), id[0] ? std::u16string(id) : sim().defaultid);
  if (!c || !c->present) return nullptr;
  ++c->opens;
  ++c->open;
  auto* out = new simoutput(c->id);
  out->rate = c->rate;
  out->channels = c->channels;
  out->periodframes = static_cast<uint32_t>(c->rate * periodms / 1000);
  return out;
}

void closeendpoint(endpoint* card) { delete card; }

namespace {
std::vector<simcard*> presentcards() {
  std::vector<simcard*> out;
  for (auto& c : sim().cards)
    if (c.present) out.push_back(&c);
  return out;
}
void copytext(const std::u16string& from, char16_t* to, std::size_t size) {
  const std::size_t n = std::min(from.size(), size - 1);
  std::copy(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(n), to);
  to[n] = u'\0';
}
}  // namespace

int endpointcount() {
  std::lock_guard<std::mutex> held(sim().lock);
  return static_cast<int>(presentcards().size());
}

namespace {
// One text of the present card at `index`: its name or its id.
bool cardtext(int index, std::u16string simcard::*field, char16_t* out, std::size_t size) {
  std::lock_guard<std::mutex> held(sim().lock);
  auto cards = presentcards();
  if (index < 0 || static_cast<std::size_t>(index) >= cards.size()) return false;
  copytext(cards[static_cast<std::size_t>(index)]->*field, out, size);
  return true;
}
}  // namespace

bool endpointname(int index, char16_t* name, std::size_t size) { return cardtext(index, &simcard::name, name, size); }
bool endpointid(int index, char16_t* id, std::size_t size) { return cardtext(index, &simcard::id, id, size); }

bool endpointpresent(const char16_t* id) {
  std::lock_guard<std::mutex> held(sim().lock);
  simcard* c = find(sim(), id);
  return c && c->present;
}

defaultwatch* watchdefault(HANDLE wake) {
  auto* watch = new simwatch(wake);
  std::lock_guard<std::mutex> held(sim().lock);
  sim().watches.insert(watch);
  return watch;
}

void unwatch(defaultwatch* watch) {
  if (!watch) return;
  {
    std::lock_guard<std::mutex> held(sim().lock);
    sim().watches.erase(watch);
  }
  delete watch;
}

}  // namespace zelov
