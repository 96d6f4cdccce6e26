#include "framework/Component.h"

#include <algorithm>

#include "common/Functions.h"
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
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Last created, first freed; each one leaves the list as it goes.
  while (!FComponents.empty()) delete FComponents.back();
  if (FOwner) FOwner->RemoveComponent(this);
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
