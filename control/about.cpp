// The About box Form1: a top-level window laid out in twips like the form
// it was designed as, shown modally with no owner. Its message loop is the
// thread's, so the control's timers and events go on while it is open.
#include "base/product.h"
#include "control/zeloggplay.h"
#include "resources/resource.h"

#include <shellapi.h>

namespace control {

namespace {


enum Child { Label1 = 101, Label2, Label4, Text1, Command1, Label6 };

const char* const Description =
    "ActiveX OCX to play OGG Vorbis media files , the OGG Vorbis format can store the same quality of an MP3 128 "
    "kbits in 64 kbits , even 48 kbits will provide a good quality in the playback , the technology used in OGG "
    "Vorbis is a lot better than MP3 and WMA and unencumbered of patents\r\n";
const char* const Notice = "Made by Zel Software";

struct Layout {
  Child id;
  const char* cls;
  DWORD exstyle;
  DWORD style;
  int left, top, width, height;  // twips
  int hundredthpoints;           // font size: 825 is 8.25 point
  bool underline;
};

// In creation order, which is also the tab order: the text box comes first.
const Layout Children[] = {
    {Text1, "EDIT", WS_EX_CLIENTEDGE, WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 480, 1680,
     3855, 1335, 825, false},
    {Command1, "BUTTON", 0, WS_TABSTOP | BS_PUSHBUTTON, 3000, 3120, 1335, 375, 825, false},
    {Label1, "STATIC", 0, SS_CENTER, 480, 240, 3855, 375, 1350, false},
    {Label2, "STATIC", 0, SS_LEFT | SS_NOTIFY, 1440, 720, 2535, 255, 825, true},
    {Label4, "STATIC", 0, SS_LEFT | SS_NOTIFY, 1440, 960, 2295, 255, 825, true},
    {Label6, "STATIC", 0, SS_LEFT, 120, 3360, 2295, 255, 825, false},
};

constexpr DWORD FormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // no minimize, no maximize
constexpr int ClientWidth = 4905, ClientHeight = 3660;                           // twips

const char* childtext(Child id) {
  switch (id) {
    case Label1: return "Zel Software";
    case Label2: return product::WebSite;
    case Label4: return product::SupportEmail;
    case Text1: return Description;
    case Command1: return "Exit";
    case Label6: return Notice;
  }
  return "";
}

int dpi(int axis) {
  HDC screen = GetDC(nullptr);
  const int value = GetDeviceCaps(screen, axis);
  ReleaseDC(nullptr, screen);
  return value;
}

int pixelsx(int twips) { return MulDiv(twips, dpi(LOGPIXELSX), 1440); }
int pixelsy(int twips) { return MulDiv(twips, dpi(LOGPIXELSY), 1440); }

// The form's fonts, made once per window and deleted with it.
struct Fonts {
  HFONT title, text, link;
};

HFONT makefont(int hundredthpoints, bool underline) {
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(hundredthpoints, dpi(LOGPIXELSY), 7200);
  font.lfWeight = FW_NORMAL;
  font.lfUnderline = underline;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpyW(font.lfFaceName, L"MS Sans Serif");
  return CreateFontIndirectW(&font);
}

void open(HWND owner, const char* target) {
  ShellExecuteA(owner, "open", target, "", "C:\\", SW_SHOWNORMAL);
}

LRESULT CALLBACK FormProc(HWND form, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* fonts = reinterpret_cast<Fonts*>(GetWindowLongPtrW(form, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      // On load the caption becomes the application title.
      SetWindowTextA(form, product::AppTitle);
      fonts = new Fonts{makefont(1350, false), makefont(825, false), makefont(825, true)};
      SetWindowLongPtrW(form, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(fonts));
      for (const Layout& child : Children) {
        HWND control = CreateWindowExA(child.exstyle, child.cls, childtext(child.id), WS_CHILD | WS_VISIBLE | child.style,
                                       pixelsx(child.left), pixelsy(child.top), pixelsx(child.width),
                                       pixelsy(child.height), form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)),
                                       com::ModuleHandle(), nullptr);
        HFONT font = child.hundredthpoints == 1350 ? fonts->title : child.underline ? fonts->link : fonts->text;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      }
      return 0;
    }
    case WM_SETCURSOR: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wparam));
      if (id == Label2 || id == Label4) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (id == Label2 || id == Label4) {  // links are blue
        SetTextColor(reinterpret_cast<HDC>(wparam), RGB(0, 0, 255));
        SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case Label2:
          if (HIWORD(wparam) == STN_CLICKED) open(form, product::WebSite);
          return 0;
        case Label4:
          if (HIWORD(wparam) == STN_CLICKED) open(form, (base::atext("mailto:") + product::SupportEmail).c_str());
          return 0;
        case Command1:
        case IDCANCEL:
          DestroyWindow(form);
          return 0;
      }
      break;
    case WM_DESTROY:
      if (fonts) {
        DeleteObject(fonts->title);
        DeleteObject(fonts->text);
        DeleteObject(fonts->link);
        delete fonts;
        SetWindowLongPtrW(form, GWLP_USERDATA, 0);
      }
      return 0;
  }
  return DefWindowProcW(form, message, wparam, lparam);
}

bool registerform() {
  HICON icon = static_cast<HICON>(
      LoadImageW(com::ModuleHandle(), MAKEINTRESOURCEW(ZEL_ABOUT_ICON), IMAGE_ICON, 32, 32, 0));
  return RegisterWindowClass(FormClass, FormProc, true, icon);
}

BOOL CALLBACK FindForm(HWND window, LPARAM out) {
  wchar_t name[32];
  if (GetClassNameW(window, name, 32) && lstrcmpW(name, FormClass) == 0) {
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
  }
  return TRUE;
}

// The form this thread already shows, if any.
HWND existingform() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindForm, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

void ShowAboutBox() {
  // One instance per thread: asked again while it is open, it comes to the
  // front and the modal loop already running goes on.
  if (HWND open = existingform()) {
    SetForegroundWindow(open);
    return;
  }
  if (!registerform()) return;
  RECT frame = {0, 0, pixelsx(ClientWidth), pixelsy(ClientHeight)};
  AdjustWindowRectEx(&frame, FormStyle, FALSE, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND form = CreateWindowExW(WS_EX_DLGMODALFRAME, FormClass, L"Form1", FormStyle, left, top, width, height, nullptr,
                              nullptr, com::ModuleHandle(), nullptr);
  if (!form) return;
  ShowWindow(form, SW_SHOWNORMAL);
  SetFocus(GetDlgItem(form, Text1));
  MSG msg;
  while (IsWindow(form)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // the host's loop must see its quit
      break;
    }
    if (!IsDialogMessageW(form, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (IsWindow(form)) DestroyWindow(form);
}

}  // namespace control
