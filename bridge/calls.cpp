#include "bridge/calls.h"

#include "bridge/link.h"
#include "bridge/system.h"
#include "engine/protocol.h"

namespace bridge {

const char* const LoadFailed = "error loading the dll";
const char* const EntryMissing = "error locating the interface1 function ";

namespace {

bool linked() {
  const LinkState& link = Link();
  if (!link.EngineModule) {
    sys::messagebox(LoadFailed);
    return false;
  }
  if (!link.EngineEntry) {
    sys::messagebox(EntryMissing);
    return false;
  }
  return true;
}

// The NUL-terminated ANSI buffer the engine gets for a text.
base::atext EngineBuffer(const wtext& text) { return sys::toansi(text + u'\0'); }

}  // namespace

int32_t CallEngine(const wtext& command, const wtext& text, const wtext& third, const wtext& fourth) {
  if (!linked()) return 0;
  base::atext a = EngineBuffer(command), b = EngineBuffer(text), c = EngineBuffer(third), d = EngineBuffer(fourth);
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(), d.data()));
}

int32_t CallEngineText(wtext& command, wtext& text, wtext& third, int32_t fourth) {
  if (!linked()) return 0;
  base::atext a = EngineBuffer(command), b = EngineBuffer(text), c = EngineBuffer(third);
  const intptr_t result = sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(),
                                         reinterpret_cast<void*>(static_cast<intptr_t>(fourth)));
  command = sys::fromansi(a);
  text = sys::fromansi(b);
  third = sys::fromansi(c);
  return static_cast<int32_t>(result);
}

int32_t CallEngineData(const char* command, void* data) {
  if (!linked()) return 0;
  base::atext word = EngineBuffer(base::widen(command)), third = EngineBuffer(u" "), fourth = third;
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, word.data(), data, third.data(), fourth.data()));
}

int32_t OpenEngineStream() { return CallEngineData(zelov::word::streamopen, nullptr); }

int32_t CallEngineOnStream(int32_t stream, const char* word, void* data) {
  if (!linked()) return 0;
  base::atext command = EngineBuffer(base::widen(zelov::word::onstream)), name = EngineBuffer(base::widen(word));
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, command.data(), data, &stream, name.data()));
}

int32_t CallEngineTextOnStream(int32_t stream, const char* word, wtext& text) {
  base::atext buffer = EngineBuffer(text);
  const int32_t result = CallEngineOnStream(stream, word, buffer.data());
  text = sys::fromansi(buffer);
  return result;
}

void CloseEngineStream(int32_t stream) { CallEngineData(zelov::word::streamclose, &stream); }

}  // namespace bridge
