// The root classes of the class library: objects that events name as their
// Sender, and components that own other components and free them with
// themselves.
#pragma once

#include <string>
#include <vector>

namespace vorra {

class TObject {
 public:
  virtual ~TObject() = default;
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

enum class TOperation { opInsert, opRemove };

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

  // Told when a component joins or leaves this one's owner list.
  virtual void Notification(TComponent* AComponent, TOperation Operation) {}
  // Called once the component's stored properties are all set.
  virtual void Loaded() {}

 private:
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
};

}  // namespace vorra
