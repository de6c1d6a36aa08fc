// The object model: reference counts with the never-referenced sentinel, Cast, creation
// through a class table, the object table and the type names.
#include <gtest/gtest.h>

#include "framework/CoreImp.h"
#include "framework/Crunch.h"
#include "framework/ElementRef.h"

namespace VLN2 {
namespace {

// A class with a secondary view, whose Init succeeds or fails on request.
class Probe : public Element {};

class ProbeImp : public ElementImp<Probe>, public Crunch {
 public:
  static constexpr int kType = 27;
  static inline int destroyed = 0;
  static inline int lastParameter = 0;
  explicit ProbeImp(Core* core, int type = kType) : ElementImp(core, type) {}
  ~ProbeImp() override { ++destroyed; }
  int SetParameter(int value) override {
    lastParameter = value;
    return 0;
  }
  void* Cast(int id) override {
    return id == kCrunchInterface ? static_cast<Crunch*>(this) : nullptr;
  }
  int GetCrunchFlags(int) override { return 0; }
  int CrunchElement(int) override { return 0; }
  int GetCrunchId() override { return 7; }
  void SetCrunchId(int) override {}
  int CrunchEquals(Element*) override { return 0; }
};

class FailingInitImp : public ProbeImp {
 public:
  explicit FailingInitImp(Core* core) : ProbeImp(core, 70) {}
  int Init() override { return 1; }
};

const ClassEntry kProbeClasses[] = {{27, Construct<ProbeImp>}, {70, Construct<FailingInitImp>}};

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProbeImp::destroyed = 0;
    core_ = new CoreImp(kProbeClasses, 2);
  }
  void TearDown() override {
    core_->Destroy();
    delete core_;
    FailAllocation(0);
    EXPECT_EQ(LiveElementsTotal(), 0);
    EXPECT_EQ(g_core, nullptr);
  }
  Element* NewProbe() { return core_->CreateElement(27, 0); }
  CoreImp* core_ = nullptr;
};

TEST_F(CoreTest, ConstructorSetsTheProcessWideCorePointer) {
  EXPECT_EQ(g_core, core_);
  EXPECT_EQ(core_->GetCore(), core_);
  EXPECT_EQ(core_->GetTypeId(), 1);
  EXPECT_EQ(core_->Init(), 0);
}

TEST_F(CoreTest, NewElementReportsZeroUntilItsFirstAddRefTakesOverTheCreatorsReference) {
  Element* e = NewProbe();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetRefCount(), 0);
  EXPECT_EQ(e->AddRef(), static_cast<int>(0x80001234u));
  EXPECT_EQ(e->GetRefCount(), 1);
  EXPECT_EQ(e->AddRef(), 2);
  EXPECT_EQ(e->Release(), 1);
  EXPECT_EQ(ProbeImp::destroyed, 0);
  EXPECT_EQ(e->Release(), 0);
  EXPECT_EQ(ProbeImp::destroyed, 1);
}

TEST_F(CoreTest, ReleaseWithoutAddRefDestroys) {
  Element* e = NewProbe();
  EXPECT_EQ(e->Release(), 0);
  EXPECT_EQ(ProbeImp::destroyed, 1);
}

TEST_F(CoreTest, OneAddRefAndOneReleaseDestroy) {
  Element* e = NewProbe();
  e->AddRef();
  e->Release();
  EXPECT_EQ(ProbeImp::destroyed, 1);
}

TEST_F(CoreTest, ReleaseElementReleasesAndNulls) {
  Element* e = NewProbe();
  core_->ReleaseElement(&e);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(ProbeImp::destroyed, 1);
  core_->ReleaseElement(&e);  // null: nothing happens
  EXPECT_EQ(ProbeImp::destroyed, 1);
}

TEST_F(CoreTest, CreationPassesTheParameterBeforeInit) {
  ElementRef<Element> e(core_->CreateElement(27, 42));
  EXPECT_EQ(ProbeImp::lastParameter, 42);
}

TEST_F(CoreTest, FailedInitDestroysTheElementAndGivesNull) {
  EXPECT_EQ(core_->CreateElement(70, 0), nullptr);
  EXPECT_EQ(ProbeImp::destroyed, 1);
}

TEST_F(CoreTest, UnknownIdsAndTheUncreatableOnesGiveNull) {
  for (int id : {-1, 0, 1, 3, 84, 104, 105, 1000}) EXPECT_EQ(core_->CreateElement(id, 0), nullptr);
}

TEST_F(CoreTest, FailedAllocationGivesNull) {
  FailAllocation(1);
  EXPECT_EQ(NewProbe(), nullptr);
  EXPECT_TRUE(AllocationFailureHit());
}

