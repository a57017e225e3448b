#include "bridge/paths.h"

#include "bridge/calls.h"
#include "bridge/system.h"
#include "engine/protocol.h"

namespace bridge {

bool IsEmptyText(const wtext& value) { return value.empty(); }

bool FileReadable(const wtext& path) { return sys::readhead(path, 255); }

void OpenInEngine(const wtext& path) {
  if (sys::ansiexact(path) && sys::toansi(path).size() < zelov::pathsize) {
    CallEngine(base::widen(zelov::word::open), path, u" ", u" ");
    return;
  }
  wtext wide = path + u'\0';
  CallEngineData(zelov::word::openwide, wide.data());
}

}  // namespace bridge
