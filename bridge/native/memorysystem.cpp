#include "bridge/native/memorysystem.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <thread>

namespace memorysystem {

namespace {

world* current = new world;
std::mutex tablemutex;

std::string parent(const std::string& path) {
  std::string p = path;
  if (!p.empty() && p.back() == '\\') p.pop_back();
  const std::size_t cut = p.rfind('\\');
  return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

std::string key(const base::atext& path) { return std::string(path.data(), path.size()); }

bool contains(const bridge::sys::bytes& content, const std::string& text) {
  return std::search(content.begin(), content.end(), text.begin(), text.end()) != content.end();
}

}  // namespace

world& now() { return *current; }

void reset() {
  delete current;
  current = new world;
}

bridge::sys::bytes engineimage(std::size_t size, uint8_t salt) {
  bridge::sys::bytes image(size, 0);
  const std::string marks = "MZ interface1";
  std::copy(marks.begin(), marks.end(), image.begin());
  for (std::size_t i = marks.size(); i < size; ++i) image[i] = static_cast<uint8_t>(i * 31 + salt);
  return image;
}

}  // namespace memorysystem

namespace bridge::sys {

using memorysystem::key;

using memorysystem::now;

atext temppath() { return atext(now().temp.data(), now().temp.size()); }

atext modulefolder() { return atext(now().modulefolder.data(), now().modulefolder.size()); }

void createdirectory(const atext& name) {
  const std::string path = key(name);
  auto& w = now();
  std::string folder = path;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  const std::string up = memorysystem::parent(folder);
  if (w.folders.count(folder) || !w.folders.count(up) || w.readonlyfolders.count(up)) return;
  w.folders.insert(folder);
}

bool folderexists(const atext& name) {
  const std::string path = key(name);
  ++now().listings;
  std::string folder = path;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return now().folders.count(folder) > 0;
}

bool plainfileexists(const atext& name) {
  const std::string path = key(name);
  ++now().listings;
  auto found = now().files.find(path);
  return found != now().files.end() && !found->second.hidden;
}

bool readfile(const atext& name, bytes& content) {
  const std::string path = key(name);
  auto found = now().files.find(path);
  if (found == now().files.end() || found->second.unreadable) return false;
  content = found->second.content;
  return true;
}

bool writefile(const atext& name, const bytes& content) {
  const std::string path = key(name);
  auto& w = now();
  auto found = w.files.find(path);
  if (found != w.files.end() && (found->second.locked || found->second.holders > 0)) return false;
  if (!w.folders.count(memorysystem::parent(path)) || w.readonlyfolders.count(memorysystem::parent(path)))
    return false;
  auto& f = w.files[path];
  f.content = content;
  ++f.writes;
  return true;
}

void deletefile(const atext& name) {
  const std::string path = key(name);
  auto found = now().files.find(path);
  if (found != now().files.end() && !found->second.locked && found->second.holders == 0) now().files.erase(found);
}

void* holdfile(const atext& name, bytes& content) {
  auto found = now().files.find(key(name));
  if (found == now().files.end() || found->second.unreadable) return nullptr;
  ++found->second.holders;
  content = found->second.content;
  return const_cast<std::string*>(&found->first);  // stable while the file exists
}

void releasefile(void* held) { --now().files.at(*static_cast<const std::string*>(held)).holders; }

bool resource(int id, bytes& content) {
  auto found = now().resources.find(id);
  if (found == now().resources.end()) return false;
  content = found->second;
  return true;
}

void* loadlibrary(const atext& name) {
  const std::string path = key(name);
  auto found = now().files.find(path);
  if (found == now().files.end() || found->second.content.size() < 2 || found->second.content[0] != 'M' ||
      found->second.content[1] != 'Z')
    return nullptr;
  ++now().loads[path];
  if (found->second.holders == 0) ++now().unheldloads;
  return const_cast<std::string*>(&found->first);  // stable while the file exists
}

void* getprocaddress(void* module, const char* name) {
  const auto* path = static_cast<const std::string*>(module);
  auto found = now().files.find(*path);
  if (found == now().files.end() || !memorysystem::contains(found->second.content, name)) return nullptr;
  return reinterpret_cast<void*>(now().entry);
}

void freelibrary(void* module) {
  const auto* path = static_cast<const std::string*>(module);
  auto found = now().loads.find(*path);
  if (found != now().loads.end() && --found->second == 0) now().loads.erase(found);
}

intptr_t callentry(void* entry, void* first, void* second, void* third, void* fourth) {
  ++now().entrycalls;
  auto fn = reinterpret_cast<memorysystem::entryfn>(entry);
  return fn(static_cast<const char*>(first), static_cast<char*>(second), third, fourth);
}

void messagebox(const char* text) { now().messageboxes.push_back(text); }

atext toansi(const wtext& text) {
  atext out;
  for (char16_t c : text) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}

wtext fromansi(const atext& text) {
  wtext out;
  for (char c : text) out.push_back(static_cast<unsigned char>(c));
  return out;
}

bool ansiexact(const wtext& text) { return toansi(text).find('?') == atext::npos; }

wtext ansiform(const wtext& path) {
  if (ansiexact(path)) return path;
  auto found = now().shortnames.find(std::u16string(path.data(), path.size()));
  return found == now().shortnames.end() ? path : wtext(found->second.data(), found->second.size());
}

bool readhead(const wtext& path, std::size_t most) {
  const std::string name = key(toansi(ansiform(path)));
  auto found = now().files.find(name);
  if (found == now().files.end() || found->second.unreadable) return false;
  now().lastheadread = std::min(most, found->second.content.size());
  return true;
}

uint32_t threadid() { return static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id())); }
void locktable() { memorysystem::tablemutex.lock(); }
void unlocktable() { memorysystem::tablemutex.unlock(); }

}  // namespace bridge::sys
