// ElementContainer and its iterators: walks and edits, hand-back semantics, references of
// held elements, and the stored form with 4-byte and 2-byte entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Crunch.h"
#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"
#include "framework/IO.h"
#include "framework/String.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/MemoryStream.h"

namespace VLN2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Value Plain(std::intptr_t n) { return reinterpret_cast<Value>(n); }
std::intptr_t AsPlain(Value v) { return reinterpret_cast<std::intptr_t>(v); }
const char* TextOf(Value v) {
  return v ? static_cast<String*>(static_cast<Element*>(v))->GetText() : nullptr;
}

// Accepts the Strings whose text starts with a letter given at construction. Counted as
// type 28 so that the fixture sees it leak.
class PrefixFilter : public ElementImp<ElementFilter> {
 public:
  PrefixFilter(Core* core, char first) : ElementImp(core, 28), first_(first) {}
  int Accept(Value value) override {
    const char* text = TextOf(value);
    return text && text[0] == first_ ? 0 : 1;
  }

 private:
  char first_;
};

class ElementContainerTest : public CoreFixture {
 protected:
  ElementRef<ElementContainer> NewContainer(int parameter = 0) {
    ElementRef<ElementContainer> c(
        static_cast<ElementContainer*>(core_->CreateElement(kElementContainerType, parameter)));
    EXPECT_TRUE(c);
    return c;
  }
  // A String the test keeps one reference to (the ElementRef's).
  ElementRef<String> NewString(const char* text, int crunchId = -1) {
    auto s = ElementRef<String>::Create(kStringType);
    EXPECT_TRUE(s);
    s->AddRef();
    s->SetText(text);
    CastTo<Crunch>(s.get())->SetCrunchId(crunchId);
    return s;
  }
  // The texts of a container of Strings, walked forward with a list iterator.
  static std::vector<std::string> Texts(ElementContainer* c) {
    std::vector<std::string> texts;
    Iterator* it = c->GetIterator(kListIterator, nullptr);
    EXPECT_NE(it, nullptr);
    if (!it) return texts;
    for (it->First(); !it->IsDone(); it->Next()) {
      const char* text = TextOf(it->Current());
      texts.push_back(text ? text : "<null>");
    }
    c->ReleaseIterator(&it);
    return texts;
  }
  // The plain values of a container, walked with a snapshot iterator.
  static std::vector<std::intptr_t> PlainValues(ElementContainer* c) {
    std::vector<std::intptr_t> values;
    Iterator* it = c->GetIterator(0, nullptr);
    EXPECT_NE(it, nullptr);
    if (!it) return values;
    for (it->First(); !it->IsDone(); it->Next()) values.push_back(AsPlain(it->Current()));
    c->ReleaseIterator(&it);
    return values;
  }
  // A container holding the three Strings a, b, c (added through a list iterator).
  void Fill(ElementContainer* c, std::initializer_list<String*> strings) {
    Iterator* it = c->GetIterator(kListIterator, nullptr);
    ASSERT_NE(it, nullptr);
    for (String* s : strings) EXPECT_EQ(it->Add(s), 0);
    c->ReleaseIterator(&it);
  }
  static Bytes Stored(ElementContainer* c) {
    MemoryStream stream;
    EXPECT_EQ(CastTo<IO>(c)->Write(&stream), 0);
    return stream.Bytes();
  }
};

using Texts_ = std::vector<std::string>;
using Plains = std::vector<std::intptr_t>;

TEST_F(ElementContainerTest, NewContainerViewsAndParameter) {
  auto c = NewContainer();
  EXPECT_EQ(c->GetTypeId(), 93);
  EXPECT_EQ(c->GetElementSize(), 0);
  EXPECT_EQ(c->GetParameter(), 0);
  EXPECT_NE(c->Cast(kCrunchInterface), nullptr);
  EXPECT_NE(c->Cast(kIOInterface), nullptr);
  EXPECT_EQ(c->Cast(kIteratorInterface), nullptr);
  EXPECT_EQ(c->Cast(93), nullptr);
  Crunch* crunch = CastTo<Crunch>(c.get());
  EXPECT_EQ(crunch->GetCrunchId(), -1);
  crunch->SetCrunchId(5);
  EXPECT_EQ(crunch->GetCrunchId(), 5);
  EXPECT_EQ(crunch->GetCrunchFlags(2), 0);
  EXPECT_EQ(crunch->GetCrunchFlags(1), 0);
  EXPECT_EQ(crunch->CrunchElement(1), 0);
  auto two = NewContainer(1);
  EXPECT_EQ(two->GetParameter(), 1);
}

