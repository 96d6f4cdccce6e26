#include "framework/Component.h"

#include <gtest/gtest.h>

#include "framework/DateTime.h"
#include "framework/Set.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

class TTracked : public TComponent {
 public:
  TTracked(TComponent* owner, std::vector<std::string>& log, std::string name) : TComponent(owner), log_(log) {
    SetName(std::move(name));
  }
  ~TTracked() override { log_.push_back("free " + Name()); }
  void Notification(TComponent* c, TOperation op) override {
    log_.push_back((op == TOperation::opInsert ? "insert into " : "remove from ") + Name());
  }

 private:
  std::vector<std::string>& log_;
};

TEST(TComponent, OwnerFreesWhatItOwnsLastFirst) {
  std::vector<std::string> log;
  {
    TTracked owner(nullptr, log, "owner");
    new TTracked(&owner, log, "a");
    auto* b = new TTracked(&owner, log, "b");
    new TTracked(b, log, "b1");
    EXPECT_EQ(owner.ComponentCount(), 2);
    EXPECT_EQ(owner.FindComponent("B"), b);
    EXPECT_EQ(owner.FindComponent(""), nullptr);
  }
  // The owner's own part is gone before its children are freed, so it hears no removals then.
  EXPECT_EQ(log, (std::vector<std::string>{"insert into owner", "insert into owner", "insert into b", "free owner", "free b", "free b1",
                                           "free a"}));
}

TEST(TComponent, AComponentFreedByHandLeavesItsOwner) {
  TComponent owner(nullptr);
  auto* child = new TComponent(&owner);
  auto* other = new TComponent(&owner);
  delete child;
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), other);
  TComponent second(nullptr);
  second.InsertComponent(other);  // moves
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(other->Owner(), &second);
}

TEST(TSet, IncludesAndExcludes) {
  enum E { a, b, c };
  TSet<E> s{a, c};
  EXPECT_TRUE(s.Contains(a));
  EXPECT_FALSE(s.Contains(b));
  s.Exclude(a).Include(b);
  EXPECT_EQ(s, (TSet<E>{b, c}));
  EXPECT_TRUE(TSet<E>{}.Empty());
}

TEST(DateTime, EncodesDaysSinceTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2024, 2, 29), 45351.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  win::SYSTEMTIME st;
  st.wYear = 2026, st.wMonth = 12, st.wDay = 8, st.wHour = 18;
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(st), EncodeDate(2026, 12, 8) + 0.75);
}

TEST(DateTime, Iso8601CarriesTheLocalOffset) {
  test::TScopedEnv utc("TZ", "UTC");
  tzset();
  EXPECT_EQ(DateTimeToIso8601(EncodeDate(2026, 12, 8) + EncodeTime(21, 34, 7, 0)), "2026-12-08T21:34:07+00:00");
  EXPECT_EQ(DateTimeToIso8601(EncodeDate(2000, 2, 29) + EncodeTime(23, 59, 59, 999)), "2000-03-01T00:00:00+00:00");
  {
    test::TScopedEnv berlin("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    EXPECT_EQ(DateTimeToIso8601(EncodeDate(2026, 7, 1) + 0.5), "2026-07-01T12:00:00+02:00");
    EXPECT_EQ(DateTimeToIso8601(EncodeDate(1999, 12, 31)), "1999-12-31T00:00:00+01:00");
  }
  tzset();
}

}  // namespace
}  // namespace vorra

namespace {
class TPoint2 : public vorra::TPersistent {
 public:
  int X = 0;
  void Assign(const vorra::TPersistent* Source) override {
    if (auto p = dynamic_cast<const TPoint2*>(Source)) {
      X = p->X;
      return;
    }
    vorra::TPersistent::Assign(Source);
  }
};
class TOther : public vorra::TPersistent {};
}  // namespace

TEST(PersistentTest, AssignCopiesKnownKindsAndRefusesOthers) {
  TPoint2 a, b;
  a.X = 7;
  b.Assign(&a);
  EXPECT_EQ(b.X, 7);
  TOther other;
  EXPECT_THROW(b.Assign(&other), vorra::EConvertError);
  EXPECT_THROW(b.Assign(nullptr), vorra::EConvertError);
}

namespace vorra {
namespace {

class TWatcher : public TComponent {
 public:
  using TComponent::TComponent;
  TComponent* Watched = nullptr;
  std::vector<TComponent*> Removed;
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove) {
      Removed.push_back(c);
      if (c == Watched) Watched = nullptr;
    }
  }
};

TEST(TComponent, FreeNotificationTellsBothSidesOnce) {
  TWatcher a(nullptr);
  auto* b = new TWatcher(nullptr);
  auto* c = new TComponent(nullptr);
  a.Watched = c;
  a.FreeNotification(c);
  a.FreeNotification(c);  // asking twice still tells once
  a.FreeNotification(b);
  delete c;
  EXPECT_EQ(a.Watched, nullptr);
  EXPECT_EQ(a.Removed, std::vector<TComponent*>{c});
  // b hears when a goes (symmetric) but not after it withdrew.
  a.RemoveFreeNotification(b);
  delete b;
  EXPECT_EQ(a.Removed.size(), 1u);
  TWatcher d(nullptr);
  {
    TComponent e(nullptr);
    e.FreeNotification(&d);
  }
  ASSERT_EQ(d.Removed.size(), 1u);
}

TEST(TComponent, SiblingsHearOfARemovalButNotDuringTheOwnersDestruction) {
  auto* owner = new TComponent(nullptr);
  auto* w = new TWatcher(owner);
  auto* other = new TComponent(owner);
  delete other;
  EXPECT_EQ(w->Removed, std::vector<TComponent*>{other});
  new TComponent(owner);
  delete owner;  // w is freed before the owner lets go of the rest; it must not be told anything more
}

TEST(TComponent, LoadingStateSpreadsToNewComponentsAndLoadedClearsIt) {
  TComponent form(nullptr);
  form.SetLoading(true);
  auto* a = new TComponent(&form);
  auto* a1 = new TComponent(a);
  EXPECT_TRUE(a1->ComponentState().Contains(csLoading));
  form.LoadedTree();
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
  EXPECT_FALSE(a1->ComponentState().Contains(csLoading));
  form.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  form.Destroying();
  EXPECT_TRUE(a1->ComponentState().Contains(csDestroying));
}

}  // namespace
}  // namespace vorra
