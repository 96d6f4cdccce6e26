// The root classes of the class library: objects that events name as their
// Sender, and components that own other components and free them with
// themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Set.h"

namespace vorra {

class TObject {
 public:
  virtual ~TObject() = default;
  // Runs while the object is still whole, just before it is deleted: the
  // place for work that needs the derived parts (a form's OnDestroy).
  // Free and the owners call it; it must tolerate a second call.
  virtual void BeforeDestruction() {}
  // Frees the object the way the class library does.
  void Free() {
    BeforeDestruction();
    delete this;
  }
};

// Objects whose state can be copied from another of a kind they know.
class TPersistent : public TObject {
 public:
  // Copies Source's state; raises EConvertError when neither side knows the
  // other's kind.
  virtual void Assign(const TPersistent* Source);

 protected:
  // Asked by Assign when this object does not know Source's kind.
  virtual void AssignTo(TPersistent* Dest) const;
};

// Frees through Free, for std::unique_ptr holders of forms and components.
struct TFreeDeleter {
  void operator()(TObject* o) const {
    if (o) o->Free();
  }
};

enum class TOperation { opInsert, opRemove };

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning, csUpdating };
using TComponentState = TSet<TComponentStateItem>;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(static_cast<std::size_t>(index)); }
  TComponent* FindComponent(const std::string& name) const;

  // Ownership moves: the owner frees what it holds when it is freed.
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  // Told when a component joins or leaves this one's owner list, and when a
  // component this one asked to hear about (FreeNotification) is freed. The
  // base passes removals on to the owned components, as the class library
  // does, so siblings can drop references to each other; not while this
  // component is being destroyed.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Called once the component's stored properties are all set; clears csLoading.
  virtual void Loaded();

  TComponentState ComponentState() const { return FComponentState; }
  // Marks this component and everything it owns as being destroyed. The
  // destructors of derived classes call it first, while the whole object
  // still stands, so that hooks and handlers can tell.
  void Destroying();
  // Sets or clears csLoading here and on the owned components.
  void SetLoading(bool Value);
  void SetDesigning(bool Value, bool SetChildren = true);
  // Loaded on every owned component (depth first) that is still loading, then here.
  void LoadedTree();

  // Both sides hear Notification(other, opRemove) when the other is freed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Free-form number for the program's own use.
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t v) { FTag = v; }

 protected:
  TComponentState FComponentState;

 private:
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  intptr_t FTag = 0;
};

}  // namespace vorra