TEST_F(ElementContainerTest, IteratorsHaveOnlyTheIteratorView) {
  auto c = NewContainer();
  for (int flags : {kListIterator, 0}) {
    Iterator* it = c->GetIterator(flags, nullptr);
    ASSERT_NE(it, nullptr);
    Element* element = it->GetElement();
    EXPECT_EQ(element->GetTypeId(), flags ? 95 : 94);
    EXPECT_EQ(element->Cast(kIteratorInterface), static_cast<void*>(it));
    EXPECT_EQ(element->Cast(kCrunchInterface), nullptr);
    EXPECT_EQ(element->Cast(element->GetTypeId()), nullptr);
    c->ReleaseIterator(&it);
    EXPECT_EQ(it, nullptr);
  }
  Iterator* none = nullptr;
  EXPECT_EQ(c->ReleaseIterator(&none), 0);
}

TEST_F(ElementContainerTest, IteratorsOwnOperations) {
  auto list = ElementRef<List>::Create(kListType);
  list->AddRef();
  auto walker = ElementRef<DynamicSizeElementIterator>::Create(kDynamicSizeElementIteratorType);
  ASSERT_TRUE(walker);
  EXPECT_EQ(walker->GetSource(), nullptr);
  EXPECT_EQ(walker->SetSource(list.get()), 0);
  EXPECT_EQ(walker->GetSource(), list.get());
  EXPECT_EQ(list->GetRefCount(), 2);
  EXPECT_EQ(walker->SetElementSize(-4), 0);
  EXPECT_EQ(walker->GetElementSize(), -4);
  EXPECT_EQ(walker->IsModified(), 0);
  Iterator* it = CastTo<Iterator>(walker.get());
  EXPECT_EQ(it->Add(Plain(3)), 0);
  EXPECT_EQ(walker->IsModified(), 1);
  EXPECT_EQ(list->GetCount(), 1);  // edited in place
  EXPECT_EQ(walker->SetSource(nullptr), 0);
  EXPECT_EQ(walker->IsModified(), 0);
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->Add(Plain(4)), 1);  // nothing to add to
  EXPECT_EQ(list->GetRefCount(), 1);
  list->SetElementSize(-4);

  auto snapshot = ElementRef<StaticSizeElementIterator>::Create(kStaticSizeElementIteratorType);
  ASSERT_TRUE(snapshot);
  it = CastTo<Iterator>(snapshot.get());
  EXPECT_EQ(snapshot->SetSource(nullptr), 1);
  EXPECT_EQ(it->GetCount(), 0);
  EXPECT_EQ(it->SetArray(static_cast<Value*>(Allocate(sizeof(Value))), 1), 1);  // freed
  auto array = ElementRef<StaticElementArray>::Create(kStaticElementArrayType);
  array->AddRef();
  array->SetElementSize(-4);
  Value* values = static_cast<Value*>(Allocate(2 * sizeof(Value)));
  values[0] = Plain(8);
  values[1] = Plain(9);
  array->SetArray(values, 2);
  EXPECT_EQ(snapshot->SetSource(array.get()), 0);
  EXPECT_EQ(snapshot->GetSource(), array.get());
  EXPECT_EQ(array->GetRefCount(), 2);
  EXPECT_EQ(snapshot->SetElementSize(-4), 0);
  EXPECT_EQ(snapshot->GetElementSize(), -4);
  EXPECT_EQ(snapshot->IsModified(), 0);
  it->Last();
  EXPECT_EQ(it->Current(), Plain(9));
  snapshot.reset();
  EXPECT_EQ(array->GetRefCount(), 1);
}

TEST_F(ElementContainerTest, NewListIteratorIsEmptyAndAddKeepsOrder) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  ASSERT_NE(it, nullptr);
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->GetCount(), 0);
  EXPECT_EQ(it->Current(), nullptr);
  EXPECT_EQ(it->Add(a.get()), 0);
  EXPECT_EQ(it->Current(), a.get());  // the iterator stands on the added value
  EXPECT_FALSE(it->IsDone());
  EXPECT_EQ(it->Add(b.get()), 0);
  EXPECT_EQ(it->Current(), b.get());
  EXPECT_EQ(it->GetIndex(), 1);
  EXPECT_EQ(it->Add(d.get()), 0);
  EXPECT_EQ(it->GetCount(), 3);
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"a", "b", "d"}));
  EXPECT_EQ(a->GetRefCount(), 2);  // ours and the entry's
}

