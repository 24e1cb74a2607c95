// What every COM object of the DLL shares, written once: the reference count,
// QueryInterface over the interfaces it derives from, the class factory, and the
// module's count of living objects and of client locks, which tells when the DLL may be
// unloaded. Nothing else in the DLL is global.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <atomic>
#include <new>
#include <tuple>

#include "m32_bitmap.h"

namespace shell {

struct ModuleUse {
  static inline std::atomic<long> objects{0};
  static inline std::atomic<long> locks{0};  // IClassFactory::LockServer
};

// Whether QueryInterface hands out `Interface` for `iid`; an interface that derives
// from another besides IUnknown specialises this to answer for both.
template <class Interface>
bool Answers(REFIID iid) {
  return iid == __uuidof(Interface);
}

// Runs the body of a method so that no exception crosses into the caller: memory running
// out is E_OUTOFMEMORY.
template <class Body>
HRESULT Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The result a caller expects for each fault, in the terms of Windows' imaging component.
inline HRESULT ResultOf(Fault fault) {
  switch (fault) {
    case Fault::kNone: return S_OK;
    case Fault::kNotM32: return WINCODEC_ERR_BADHEADER;
    case Fault::kReadFailed: return WINCODEC_ERR_STREAMREAD;
    case Fault::kBadArgument: return E_INVALIDARG;
    case Fault::kBufferTooSmall: return WINCODEC_ERR_INSUFFICIENTBUFFER;
  }
  return E_FAIL;
}

template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { ++ModuleUse::objects; }
  virtual ~ComObject() { --ModuleUse::objects; }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    void* found = nullptr;
    ((found = found ? found : Find<Interfaces>(iid)), ...);
    if (!found && iid == __uuidof(IUnknown)) found = static_cast<IUnknown*>(static_cast<Primary*>(this));
    *object = found;
    if (!found) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  using Primary = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  template <class Interface>
  void* Find(REFIID iid) {
    return Answers<Interface>(iid) ? static_cast<Interface*>(this) : nullptr;
  }
  std::atomic<ULONG> references_{1};
};

// A new `Object` as the interface `iid` asks for, or the reason there is none.
template <class Object>
HRESULT Offer(REFIID iid, void** object) {
  Object* made = new (std::nothrow) Object();
  if (!made) return E_OUTOFMEMORY;
  const HRESULT result = made->QueryInterface(iid, object);
  made->Release();
  return result;
}

// Makes `Object`s for DllGetClassObject; it keeps the DLL loaded while it lives.
template <class Object>
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Offer<Object>(iid, object);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    lock ? ++ModuleUse::locks : --ModuleUse::locks;
    return S_OK;
  }
};

}  // namespace shell
