// Lists what a type library offers its users, one line each, for the
// check of the examples:
//   tlbinfo PATH      (zeloggplays100.ocx for the first library, PATH\2 for the second)
// prints for each class "member CLASS NAME ARGUMENTS KIND" (KIND method,
// get or put; ARGUMENTS without the return value), the members of its
// default interface and of every interface that one derives from, and
// "event CLASS NAME ARGUMENTS" for its events; first "locale LCID" (in hex),
// the locale the library is registered under. The second library needs the
// first registered (it imports it).
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

std::string narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text && i < SysStringLen(text); ++i) out += static_cast<char>(text[i] < 128 ? text[i] : '?');
  return out;
}

std::string nameof(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr;
  info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  std::string out = narrow(name);
  SysFreeString(name);
  return out;
}

// The members of an interface and of those it derives from, IDispatch's
// and IUnknown's left out.
void members(ITypeInfo* info, const std::string& owner, const char* what) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  const std::string name = nameof(info, MEMBERID_NIL);
  if (name == "IDispatch" || name == "IUnknown") {
    info->ReleaseTypeAttr(attr);
    return;
  }
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    if (func->wFuncFlags & FUNCFLAG_FRESTRICTED) {  // IUnknown's and IDispatch's own
      info->ReleaseFuncDesc(func);
      continue;
    }
    int arguments = 0;
    for (SHORT p = 0; p < func->cParams; ++p)
      if (!(func->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++arguments;
    const char* kind = func->invkind == INVOKE_PROPERTYGET ? "get"
                       : func->invkind == INVOKE_FUNC      ? "method"
                                                           : "put";
    std::printf("%s %s %s %d", what, owner.c_str(), nameof(info, func->memid).c_str(), arguments);
    if (what[0] == 'm') std::printf(" %s", kind);
    std::printf("\n");
    info->ReleaseFuncDesc(func);
  }
  for (UINT i = 0; i < attr->cImplTypes; ++i) {
    HREFTYPE ref;
    ITypeInfo* base = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(i, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, &base))) {
      members(base, owner, what);
      base->Release();
    }
  }
  info->ReleaseTypeAttr(attr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tlbinfo PATH\n");
    return 2;
  }
  CoInitialize(nullptr);
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(argv[1], REGKIND_NONE, &library))) {
    std::fprintf(stderr, "cannot load the type library\n");
    return 1;
  }
  TLIBATTR* libattr = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&libattr))) {
    std::printf("locale %lx\n", static_cast<unsigned long>(libattr->lcid));
    library->ReleaseTLibAttr(libattr);
  }
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr->typekind == TKIND_COCLASS) {
      const std::string owner = nameof(info, MEMBERID_NIL);
      for (UINT k = 0; k < attr->cImplTypes; ++k) {
        INT flags = 0;
        HREFTYPE ref;
        ITypeInfo* implemented = nullptr;
        if (FAILED(info->GetImplTypeFlags(k, &flags)) || !(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
        if (SUCCEEDED(info->GetRefTypeOfImplType(k, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, &implemented))) {
          members(implemented, owner, (flags & IMPLTYPEFLAG_FSOURCE) ? "event" : "member");
          implemented->Release();
        }
      }
    }
    if (attr) info->ReleaseTypeAttr(attr);
    info->Release();
  }
  library->Release();
  CoUninitialize();
  return 0;
}
