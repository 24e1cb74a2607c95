// pellicar-shell.dll's four entry points: the class objects of its thumbnail provider
// and decoder, whether it may be unloaded, and its registration.
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "class_ids.h"
#include "com_object.h"
#include "registration.h"
#include "thumbnail_provider.h"
#include "wic_decoder.h"

namespace {

// The DLL's own path, as the registry must name it; empty when it cannot be had.
std::wstring ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModulePath), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

// Registers or unregisters, then tells Explorer that what opens .m32 files has changed.
template <class Change>
HRESULT ChangeRegistration(Change change) {
  return shell::Guarded([&] {
    const std::wstring path = ModulePath();
    if (path.empty()) return E_UNEXPECTED;
    const HRESULT result = change(path);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return result;
  });
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid == shell::kThumbnailProviderClsid)
    return shell::Offer<shell::ClassFactory<shell::ThumbnailProvider>>(iid, object);
  if (clsid == shell::kDecoderClsid) return shell::Offer<shell::ClassFactory<shell::WicDecoder>>(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return shell::ModuleUse::objects == 0 && shell::ModuleUse::locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return ChangeRegistration(shell::Register); }

STDAPI DllUnregisterServer() { return ChangeRegistration(shell::Unregister); }
