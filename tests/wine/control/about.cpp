// The About box.
#include "tests/wine/control/harness.h"

namespace controltest {

// ---- the About box ----

// What a watcher thread saw of the About box, and what it did.
struct AboutWatch {
  explicit AboutWatch(DWORD t) : thread(t) {}
  DWORD thread;
  std::vector<std::string> failures;  // checks of the form that failed
  std::string caption;
  bool seen = false;
  volatile bool playbackended = false;  // set by the event sink
  bool endedwhileopen = false;
  bool clicklinks = false;
  bool useclosebox = false;
};

BOOL CALLBACK FindAbout(HWND window, LPARAM out) {
  wchar_t name[32];
  if (GetClassNameW(window, name, 32) && lstrcmpW(name, L"ZelOggPlayAbout") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
  }
  return TRUE;
}

void inspectabout(AboutWatch& w, HWND form) {
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) w.failures.push_back(what);
  };
  char text[512] = {};
  GetWindowTextA(form, text, sizeof text);
  w.caption = text;
  HDC screen = GetDC(nullptr);
  const int dpix = GetDeviceCaps(screen, LOGPIXELSX), dpiy = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  auto px = [&](int twips) { return MulDiv(twips, dpix, 1440); };
  auto py = [&](int twips) { return MulDiv(twips, dpiy, 1440); };
  const LONG style = GetWindowLongW(form, GWL_STYLE);
  expect((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && !(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)),
         "style: caption and close box, no minimize or maximize");
  expect(GetWindow(form, GW_OWNER) == nullptr, "no owner");
  RECT client;
  GetClientRect(form, &client);
  expect(client.right == px(4905) && client.bottom == py(3660), "client area 4905 by 3660 twips");
  RECT outer;
  GetWindowRect(form, &outer);
  const int cx = (outer.left + outer.right) / 2, cy = (outer.top + outer.bottom) / 2;
  expect(std::abs(cx - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 && std::abs(cy - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1,
         "centred on the screen");
  expect(SendMessageW(form, WM_GETICON, ICON_BIG, 0) != 0 || GetClassLongPtrW(form, GCLP_HICON) != 0, "has an icon");

  struct Expected {
    int id;
    const char* cls;
    const char* text;
    int left, top, width, height;
    int hundredthpoints;
    bool underline;
  };
  static const std::string description =
      "ActiveX OCX to play OGG Vorbis media files , the OGG Vorbis format can store the same quality of an MP3 128 "
      "kbits in 64 kbits , even 48 kbits will provide a good quality in the playback , the technology used in OGG "
      "Vorbis is a lot better than MP3 and WMA and unencumbered of patents\r\n";
  const Expected children[] = {
      {101, "Static", "Zel Software", 480, 240, 3855, 375, 1350, false},
      {102, "Static", "http://www.zel.example", 1440, 720, 2535, 255, 825, true},
      {103, "Static", "support@zel.example", 1440, 960, 2295, 255, 825, true},
      {104, "Edit", description.c_str(), 480, 1680, 3855, 1335, 825, false},
      {105, "Button", "Exit", 3000, 3120, 1335, 375, 825, false},
      {106, "Static", nullptr, 120, 3360, 2295, 255, 825, false},
  };
  expect(description.size() == 284, "the description is 284 characters");
  for (const Expected& e : children) {
    HWND child = GetDlgItem(form, e.id);
    const std::string name = "control " + std::to_string(e.id);
    if (!child) {
      expect(false, name + " exists");
      continue;
    }
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    expect(_stricmp(cls, e.cls) == 0, name + " is a " + e.cls);
    std::string value(static_cast<std::size_t>(GetWindowTextLengthA(child)), '\0');
    GetWindowTextA(child, value.data(), static_cast<int>(value.size() + 1));
    expect(e.text ? value == e.text : value.find("Zel Software") != std::string::npos, name + " text");
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    expect(r.left == px(e.left) && r.top == py(e.top) && r.right - r.left == px(e.width) &&
               r.bottom - r.top == py(e.height),
           name + " position");
    LOGFONTA font = {};
    HFONT hfont = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
    expect(hfont && GetObjectA(hfont, sizeof font, &font) && std::string(font.lfFaceName) == "MS Sans Serif" &&
               font.lfHeight == -MulDiv(e.hundredthpoints, dpiy, 7200) && (font.lfUnderline != 0) == e.underline,
           name + " font");
  }
  // Tab order: the text box is the first control that takes the focus.
  HWND first = GetWindow(form, GW_CHILD);
  while (first && !(GetWindowLongW(first, GWL_STYLE) & WS_TABSTOP)) first = GetWindow(first, GW_HWNDNEXT);
  expect(first == GetDlgItem(form, 104), "the text box is first in the tab order");
}

DWORD WINAPI WatchAbout(void* p) {
  auto& w = *static_cast<AboutWatch*>(p);
  HWND form = nullptr;
  const DWORD start = GetTickCount();
  while (!form && GetTickCount() - start < 60000) {
    EnumThreadWindows(w.thread, FindAbout, reinterpret_cast<LPARAM>(&form));
    if (!form) Sleep(20);
  }
  if (!form) return 0;
  w.seen = true;
  inspectabout(w, form);
  if (w.clicklinks) {
    // The form's timers-and-events loop goes on: the playback ends while it is open.
    while (!w.playbackended && IsWindow(form) && GetTickCount() - start < 300000) Sleep(20);
    w.endedwhileopen = w.playbackended && IsWindow(form);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(102, STN_CLICKED), 0);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(103, STN_CLICKED), 0);
  }
  if (w.useclosebox)
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  else
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(105, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(form, 105)));
  return 0;
}

