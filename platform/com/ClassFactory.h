// Class factories and what an in-process server module exports: IClassFactory,
// the signatures of the four server entry points, the counts behind
// DllCanUnloadNow, and a factory base that servers derive from.
#pragma once

#include <atomic>

#include "platform/com/Com.h"

namespace win {

extern const IID IID_IClassFactory;

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};

// The exports of an in-process server, looked up by these names.
using TDllGetClassObject = HRESULT (*)(REFCLSID rclsid, REFIID riid, void** ppv);
using TDllCanUnloadNow = HRESULT (*)();
using TDllRegisterServer = HRESULT (*)();
using TDllUnregisterServer = HRESULT (*)();

// What keeps a server module loaded: the objects it has made that are alive,
// and the locks taken on its factories (LockServer, references held outside).
class TComServerCounts {
 public:
  void ObjectCreated() { objects_.fetch_add(1); }
  void ObjectDestroyed() { objects_.fetch_sub(1); }
  void Lock() { locks_.fetch_add(1); }
  void Unlock() { locks_.fetch_sub(1); }
  long Objects() const { return objects_.load(); }
  long Locks() const { return locks_.load(); }
  // DllCanUnloadNow's answer: S_OK once nothing is alive or locked.
  HRESULT CanUnloadNow() const { return objects_.load() == 0 && locks_.load() == 0 ? S_OK : S_FALSE; }

 private:
  std::atomic<long> objects_{0};
  std::atomic<long> locks_{0};
};

// Counts one object of a server for as long as it lives: a member or base of
// the server's object classes.
class TServerObjectCount {
 public:
  explicit TServerObjectCount(TComServerCounts* counts) : counts_(counts) {
    if (counts_) counts_->ObjectCreated();
  }
  ~TServerObjectCount() {
    if (counts_) counts_->ObjectDestroyed();
  }
  TServerObjectCount(const TServerObjectCount&) = delete;
  TServerObjectCount& operator=(const TServerObjectCount&) = delete;

 private:
  TComServerCounts* counts_;
};

// A factory for one class, made by its server when the module loads and held
// by it until the module goes. Every reference beyond the server's own counts
// as a lock on the server, so a client that holds the factory keeps the module
// loaded. CreateInstance answers E_POINTER for a null out pointer and
// CLASS_E_NOAGGREGATION for any outer object (no class here aggregates);
// otherwise it makes an object with CreateObject and hands out the interface
// asked for, freeing the object when it has none.
class TClassFactory : public TComObject<IClassFactory> {
 public:
  explicit TClassFactory(TComServerCounts* counts) : counts_(counts) {}

  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
  HRESULT LockServer(BOOL fLock) override;
  ULONG AddRef() override;
  ULONG Release() override;

 protected:
  // A new object holding one reference for the caller, or a failure.
  virtual HRESULT CreateObject(IUnknown** object) = 0;
  IUnknown* FindInterface(REFIID riid) override;
  TComServerCounts* Counts() const { return counts_; }

 private:
  TComServerCounts* counts_;
};

}  // namespace win