TEST_F(CoreTest, CastGivesOnlySecondaryViews) {
  ElementRef<Element> e(NewProbe());
  Crunch* view = CastTo<Crunch>(e.get());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetCrunchId(), 7);
  EXPECT_EQ(e->Cast(27), nullptr);
  EXPECT_EQ(e->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(core_->Cast(kCrunchInterface), nullptr);
}

TEST_F(CoreTest, DefaultParameterIsNotTaken) {
  EXPECT_EQ(core_->SetParameter(5), 1);
  EXPECT_EQ(core_->GetParameter(), 0);
}

TEST_F(CoreTest, TypeNamesAreTheFrameworksOwnSpellings) {
  EXPECT_STREQ(core_->GetTypeName(48), "FFT");
  EXPECT_STREQ(core_->GetTypeName(50), "BlokData");
  EXPECT_STREQ(core_->GetTypeName(79), "StringSpliter");
  EXPECT_STREQ(core_->GetTypeName(2), "SceneGraph");
  EXPECT_STREQ(core_->GetTypeName(60), "Decode");
  EXPECT_STREQ(core_->GetTypeName(66), "List");
  EXPECT_STREQ(core_->GetTypeName(86), "GUI_LicenseDisplay");
  EXPECT_STREQ(core_->GetTypeName(88), "Screen");
  EXPECT_STREQ(core_->GetTypeName(104), "Polygonizer");
  for (int id : {-1, 0, 1, 3, 40, 61, 62, 63, 64, 65, 87, 105})
    EXPECT_EQ(core_->GetTypeName(id), nullptr) << id;
  int named = 0;
  for (int id = 0; id < 105; ++id) named += core_->GetTypeName(id) != nullptr;
  EXPECT_EQ(named, 105 - 10);
}

TEST_F(CoreTest, CountedRegistrationReleasesTheReplacedObject) {
  Element* a = NewProbe();
  Element* b = NewProbe();
  core_->SetSceneGraph(a);
  EXPECT_EQ(core_->GetSceneGraph(), a);
  EXPECT_EQ(a->GetRefCount(), 1);
  core_->SetSceneGraph(b);
  EXPECT_EQ(ProbeImp::destroyed, 1);  // a had no other reference
  EXPECT_EQ(b->GetRefCount(), 1);
  core_->Destroy();  // releases the registration
  EXPECT_EQ(ProbeImp::destroyed, 2);
  EXPECT_EQ(core_->GetSceneGraph(), nullptr);
  EXPECT_EQ(core_->GetSystemApp(), nullptr);
}

TEST_F(CoreTest, PlainRegistrationIsNotCountedAndSurvivesTheCoresDestroy) {
  Element* x = NewProbe();
  Element* y = NewProbe();
  core_->SetRegistered(76, x);
  core_->SetRegistered(76, y);  // x is not released
  EXPECT_EQ(ProbeImp::destroyed, 0);
  EXPECT_EQ(y->GetRefCount(), 0);
  core_->Destroy();
  EXPECT_EQ(core_->GetRegistered(76), y);
  EXPECT_EQ(ProbeImp::destroyed, 0);
  core_->SetRegistered(76, nullptr);
  x->Release();
  y->Release();
  core_->SetRegistered(105, x);  // outside the table: ignored
  EXPECT_EQ(core_->GetRegistered(105), nullptr);
  EXPECT_EQ(core_->GetRegistered(-1), nullptr);
}

TEST_F(CoreTest, LiveElementsAreCountedPerType) {
  int before = LiveElements(27);
  Element* e = NewProbe();
  EXPECT_EQ(LiveElements(27), before + 1);
  e->Release();
  EXPECT_EQ(LiveElements(27), before);
}

TEST_F(CoreTest, ElementRefReleasesOnEveryExit) {
  {
    ElementRef<Element> held(NewProbe());
    EXPECT_TRUE(held);
    ElementRef<Element> moved(std::move(held));
    EXPECT_FALSE(held);
    EXPECT_EQ(ProbeImp::destroyed, 0);
    moved.reset(NewProbe());
    EXPECT_EQ(ProbeImp::destroyed, 1);
  }
  EXPECT_EQ(ProbeImp::destroyed, 2);
  ElementRef<Element> kept(NewProbe());
  Element* raw = kept.Detach();
  EXPECT_FALSE(kept);
  raw->Release();
  EXPECT_EQ(ProbeImp::destroyed, 3);
}

}  // namespace
}  // namespace VLN2