// Lines the recording handler of http: and mailto: wrote.
// The addresses the recording handler was given, one file each.
std::vector<std::string> recorded(const std::wstring& folder) {
  std::vector<std::string> lines;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return lines;
  do {
    FILE* f = _wfopen((folder + L"\\" + found.cFileName).c_str(), L"rb");
    if (!f) continue;
    char line[512];
    if (std::fgets(line, sizeof line, f)) {
      std::string l = line;
      while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
      lines.push_back(l);
    }
    std::fclose(f);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return lines;
}

ZEL_CASE(caseabout, "about", Together,
         "the About box: layout, texts, fonts, caption, closing, events while open, and the links opened by the shell") {
  Control c;
  c.create();
  c.call(L"ControlName");
  AboutWatch first(GetCurrentThreadId());
  first.clicklinks = true;
  c.sink.onevent = [&](const std::string& line) {
    if (line.rfind("ErrorCode", 0) == 0) first.playbackended = true;
  };
  c.play(L"stereo44100.ogg");
  HANDLE watcher = CreateThread(nullptr, 0, WatchAbout, &first, 0, nullptr);
  const HRESULT hr = c.call(L"About");
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  check(SUCCEEDED(hr) && first.seen, "about: About shows the form and returns when it closes");
  check(first.failures.empty(), "about: the form's layout, texts, fonts and style", joined(first.failures));
  check(first.caption == "Zel OGG Vorbis Player OCX 1.0.0", "about: caption set on load", first.caption);
  check(first.endedwhileopen && c.sink.milestones().back() == "ErrorCode 0 No error",
        "about: the control's timers and events go on while it is open", joined(c.sink.milestones()));

  AboutWatch second(GetCurrentThreadId());
  second.useclosebox = true;
  watcher = CreateThread(nullptr, 0, WatchAbout, &second, 0, nullptr);
  c.call(L"About");
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  check(second.seen && second.caption == "Zel OGG Vorbis Player OCX 1.0.0",
        "about: a second About, closed by its close box, has the caption again");

  if (!openedfile.empty()) {
    c.call(L"Goto_ZelSoftware");
    std::vector<std::string> lines;
    pumpuntil([&] { return (lines = recorded(openedfile)).size() >= 3; }, 60000);
    std::sort(lines.begin(), lines.end());
    check(lines == std::vector<std::string>{"http://www.zel.example", "http://www.zel.example",
                                            "mailto:support@zel.example"},
          "about: the web site (twice) and a mailto: address reach the shell's handlers", joined(lines));
  }
}

}  // namespace controltest