TEST_F(ElementContainerTest, ForwardWalkVisitsInOrderAndEndsDone) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get(), d.get()});
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  EXPECT_EQ(it->GetCount(), 3);
  it->First();
  EXPECT_EQ(it->Current(), a.get());
  it->Next();
  it->Next();
  EXPECT_EQ(it->Current(), d.get());
  EXPECT_EQ(it->GetIndex(), 2);
  EXPECT_FALSE(it->IsDone());
  it->Next();
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->Current(), nullptr);
  EXPECT_EQ(it->GetIndex(), 2);
  it->Prev();  // steps back onto the boundary element
  EXPECT_FALSE(it->IsDone());
  EXPECT_EQ(it->Current(), d.get());
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, BackwardWalkVisitsInReverseAndEndsBeforeFirst) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get(), d.get()});
  for (int flags : {kListIterator, 0}) {
    SCOPED_TRACE(flags);
    Iterator* it = c->GetIterator(flags, nullptr);
    std::vector<std::string> seen;
    for (it->Last(); !it->IsBeforeFirst(); it->Prev()) seen.push_back(TextOf(it->Current()));
    EXPECT_EQ(seen, (Texts_{"d", "b", "a"}));
    EXPECT_TRUE(it->IsBeforeFirst());
    EXPECT_EQ(it->GetIndex(), 0);
    EXPECT_EQ(it->Current(), nullptr);
    it->Next();  // back onto the first element
    EXPECT_EQ(it->Current(), a.get());
    EXPECT_FALSE(it->IsBeforeFirst());
    c->ReleaseIterator(&it);
  }
}

TEST_F(ElementContainerTest, RemoveTheLastElementLeavesTheIteratorDoneOnTheNewLast) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get(), d.get()});
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Last();
  EXPECT_EQ(it->Remove(), 0);
  EXPECT_EQ(it->GetCount(), 2);
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->GetIndex(), 1);
  it->Prev();
  EXPECT_EQ(it->Current(), b.get());
  EXPECT_EQ(d->GetRefCount(), 1);  // the container's reference went with the entry
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"a", "b"}));
}

TEST_F(ElementContainerTest, RemoveDuringAForwardWalk) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d"), e = NewString("e");
  Fill(c.get(), {a.get(), b.get(), d.get(), e.get()});
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  // Remove every other element: Remove makes the following one current.
  for (it->First(); !it->IsDone();) {
    std::string text = TextOf(it->Current());
    if (text == "b" || text == "e")
      EXPECT_EQ(it->Remove(), 0);
    else
      it->Next();
  }
  EXPECT_EQ(it->GetCount(), 2);
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"a", "d"}));
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(e->GetRefCount(), 1);
  EXPECT_EQ(a->GetRefCount(), 2);
}

TEST_F(ElementContainerTest, RemoveWithoutCurrentEntryFails) {
  auto c = NewContainer();
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  EXPECT_EQ(it->Remove(), 1);
  EXPECT_EQ(it->GetCount(), 0);
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, InsertBeforeTheCurrentAndOnADoneIterator) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), x = NewString("x"), y = NewString("y");
  Fill(c.get(), {a.get(), b.get()});
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->First();
  it->Next();
  EXPECT_EQ(it->Insert(x.get()), 0);
  EXPECT_EQ(it->Current(), x.get());
  EXPECT_EQ(it->GetIndex(), 1);
  EXPECT_EQ(it->GetCount(), 3);
  it->Next();
  it->Next();
  ASSERT_TRUE(it->IsDone());
  EXPECT_EQ(it->Insert(y.get()), 0);  // appends like Add
  EXPECT_EQ(it->Current(), y.get());
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"a", "x", "b", "y"}));

  auto empty = NewContainer();
  it = empty->GetIterator(kListIterator, nullptr);
  EXPECT_EQ(it->Insert(a.get()), 0);
  empty->ReleaseIterator(&it);
  EXPECT_EQ(Texts(empty.get()), (Texts_{"a"}));
}

TEST_F(ElementContainerTest, ClearDisposesOfEveryValue) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b");
  Fill(c.get(), {a.get(), b.get(), a.get()});
  EXPECT_EQ(a->GetRefCount(), 3);
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  EXPECT_EQ(it->Clear(), 0);
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->GetCount(), 0);
  EXPECT_EQ(it->Current(), nullptr);
  EXPECT_EQ(a->GetRefCount(), 1);
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(it->Add(b.get()), 0);
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"b"}));
}

