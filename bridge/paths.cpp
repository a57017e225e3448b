#include "bridge/paths.h"

#include "bridge/calls.h"
#include "bridge/system.h"
#include "engine/protocol.h"

namespace bridge {

bool IsEmptyText(const wtext& value) { return value.empty(); }

bool FileReadable(const wtext& path) { return sys::readhead(path, 255); }

void OpenInEngine(const wtext& path, int32_t stream) {
  if (sys::ansiexact(path) && sys::toansi(path).size() < zelov::pathsize) {
    if (stream == 0) {
      CallEngine(base::widen(zelov::word::open), path, u" ", u" ");
    } else {
      base::atext name = sys::toansi(path + u'\0');
      CallEngineOnStream(stream, zelov::word::open, name.data());
    }
    return;
  }
  wtext wide = path + u'\0';
  if (stream == 0) CallEngineData(zelov::word::openwide, wide.data());
  else CallEngineOnStream(stream, zelov::word::openwide, wide.data());
}

}  // namespace bridge
