#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/exceptions.h"

using namespace redozir;

namespace {

std::vector<std::string>* gFreed = nullptr;

class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::string n) : TComponent(owner) { SetName(n); }
  ~TProbe() override {
    if (gFreed) gFreed->push_back(Name());
  }
  std::vector<TComponent*> Removed;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove) Removed.push_back(c);
  }
};

TEST(Component, FreeingTheOwnerFreesWhatItOwnsDepthFirst) {
  std::vector<std::string> freed;
  gFreed = &freed;
  auto* root = new TProbe(nullptr, "root");
  auto* a = new TProbe(root, "a");
  new TProbe(a, "a1");
  new TProbe(root, "b");
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(a->Owner(), root);
  delete root;
  gFreed = nullptr;
  // The last owned goes first; each frees what it owns after itself.
  EXPECT_EQ(freed, (std::vector<std::string>{"root", "b", "a", "a1"}));
}

TEST(Component, FreeNotificationReachesThoseThatAskedOnlyOnce) {
  TProbe watcher(nullptr, "w");
  auto* watched = new TProbe(nullptr, "x");
  watched->FreeNotification(&watcher);
  watched->FreeNotification(&watcher);
  delete watched;
  ASSERT_EQ(watcher.Removed.size(), 1u);
  EXPECT_EQ(watcher.Removed[0], watched);

  // Removing the request stops it; a freed watcher is not called back.
  auto* y = new TProbe(nullptr, "y");
  y->FreeNotification(&watcher);
  y->RemoveFreeNotification(&watcher);
  delete y;
  EXPECT_EQ(watcher.Removed.size(), 1u);
  auto* z = new TProbe(nullptr, "z");
  {
    TProbe shortLived(nullptr, "s");
    z->FreeNotification(&shortLived);
  }
  delete z;  // must not touch the freed watcher (ASan checks)
}

TEST(Component, SiblingsHearOfEachOthersRemovalThroughTheOwner) {
  TProbe owner(nullptr, "o");
  auto* a = new TProbe(&owner, "a");
  auto* b = new TProbe(&owner, "b");
  delete b;
  ASSERT_EQ(a->Removed.size(), 1u);
  EXPECT_EQ(a->Removed[0], b);
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Component, NamesAreUniqueAmongSiblingsIgnoringCase) {
  TProbe owner(nullptr, "o");
  auto* a = new TProbe(&owner, "Image1");
  EXPECT_EQ(owner.FindComponent("IMAGE1"), a);
  EXPECT_THROW(new TProbe(&owner, "image1"), EInvalidOperation);
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_THROW(owner.Components(1), ERangeError);
}

}  // namespace