TEST_F(ElementContainerTest, ListIteratorMoveTo) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  EXPECT_EQ(it->MoveTo(0), 1);  // nothing to stand on
  for (String* s : {a.get(), b.get(), d.get()}) it->Add(s);
  EXPECT_EQ(it->MoveTo(1), 0);
  EXPECT_EQ(it->Current(), b.get());
  EXPECT_EQ(it->GetIndex(), 1);
  EXPECT_EQ(it->MoveTo(2), 0);
  EXPECT_EQ(it->Current(), d.get());
  EXPECT_FALSE(it->IsDone());
  EXPECT_EQ(it->MoveTo(3), 1);
  EXPECT_EQ(it->MoveTo(7), 1);
  EXPECT_EQ(it->MoveTo(-1), 1);
  EXPECT_EQ(it->MoveTo(0), 0);
  EXPECT_EQ(it->Current(), a.get());
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, ListIteratorArrays) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get()});
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Last();
  Value* values = nullptr;
  int count = 0;
  EXPECT_EQ(it->GetArray(&values, &count), 0);
  ASSERT_EQ(count, 2);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values[0], a.get());
  EXPECT_EQ(values[1], b.get());
  EXPECT_EQ(it->Current(), b.get());  // the position is kept
  Value* again = nullptr;
  it->GetArray(&again, &count);
  EXPECT_EQ(again, values);

  Value* replacement = static_cast<Value*>(Allocate(2 * sizeof(Value)));
  replacement[0] = d.get();
  replacement[1] = a.get();
  EXPECT_EQ(it->SetArray(replacement, 2), 0);
  EXPECT_EQ(it->GetCount(), 2);
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(d->GetRefCount(), 2);
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"d", "a"}));

  auto empty = NewContainer();
  it = empty->GetIterator(kListIterator, nullptr);
  values = reinterpret_cast<Value*>(&count);
  EXPECT_EQ(it->GetArray(&values, &count), 0);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(count, 0);
  empty->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, SnapshotIteratorWalksAndRefusesEdits) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get(), d.get()});
  Iterator* it = c->GetIterator(0, nullptr);
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(it->GetCount(), 3);
  std::vector<std::string> seen;
  for (it->First(); !it->IsDone(); it->Next()) seen.push_back(TextOf(it->Current()));
  EXPECT_EQ(seen, (Texts_{"a", "b", "d"}));
  EXPECT_EQ(it->Current(), nullptr);
  EXPECT_EQ(it->Add(a.get()), 1);
  EXPECT_EQ(it->Insert(a.get()), 1);
  EXPECT_EQ(it->Remove(), 1);
  EXPECT_EQ(it->GetCount(), 3);
  EXPECT_EQ(it->MoveTo(3), 1);
  EXPECT_EQ(it->MoveTo(-1), 1);
  EXPECT_EQ(it->MoveTo(1), 0);
  EXPECT_EQ(it->Current(), b.get());
  EXPECT_EQ(it->GetIndex(), 1);
  Value* values = nullptr;
  int count = 0;
  EXPECT_EQ(it->GetArray(&values, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(values[2], d.get());
  EXPECT_EQ(a->GetRefCount(), 3);  // ours, the list's, the snapshot's
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, SnapshotOfAnEmptyContainer) {
  auto c = NewContainer();
  Iterator* it = c->GetIterator(0, nullptr);
  ASSERT_NE(it, nullptr);
  it->First();
  EXPECT_TRUE(it->IsDone());
  EXPECT_EQ(it->GetCount(), 0);
  EXPECT_EQ(it->Current(), nullptr);
  EXPECT_EQ(it->MoveTo(0), 1);
  it->Last();
  EXPECT_TRUE(it->IsDone());
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, UnmodifiedHandBackKeepsTheCachedSnapshot) {
  auto c = NewContainer();
  auto a = NewString("a");
  Fill(c.get(), {a.get()});
  Iterator* first = c->GetIterator(0, nullptr);
  StaticElementArray* snapshot =
      static_cast<StaticSizeElementIterator*>(first->GetElement())->GetSource();
  Iterator* second = c->GetIterator(0, nullptr);
  EXPECT_EQ(static_cast<StaticSizeElementIterator*>(second->GetElement())->GetSource(), snapshot);
  c->ReleaseIterator(&first);
  c->ReleaseIterator(&second);
  EXPECT_EQ(LiveElements(kStaticElementArrayType), 1);
  // An unmodified list iterator leaves it too.
  Iterator* list = c->GetIterator(kListIterator, nullptr);
  for (list->First(); !list->IsDone(); list->Next()) {
  }
  c->ReleaseIterator(&list);
  EXPECT_EQ(LiveElements(kStaticElementArrayType), 1);
  EXPECT_EQ(a->GetRefCount(), 3);
}

TEST_F(ElementContainerTest, ModifyingHandBackDropsTheCachedSnapshot) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b");
  Fill(c.get(), {a.get()});
  Iterator* snapshot = c->GetIterator(0, nullptr);
  c->ReleaseIterator(&snapshot);
  ASSERT_EQ(LiveElements(kStaticElementArrayType), 1);
  Iterator* list = c->GetIterator(kListIterator, nullptr);
  list->Add(b.get());
  c->ReleaseIterator(&list);
  EXPECT_EQ(LiveElements(kStaticElementArrayType), 0);
  EXPECT_EQ(a->GetRefCount(), 2);
  snapshot = c->GetIterator(0, nullptr);
  EXPECT_EQ(snapshot->GetCount(), 2);  // the new snapshot reflects the list
  c->ReleaseIterator(&snapshot);
}

