// TComponent: ownership (owned components are freed with their owner), the
// component's name and state, and free notification between components.
#pragma once

#include <string>
#include <vector>

#include "platform/object.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TOperation { opInsert, opRemove };

enum TComponentStateItem : unsigned {
  csLoading = 0x01,
  csReading = 0x02,
  csWriting = 0x04,
  csDestroying = 0x08,
  csDesigning = 0x10,
  csUpdating = 0x20,
  csFreeNotification = 0x40,
};
using TComponentState = unsigned;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  // The owned component of that name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  // Asks to be told (through Notification with opRemove) when AComponent is
  // freed; the link is mutual and ends when either side goes.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return state_; }
  // Marks the component and everything it owns as being destroyed, so that
  // code running during the teardown can see it.
  void Destroying();

  int Tag = 0;

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  void SetComponentState(TComponentState s) { state_ = s; }

 private:
  void DestroyComponents();

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_ = 0;
};

}  // namespace redozir
#pragma GCC visibility pop
