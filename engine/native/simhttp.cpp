#include "engine/native/simhttp.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "engine/net/http.h"
#include "engine/protocol.h"

namespace zelov {

std::atomic<int32_t> httptimeoutms{5000};

struct httpget {
  simhttp::server server;
  std::u16string url;
  uint64_t at = 0;  // the body's byte served next
  uint64_t sent = 0;  // bytes of body on this connection
  bool breaks = false;
  std::chrono::steady_clock::time_point start;
};

}  // namespace zelov

namespace {

struct site {
  simhttp::server server;
  int connections = 0;
  uint64_t lastfrom = 0;
  uint64_t served = 0;
};

struct table {
  std::mutex lock;
  std::map<std::u16string, site> sites;
};
table& sites() {
  static table t;
  return t;
}

}  // namespace

namespace simhttp {

void serve(const std::u16string& url, const server& s) {
  std::lock_guard<std::mutex> held(sites().lock);
  sites().sites[url].server = s;
}

void reset() {
  std::lock_guard<std::mutex> held(sites().lock);
  sites().sites.clear();
  zelov::httptimeoutms.store(5000);
}

int connections(const std::u16string& url) {
  std::lock_guard<std::mutex> held(sites().lock);
  return sites().sites[url].connections;
}

uint64_t lastfrom(const std::u16string& url) {
  std::lock_guard<std::mutex> held(sites().lock);
  return sites().sites[url].lastfrom;
}

uint64_t served(const std::u16string& url) {
  std::lock_guard<std::mutex> held(sites().lock);
  return sites().sites[url].served;
}

}  // namespace simhttp

namespace zelov {

httpget* httpopen(const char16_t* url, uint64_t from, httpanswer& answer) {
  answer = httpanswer{};
  simhttp::server server;
  int connection = 0;
  bool known = false;
  {
    std::lock_guard<std::mutex> held(sites().lock);
    auto found = sites().sites.find(url);
    if (found != sites().sites.end()) {
      known = true;
      server = found->second.server;
      connection = found->second.connections++;
      found->second.lastfrom = from;
    }
  }
  if (server.connectms) std::this_thread::sleep_for(std::chrono::milliseconds(server.connectms));
  if (!known || server.failure) {
    answer.failure = known ? server.failure : resultunreachable;
    return nullptr;
  }
  answer.status = server.status;
  if (server.status >= 400) {
    answer.failure = resulthttpstatus;
    return nullptr;
  }
  if (from > 0 && !server.ranges) {
    answer.failure = resultconnectionlost;
    return nullptr;
  }
  if (from > 0) answer.status = 206;
  answer.ranges = server.ranges;
  answer.station = server.station;
  if (server.length) answer.length = static_cast<int64_t>(server.body.size() - std::min<uint64_t>(from, server.body.size()));
  auto* get = new httpget{server, url, from, 0, connection < server.breaks, std::chrono::steady_clock::now()};
  return get;
}

long httpread(httpget* get, char* out, std::size_t size) {
  const simhttp::server& s = get->server;
  if (get->breaks && get->sent >= s.breakat) {
    if (s.close) return 0;
    if (!s.stall) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(httptimeoutms.load()));
    return -2;
  }
  if (s.body.empty()) return 0;
  if (!s.endless && get->at >= s.body.size()) return 0;
  // 4 KiB at most, and a paced server no more than 50 ms of its pace.
  std::size_t n = std::min<std::size_t>(size, 4096);
  if (s.bytespersecond) n = std::min<std::size_t>(n, std::max<uint32_t>(s.bytespersecond / 20, 1));
  if (get->breaks) n = std::min<std::size_t>(n, s.breakat - get->sent);
  if (!s.endless) n = std::min<std::size_t>(n, s.body.size() - get->at);
  if (s.bytespersecond) {
    // Not ahead of its pace: wait until these bytes are due.
    const uint64_t paced = get->sent + n > s.burst ? get->sent + n - s.burst : 0;
    const auto due = get->start + std::chrono::microseconds(paced * 1000000 / s.bytespersecond);
    std::this_thread::sleep_until(due);
  }
  for (std::size_t i = 0; i < n; ++i) out[i] = s.body[(get->at + i) % s.body.size()];
  get->at += n;
  get->sent += n;
  std::lock_guard<std::mutex> held(sites().lock);
  sites().sites[get->url].served += n;
  return static_cast<long>(n);
}

void httpclose(httpget* get) { delete get; }

}  // namespace zelov