TEST_F(ElementContainerTest, ModifiedSnapshotIteratorRebuildsTheList) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b"), d = NewString("d");
  Fill(c.get(), {a.get(), b.get()});
  Iterator* it = c->GetIterator(0, nullptr);
  it->MoveTo(1);
  Value* values = static_cast<Value*>(Allocate(3 * sizeof(Value)));
  values[0] = d.get();
  values[1] = nullptr;
  values[2] = a.get();
  EXPECT_EQ(it->SetArray(values, 3), 0);
  EXPECT_EQ(it->GetCount(), 3);
  EXPECT_EQ(it->GetIndex(), 1);  // the position is not changed
  EXPECT_EQ(static_cast<StaticSizeElementIterator*>(it->GetElement())->IsModified(), 1);
  c->ReleaseIterator(&it);
  EXPECT_EQ(Texts(c.get()), (Texts_{"d", "<null>", "a"}));
  EXPECT_EQ(LiveElements(kStaticElementArrayType), 0);
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(a->GetRefCount(), 2);
  EXPECT_EQ(d->GetRefCount(), 2);

  it = c->GetIterator(0, nullptr);
  EXPECT_EQ(it->Clear(), 0);
  EXPECT_EQ(it->GetCount(), 0);
  c->ReleaseIterator(&it);
  EXPECT_TRUE(Texts(c.get()).empty());
  EXPECT_EQ(a->GetRefCount(), 1);
}

TEST_F(ElementContainerTest, SnapshotIteratorsSharingASnapshotSeeItsReplacement) {
  auto c = NewContainer();
  auto a = NewString("a"), b = NewString("b");
  Fill(c.get(), {a.get(), b.get()});
  Iterator* reader = c->GetIterator(0, nullptr);
  Iterator* writer = c->GetIterator(0, nullptr);
  reader->Last();
  Value* values = static_cast<Value*>(Allocate(sizeof(Value)));
  values[0] = b.get();
  writer->SetArray(values, 1);  // frees the array the reader was walking
  EXPECT_EQ(reader->GetCount(), 1);
  EXPECT_EQ(reader->Current(), nullptr);  // index 1 is past the new end
  reader->First();
  EXPECT_EQ(reader->Current(), b.get());
  c->ReleaseIterator(&reader);
  c->ReleaseIterator(&writer);
  EXPECT_EQ(Texts(c.get()), (Texts_{"b"}));
}

