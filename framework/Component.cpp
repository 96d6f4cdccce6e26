#include "framework/Component.h"

#include <algorithm>

#include "common/MovieAddress.h"
#include "framework/DateTime.h"

namespace vorra {

void TPersistent::Assign(const TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError("Cannot assign a nil object");
}

void TPersistent::AssignTo(TPersistent* Dest) const { throw EConvertError("Cannot assign these objects"); }

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) {
    // Components made while their owner is being built are part of that build.
    if (AOwner->FComponentState.Contains(csLoading)) FComponentState.Include(csLoading);
    if (AOwner->FComponentState.Contains(csDesigning)) FComponentState.Include(csDesigning);
    AOwner->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  Destroying();
  // Those that asked hear of it while this object's pointer is still unique.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    std::erase(other->FFreeNotifies, this);
    other->Notification(this, TOperation::opRemove);
  }
  // Last created, first freed; each one leaves the list as it goes.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    c->BeforeDestruction();
    // BeforeDestruction may have freed it already (it leaves the list then).
    if (!FComponents.empty() && FComponents.back() == c) delete c;
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove && AComponent) RemoveFreeNotification(AComponent);
  if (FComponentState.Contains(csDestroying)) return;
  // Snapshot: a handler may free or move components.
  const std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (c != AComponent && std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
      c->Notification(AComponent, Operation);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::SetLoading(bool Value) {
  if (Value)
    FComponentState.Include(csLoading);
  else
    FComponentState.Exclude(csLoading);
  for (TComponent* c : FComponents) c->SetLoading(Value);
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* c : FComponents) c->SetDesigning(Value, true);
}

void TComponent::LoadedTree() {
  const std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned) c->LoadedTree();
  if (FComponentState.Contains(csLoading)) Loaded();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  std::erase(FFreeNotifies, AComponent);
  std::erase(AComponent->FFreeNotifies, this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  const std::string wanted = AnsiUpperCase(name);
  for (TComponent* c : FComponents)
    if (!name.empty() && AnsiUpperCase(c->Name()) == wanted) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  const auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it == FComponents.end()) return;
  Notification(AComponent, TOperation::opRemove);
  FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

}  // namespace vorra
