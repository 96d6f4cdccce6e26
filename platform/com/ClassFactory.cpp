#include "platform/com/ClassFactory.h"

namespace win {

const IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT TClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IUnknown* object = nullptr;
  if (const HRESULT hr = CreateObject(&object); FAILED(hr)) return hr;
  if (!object) return E_UNEXPECTED;
  // The creation reference goes either way: the caller gets its own through
  // QueryInterface, or the object is freed with it.
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

HRESULT TClassFactory::LockServer(BOOL lock) {
  if (counts_) {
    if (lock) counts_->Lock();
    else counts_->Unlock();
  }
  return S_OK;
}

ULONG TClassFactory::AddRef() {
  const ULONG refs = InternalAddRef();
  if (counts_ && refs > 1) counts_->Lock();
  return refs;
}

ULONG TClassFactory::Release() {
  TComServerCounts* counts = counts_;  // the factory may be gone after the release
  const ULONG refs = InternalRelease();
  if (counts && refs >= 1) counts->Unlock();
  return refs;
}

IUnknown* TClassFactory::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
}

}  // namespace win
