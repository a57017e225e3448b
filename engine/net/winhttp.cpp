// One GET through WinHTTP, synchronous on the fetch's own thread: a session
// of the system's proxy settings, the timeouts the engine sets, and WinHTTP's
// own following of redirects and checking of certificates (a certificate
// that does not validate fails the request; it is never ignored).
#include "engine/net/http.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "engine/protocol.h"
#include "engine/streams/diag.h"
#include "engine/streams/made.h"

namespace zelov {

std::atomic<int32_t> httptimeoutms{5000};

struct httpget {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~httpget() {
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
  }
};

namespace {

// Windows 8.1 and later take the user's proxy settings themselves; earlier
// ones know only WinHTTP's own (netsh winhttp).
constexpr DWORD automaticproxy = 4;  // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
// The most header bytes an answer may have: WinHTTP's own limit (64 KiB),
// which Windows keeps while reading them and Wine does not.
constexpr DWORD headermost = 65536;

int32_t failurefor(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return resultcertificate;
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return resultredirects;
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return resultheaders;
    case ERROR_WINHTTP_TIMEOUT:
      return resultstalled;
    default:
      return resultunreachable;
  }
}

// A header's text, "" when there is none.
bool header(HINTERNET request, DWORD which, wchar_t (&text)[64]) {
  DWORD size = sizeof text;
  text[0] = L'\0';
  return WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, text, &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
}

}  // namespace

httpget* httpopen(const char16_t* url, uint64_t from, httpanswer& answer) {
  answer = httpanswer{};
  const wchar_t* address = reinterpret_cast<const wchar_t*>(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  wchar_t host[256];
  if (!WinHttpCrackUrl(address, 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0 || parts.dwHostNameLength >= 256) {
    diagerr("Not an http:// or https:// address.\n");
    answer.failure = resultunreachable;
    return nullptr;
  }
  wmemcpy(host, parts.lpszHostName, parts.dwHostNameLength);
  host[parts.dwHostNameLength] = L'\0';
  // The path and the query after it, which follow each other in the URL.
  const DWORD pathlength = parts.dwUrlPathLength + parts.dwExtraInfoLength;
  wchar_t* path = static_cast<wchar_t*>(std::malloc((pathlength + 2) * sizeof(wchar_t)));
  httpget* get = path ? make<httpget>() : nullptr;
  if (!get) {
    std::free(path);
    answer.failure = resultunreachable;
    return nullptr;
  }
  if (pathlength) wmemcpy(path, parts.lpszUrlPath, pathlength);
  path[pathlength] = L'\0';
  if (pathlength == 0) path[0] = L'/', path[1] = L'\0';

  get->session = WinHttpOpen(L"ZelOggPlay", automaticproxy, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!get->session)
    get->session = WinHttpOpen(L"ZelOggPlay", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0);
  const int timeout = httptimeoutms.load();
  bool sent = false;
  if (get->session && WinHttpSetTimeouts(get->session, timeout, timeout, timeout, timeout) &&
      (get->connection = WinHttpConnect(get->session, host, parts.nPort, 0)) != nullptr &&
      (get->request = WinHttpOpenRequest(get->connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)) != nullptr) {
    wchar_t range[64];
    std::swprintf(range, 64, L"Range: bytes=%llu-", static_cast<unsigned long long>(from));
    sent = (from == 0 || WinHttpAddRequestHeaders(get->request, range, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) &&
           WinHttpSendRequest(get->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
           WinHttpReceiveResponse(get->request, nullptr);
  }
  std::free(path);
  if (!sent) {
    const DWORD error = GetLastError();
    answer.failure = failurefor(error);
    diagerr("The server could not be read (WinHTTP error %lu).\n", static_cast<unsigned long>(error));
    unmake(get);
    return nullptr;
  }
  DWORD headerbytes = 0;
  WinHttpQueryHeaders(get->request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &headerbytes, WINHTTP_NO_HEADER_INDEX);
  if (headerbytes / sizeof(wchar_t) > headermost) {
    diagerr("The server's headers are too large.\n");
    answer.failure = resultheaders;
    unmake(get);
    return nullptr;
  }
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(get->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  answer.status = static_cast<int32_t>(status);
  wchar_t text[64];
  if (header(get->request, WINHTTP_QUERY_CONTENT_LENGTH, text)) answer.length = static_cast<int64_t>(_wcstoui64(text, nullptr, 10));
  answer.ranges = status == 206 || (header(get->request, WINHTTP_QUERY_ACCEPT_RANGES, text) && wcsstr(text, L"bytes"));
  for (const wchar_t* name : {L"icy-name", L"icy-pub", L"icy-br", L"icy-metaint"}) {
    DWORD length = sizeof text;
    answer.station = answer.station ||
                     WinHttpQueryHeaders(get->request, WINHTTP_QUERY_CUSTOM, name, text, &length, WINHTTP_NO_HEADER_INDEX);
  }
  if (status >= 400) answer.failure = resulthttpstatus;
  else if (status >= 300) answer.failure = resultredirects;  // a redirect it would not follow further
  else if (from > 0 && status != 206) answer.failure = resultconnectionlost;  // it cannot resume there
  if (answer.failure) {
    diagerr("The server answered %lu.\n", static_cast<unsigned long>(status));
    unmake(get);
    return nullptr;
  }
  return get;
}

long httpread(httpget* get, char* out, std::size_t size) {
  DWORD got = 0;
  const unsigned long long start = GetTickCount64();
  if (WinHttpReadData(get->request, out, static_cast<DWORD>(size), &got)) return static_cast<long>(got);
  // A read that failed by its time is a silent server, whatever the error
  // (Wine gives another than ERROR_WINHTTP_TIMEOUT).
  const bool timedout = GetLastError() == ERROR_WINHTTP_TIMEOUT ||
                        GetTickCount64() - start >= static_cast<unsigned long long>(httptimeoutms.load()) * 9 / 10;
  return timedout ? -2 : -1;
}

void httpclose(httpget* get) { unmake(get); }

}  // namespace zelov