TEST_F(ElementContainerTest, FilteredSnapshotHoldsTheAcceptedValuesAndTakesTheFilter) {
  auto c = NewContainer();
  auto a1 = NewString("apple"), b = NewString("banana"), a2 = NewString("avocado");
  Fill(c.get(), {a1.get(), b.get(), a2.get()});
  Iterator* it = c->GetIterator(0, new PrefixFilter(core_, 'a'));
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(LiveElements(28), 0);  // the filter's one reference was taken
  std::vector<std::string> seen;
  for (it->First(); !it->IsDone(); it->Next()) seen.push_back(TextOf(it->Current()));
  EXPECT_EQ(seen, (Texts_{"apple", "avocado"}));
  c->ReleaseIterator(&it);
  EXPECT_EQ(LiveElements(kStaticElementArrayType), 0);  // not cached

  it = c->GetIterator(0, new PrefixFilter(core_, 'z'));
  ASSERT_NE(it, nullptr);
  it->First();
  EXPECT_TRUE(it->IsDone());
  c->ReleaseIterator(&it);

  it = c->GetIterator(kListIterator, new PrefixFilter(core_, 'a'));
  EXPECT_EQ(LiveElements(28), 0);
  EXPECT_EQ(it->GetCount(), 3);  // a list iterator does not filter
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, ContainerOfCopies) {
  auto c = NewContainer();
  c->SetElementSize(8);
  EXPECT_EQ(c->GetElementSize(), 8);
  double values[] = {1.25, -2.5};
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  for (double& v : values) EXPECT_EQ(it->Add(&v), 0);
  values[0] = 99;  // the container holds copies
  c->ReleaseIterator(&it);
  it = c->GetIterator(0, nullptr);
  it->First();
  double first = 0;
  std::memcpy(&first, it->Current(), 8);
  EXPECT_EQ(first, 1.25);
  c->ReleaseIterator(&it);
  // A copy that cannot be made is reported, not stored empty.
  it = c->GetIterator(kListIterator, nullptr);
  FailAllocation(2);  // the entry is the first allocation, the copy the second
  EXPECT_EQ(it->Add(&values[1]), 1);
  FailAllocation(0);
  EXPECT_EQ(it->GetCount(), 2);
  c->ReleaseIterator(&it);
}

TEST_F(ElementContainerTest, ContainerOfPlainValuesTakesNoReferences) {
  auto c = NewContainer();
  c->SetElementSize(-4);
  auto s = NewString("s");
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Add(s.get());
  it->Add(Plain(12));
  EXPECT_EQ(s->GetRefCount(), 1);
  c->ReleaseIterator(&it);
  EXPECT_EQ(PlainValues(c.get()), (Plains{AsPlain(s.get()), 12}));
}

TEST_F(ElementContainerTest, ReleasingTheContainerReleasesEveryHeldElementOnce) {
  auto a = NewString("a"), b = NewString("b");
  {
    auto c = NewContainer();
    Fill(c.get(), {a.get(), b.get(), a.get()});
    Iterator* it = c->GetIterator(0, nullptr);  // a cached snapshot holds them too
    c->ReleaseIterator(&it);
    EXPECT_EQ(a->GetRefCount(), 5);
  }
  EXPECT_EQ(a->GetRefCount(), 1);
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(LiveElements(kListEntryType), 0);
  EXPECT_EQ(LiveElements(kListType), 0);
}

// Three elements with crunch ids 4, none and 7.
class StoredFormTest : public ElementContainerTest {
 protected:
  void FillThree(ElementContainer* c) {
    four_ = NewString("four", 4);
    seven_ = NewString("seven", 7);
    Fill(c, {four_.get(), nullptr, seven_.get()});
  }
  void TearDown() override {
    four_.reset();
    seven_.reset();
    ElementContainerTest::TearDown();
  }
  ElementRef<String> four_, seven_;
};

TEST_F(StoredFormTest, FourByteEntries) {
  auto c = NewContainer(0);
  FillThree(c.get());
  EXPECT_EQ(Stored(c.get()), (Bytes{3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0}));
}

TEST_F(StoredFormTest, TwoByteEntries) {
  auto c = NewContainer(1);
  FillThree(c.get());
  EXPECT_EQ(Stored(c.get()), (Bytes{3, 0, 0, 0, 4, 0, 0xFF, 0xFF, 7, 0}));
}

TEST_F(StoredFormTest, EmptyContainerStoresCountZero) {
  auto c = NewContainer();
  EXPECT_EQ(Stored(c.get()), (Bytes{0, 0, 0, 0}));
  auto two = NewContainer(1);
  EXPECT_EQ(Stored(two.get()), (Bytes{0, 0, 0, 0}));
}

