// The control in a container: ours, and Wine's AtlAxWin.
#include "tests/wine/control/harness.h"

namespace controltest {

// ---- container ----

ZEL_CASE(casecontainer, "container", Together,
         "site, activation, extent snap, picture drawn, persistence") {
  HWND form = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                              nullptr);
  HostSite site(form, RECT{10, 10, 143, 77});  // 2000 by 1000 twips at 96 dpi
  site.usermode = false;                         // a form in design mode
  Control c;
  check(c.create(), "container: created");
  auto object = c.unknown.as<IOleObject>();
  DWORD misc = 0;
  check(object && SUCCEEDED(object->GetMiscStatus(DVASPECT_CONTENT, &misc)) && misc == 0x20591,
        "container: misc status 0x20591");
  check(SUCCEEDED(object->SetClientSite(&site)), "container: client site set first");
  auto persist = c.unknown.as<IPersistStreamInit>();
  CLSID clsid = GUID_NULL;
  check(persist && SUCCEEDED(persist->InitNew()) && SUCCEEDED(persist->GetClassID(&clsid)) && clsid == CLSID_ZelOggPlay,
        "container: InitNew and the class id from IPersistStreamInit");
  check(c.unknown.as<IPersistPropertyBag>() && persist->IsDirty() == S_FALSE, "container: property bag, never dirty");
  SIZEL asked = {3528, 1764};  // 2000 by 1000 twips
  SIZEL extent = {};
  check(SUCCEEDED(object->SetExtent(DVASPECT_CONTENT, &asked)) && SUCCEEDED(object->GetExtent(DVASPECT_CONTENT, &extent)) &&
            extent.cx == 988 && extent.cy == 988,
        "container: SetExtent keeps 560 by 560 twips", std::to_string(extent.cx) + "x" + std::to_string(extent.cy));
  RECT rect = {10, 10, 143, 77};
  check(SUCCEEDED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &rect)) && site.activated,
        "container: in-place activation");
  auto inplace = c.unknown.as<IOleInPlaceObject>();
  HWND face = nullptr;
  check(inplace && SUCCEEDED(inplace->GetWindow(&face)) && face && GetParent(face) == form &&
            (GetWindowLongW(face, GWL_STYLE) & WS_VISIBLE),
        "container: design-time face window on the form");
  if (inplace) inplace->SetObjectRects(&rect, &rect);
  const int width = site.posrect.right - site.posrect.left, height = site.posrect.bottom - site.posrect.top;
  check(site.posrectchanges > 0 && width == height && width >= 36 && width <= 38,
        "container: a resize snaps back to 560 by 560 twips",
        std::to_string(width) + "x" + std::to_string(height));

  // The picture, drawn into a white bitmap.
  auto view = c.unknown.as<IViewObject2>();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP target = CreateCompatibleBitmap(screen, 100, 100);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, target);
  RECT all = {0, 0, 100, 100};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECTL bounds = {0, 0, 100, 100};
  const HRESULT drawn = view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0)
                             : E_NOINTERFACE;
  const COLORREF corner = GetPixel(dc, 0, 0), magnet = GetPixel(dc, 8, 18), outside = GetPixel(dc, 60, 60);
  check(SUCCEEDED(drawn) && corner == RGB(192, 192, 192) && magnet == RGB(64, 64, 64) && outside == RGB(255, 255, 255),
        "container: IViewObject::Draw paints the 39 by 37 loudspeaker at the top left");
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);

  c.play(L"short.ogg");
  check(c.waitend() && c.sink.has("ErrorCode 0 No error"), "container: a sited control plays to its end");
  check(SUCCEEDED(inplace->InPlaceDeactivate()) && !site.activated && !IsWindow(face),
        "container: deactivation removes the face");
  object->Close(OLECLOSE_NOSAVE);
  object->SetClientSite(nullptr);

  // At run time the control is invisible.
  HostSite running(form, RECT{10, 10, 143, 77});
  Control r;
  r.create();
  auto runobject = r.unknown.as<IOleObject>();
  runobject->SetClientSite(&running);
  runobject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &running, 0, form, &rect);
  HWND runface = nullptr;
  auto runinplace = r.unknown.as<IOleInPlaceObject>();
  const bool hidden = !runinplace || FAILED(runinplace->GetWindow(&runface)) || !runface ||
                      !(GetWindowLongW(runface, GWL_STYLE) & WS_VISIBLE);
  check(hidden, "container: in a running form the control shows nothing");
  runobject->Close(OLECLOSE_NOSAVE);
  runobject->SetClientSite(nullptr);
  DestroyWindow(form);
}

// ---- Wine's own container ----

ZEL_CASE(caseatl, "atl", Together,
         "Wine's AtlAxWin container hosting the control by CLSID") {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto get = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  check(init && get && init(), "atl: AtlAxWin available");
  if (!init || !get) return;
  const std::wstring name = guid(CLSID_ZelOggPlay);
  HWND host = CreateWindowExW(0, L"AtlAxWin", name.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                              nullptr, nullptr);
  com::com_ptr<IUnknown> control;
  check(host && SUCCEEDED(get(host, control.put())) && control, "atl: AtlAxWin hosts the control by CLSID");
  if (!control) return;
  Control c;
  c.unknown = control;
  c.dispatch = control.as<IDispatch>();
  auto container = control.as<IConnectionPointContainer>();
  if (container && SUCCEEDED(container->FindConnectionPoint(DIID___ZelOggPlay, c.point.put())))
    c.point->Advise(&c.sink, &c.cookie);
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.milestones().back() == "ErrorCode 0 No error", "atl: plays a file to its end with events",
        joined(c.sink.milestones()));
  c.release();
  DestroyWindow(host);
}

}  // namespace controltest