TEST_F(StoredFormTest, PlainValuesAreStoredThemselves) {
  auto c = NewContainer();
  c->SetElementSize(-4);
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Add(Plain(0x01020304));
  it->Add(Plain(-2));
  c->ReleaseIterator(&it);
  EXPECT_EQ(Stored(c.get()), (Bytes{2, 0, 0, 0, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST_F(StoredFormTest, ReadBackGivesPlainValues) {
  for (int parameter : {0, 1}) {
    SCOPED_TRACE(parameter);
    auto c = NewContainer(parameter);
    FillThree(c.get());
    MemoryStream stream(Stored(c.get()));
    auto back = NewContainer(parameter);
    EXPECT_EQ(CastTo<IO>(back.get())->Read(&stream), 0);
    EXPECT_EQ(back->GetElementSize(), -4);
    EXPECT_EQ(PlainValues(back.get()), (Plains{4, -1, 7}));
    // Written again, the plain values give the same bytes.
    EXPECT_EQ(Stored(back.get()), stream.Bytes());
  }
}

TEST_F(StoredFormTest, TwoByteEntriesAreZeroExtendedExceptFFFF) {
  MemoryStream stream(Bytes{3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x34, 0x12});
  auto c = NewContainer(1);
  EXPECT_EQ(CastTo<IO>(c.get())->Read(&stream), 0);
  EXPECT_EQ(PlainValues(c.get()), (Plains{0xFFFE, -1, 0x1234}));
}

TEST_F(StoredFormTest, ReadingCountZeroChangesNothingButTheElementSize) {
  auto c = NewContainer();
  c->SetElementSize(-4);
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Add(Plain(5));
  c->ReleaseIterator(&it);
  MemoryStream stream(Bytes{0, 0, 0, 0});
  EXPECT_EQ(CastTo<IO>(c.get())->Read(&stream), 0);
  EXPECT_EQ(PlainValues(c.get()), (Plains{5}));
}

TEST_F(StoredFormTest, ReadingIntoAContainerOfElementsReleasesThem) {
  auto c = NewContainer();
  FillThree(c.get());
  Iterator* it = c->GetIterator(0, nullptr);  // and a cached snapshot of elements
  c->ReleaseIterator(&it);
  MemoryStream stream(Bytes{1, 0, 0, 0, 9, 0, 0, 0});
  EXPECT_EQ(CastTo<IO>(c.get())->Read(&stream), 0);
  EXPECT_EQ(four_->GetRefCount(), 1);
  EXPECT_EQ(seven_->GetRefCount(), 1);
  EXPECT_EQ(PlainValues(c.get()), (Plains{9}));
}

TEST_F(StoredFormTest, ImpossibleCountsAreRefusedWithoutAllocating) {
  auto c = NewContainer();
  c->SetElementSize(-4);
  Iterator* it = c->GetIterator(kListIterator, nullptr);
  it->Add(Plain(5));
  c->ReleaseIterator(&it);
  // 2^30 entries: refused outright, even from a stream of unknown size.
  MemoryStream huge(Bytes{0, 0, 0, 0x40});
  huge.HideSize();
  FailAllocation(0);
  EXPECT_EQ(CastTo<IO>(c.get())->Read(&huge), 1);
  // A million claimed, two delivered: the stream's size shows it.
  MemoryStream claimed(Bytes{0x40, 0x42, 0x0F, 0, 1, 0, 0, 0, 2, 0, 0, 0});
  EXPECT_EQ(CastTo<IO>(c.get())->Read(&claimed), 1);
  EXPECT_EQ(AllocationsSinceHook(), 0);
  EXPECT_EQ(PlainValues(c.get()), (Plains{5}));
}

TEST_F(StoredFormTest, TruncatedStoredFormsAreRefused) {
  const Bytes stored{3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0};
  for (std::uint32_t cut = 1; cut < stored.size(); ++cut) {
    for (bool sizeKnown : {true, false}) {
      SCOPED_TRACE(std::to_string(cut) + (sizeKnown ? " sized" : " unsized"));
      MemoryStream stream(stored);
      stream.SetReadLimit(cut);
      if (!sizeKnown) stream.HideSize();
      auto c = NewContainer();
      c->SetElementSize(-4);
      Iterator* it = c->GetIterator(kListIterator, nullptr);
      it->Add(Plain(5));
      c->ReleaseIterator(&it);
      // A count cut short reads as a smaller count, still more than there is.
      EXPECT_EQ(CastTo<IO>(c.get())->Read(&stream), 1);
      EXPECT_EQ(PlainValues(c.get()), (Plains{5}));
    }
  }
}

TEST_F(StoredFormTest, WriteReportsTheStreamsError) {
  auto c = NewContainer();
  FillThree(c.get());
  MemoryStream stream;
  stream.FailWrites();
  EXPECT_NE(CastTo<IO>(c.get())->Write(&stream), 0);
  EXPECT_NE(CastTo<IO>(c.get())->Write(nullptr), 0);
  EXPECT_NE(CastTo<IO>(c.get())->Read(nullptr), 0);
}

TEST_F(StoredFormTest, CrunchEqualsComparesCrunchIds) {
  auto c = NewContainer();
  FillThree(c.get());
  auto same = NewContainer();
  auto four = NewString("another four", 4);
  auto seven = NewString("another seven", 7);
  Fill(same.get(), {four.get(), nullptr, seven.get()});
  Crunch* crunch = CastTo<Crunch>(c.get());
  EXPECT_EQ(crunch->CrunchEquals(same.get()), 0);
  EXPECT_EQ(crunch->CrunchEquals(c.get()), 0);

  // Plain values read back compare equal to the elements they were written from.
  MemoryStream stream(Stored(c.get()));
  auto back = NewContainer();
  CastTo<IO>(back.get())->Read(&stream);
  EXPECT_EQ(crunch->CrunchEquals(back.get()), 0);

  auto shorter = NewContainer();
  Fill(shorter.get(), {four.get(), nullptr});
  EXPECT_EQ(crunch->CrunchEquals(shorter.get()), -1);
  EXPECT_EQ(CastTo<Crunch>(shorter.get())->CrunchEquals(c.get()), -1);
  auto other = NewContainer();
  Fill(other.get(), {four.get(), four.get(), seven.get()});
  EXPECT_EQ(crunch->CrunchEquals(other.get()), -1);
  auto empty = NewContainer();
  EXPECT_EQ(crunch->CrunchEquals(empty.get()), -1);
  EXPECT_EQ(CastTo<Crunch>(empty.get())->CrunchEquals(NewContainer().get()), 0);
  EXPECT_EQ(crunch->CrunchEquals(four.get()), -1);  // not a container
  EXPECT_EQ(crunch->CrunchEquals(nullptr), -1);
}

// Every allocation of a container's life fails in turn: each operation gives its
// documented failure result, and nothing leaks or is released twice.
TEST_F(ElementContainerTest, OutOfMemorySweep) {
  long allocations = SweepAllocationFailuresBothModes([&] {
    auto c = ElementRef<ElementContainer>(
        static_cast<ElementContainer*>(core_->CreateElement(kElementContainerType, 0)));
    if (!c) return;
    std::vector<ElementRef<String>> strings;
    for (int id : {4, 5, 6}) {
      auto s = ElementRef<String>::Create(kStringType);
      if (!s) continue;
      s->AddRef();
      CastTo<Crunch>(s.get())->SetCrunchId(id);
      strings.push_back(std::move(s));
    }
    Iterator* it = c->GetIterator(kListIterator, nullptr);
    if (!it) return;
    int added = 0;
    for (auto& s : strings) added += it->Add(s.get()) == 0;
    EXPECT_EQ(it->GetCount(), added);
    if (it->Insert(nullptr) == 0) ++added;
    c->ReleaseIterator(&it);
    for (auto& s : strings) EXPECT_LE(s->GetRefCount(), 2);

    it = c->GetIterator(0, nullptr);
    if (!it) return;
    EXPECT_EQ(it->GetCount(), added);
    c->ReleaseIterator(&it);

    it = c->GetIterator(0, new PrefixFilter(core_, 'x'));
    if (!it) return;
    c->ReleaseIterator(&it);
    it = c->GetIterator(kListIterator, nullptr);
    if (!it) return;
    Value* array = nullptr;
    int count = 0;
    if (it->GetArray(&array, &count) == 0 && added > 0) {
      EXPECT_NE(array, nullptr);
    }
    c->ReleaseIterator(&it);
    int equal = CastTo<Crunch>(c.get())->CrunchEquals(c.get());
    EXPECT_TRUE(equal == 0 || equal == -1);

    MemoryStream stream;
    if (CastTo<IO>(c.get())->Write(&stream) != 0) return;
    ASSERT_EQ(stream.Bytes().size(), 4u + 4u * added);
    auto back = ElementRef<ElementContainer>(
        static_cast<ElementContainer*>(core_->CreateElement(kElementContainerType, 0)));
    if (!back) return;
    if (CastTo<IO>(back.get())->Read(&stream) != 0) return;
    stream.SetPosition(0);
    if (CastTo<IO>(back.get())->Read(&stream) != 0) return;
    it = back->GetIterator(0, nullptr);
    if (!it) return;
    EXPECT_EQ(it->GetCount(), added);
    Value* values = static_cast<Value*>(Allocate(sizeof(Value)));
    if (values) {
      values[0] = Plain(3);
      EXPECT_EQ(it->SetArray(values, 1), 0);
    }
    back->ReleaseIterator(&it);
  });
  EXPECT_GT(allocations, 25);
}

}  // namespace
}  // namespace VLN2
