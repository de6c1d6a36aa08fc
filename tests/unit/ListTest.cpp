// List, ListEntry and StaticElementArray: links, the references the list holds, and the
// disposal of values by element size.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "framework/List.h"
#include "framework/String.h"
#include "unit/support/CoreFixture.h"

namespace VLN2 {
namespace {

Value Plain(std::intptr_t n) { return reinterpret_cast<Value>(n); }

class ListTest : public CoreFixture {
 protected:
  ElementRef<List> NewList(int elementSize = 0) {
    auto list = ElementRef<List>::Create(kListType);
    EXPECT_TRUE(list);
    list->SetElementSize(elementSize);
    return list;
  }
  // A new entry: its creation reference becomes the membership once appended.
  ListEntry* NewEntry() {
    ListEntry* entry = Create<ListEntry>(kListEntryType);
    EXPECT_NE(entry, nullptr);
    return entry;
  }
  // Appends n entries holding plain values 1..n; returns them in order.
  std::vector<ListEntry*> Fill(List* list, int n) {
    std::vector<ListEntry*> entries;
    for (int i = 1; i <= n; ++i) {
      ListEntry* entry = NewEntry();
      entry->SetValue(Plain(i), -4);
      EXPECT_EQ(list->Append(entry), 0);
      entries.push_back(entry);
    }
    return entries;
  }
  // The values from first to last, checking the backward links on the way.
  std::vector<std::intptr_t> Walk(List* list) {
    std::vector<std::intptr_t> values;
    ListEntry* previous = nullptr;
    for (ListEntry* e = list->GetFirst(); e; e = e->GetNext()) {
      EXPECT_EQ(e->GetPrevious(), previous);
      values.push_back(reinterpret_cast<std::intptr_t>(e->GetValue()));
      previous = e;
    }
    EXPECT_EQ(list->GetLast(), previous);
    EXPECT_EQ(static_cast<int>(values.size()), list->GetCount());
    return values;
  }
  ElementRef<String> NewString(const char* text) {
    auto s = ElementRef<String>::Create(kStringType);
    EXPECT_TRUE(s);
    s->SetText(text);
    return s;
  }
};

using Values = std::vector<std::intptr_t>;

TEST_F(ListTest, NewElementsAreEmptyAndHaveNoViews) {
  auto list = NewList();
  EXPECT_EQ(list->GetTypeId(), 66);
  EXPECT_EQ(list->GetFirst(), nullptr);
  EXPECT_EQ(list->GetLast(), nullptr);
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetElementSize(), 0);
  EXPECT_EQ(list->Cast(kIteratorInterface), nullptr);
  ElementRef<ListEntry> entry(NewEntry());
  EXPECT_EQ(entry->GetTypeId(), 67);
  EXPECT_EQ(entry->GetNext(), nullptr);
  EXPECT_EQ(entry->GetPrevious(), nullptr);
  EXPECT_EQ(entry->GetValue(), nullptr);
  auto array = ElementRef<StaticElementArray>::Create(kStaticElementArrayType);
  ASSERT_TRUE(array);
  EXPECT_EQ(array->GetTypeId(), 91);
  EXPECT_EQ(array->GetElementSize(), 0);
  Value dummy = nullptr;
  Value* values = &dummy;
  int count = -1;
  EXPECT_EQ(array->GetArray(&values, &count), 0);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(ListTest, AppendToAnEmptyList) {
  auto list = NewList(-4);
  ListEntry* entry = NewEntry();
  EXPECT_EQ(list->Append(entry), 0);
  EXPECT_EQ(list->GetFirst(), entry);
  EXPECT_EQ(list->GetLast(), entry);
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(entry->GetNext(), nullptr);
  EXPECT_EQ(entry->GetPrevious(), nullptr);
  EXPECT_EQ(entry->GetRefCount(), 3);  // membership, first, last
  EXPECT_EQ(list->Append(nullptr), 1);
  EXPECT_EQ(list->GetCount(), 1);
}

TEST_F(ListTest, ReferencesOfMembers) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 3);
  EXPECT_EQ(e[0]->GetRefCount(), 3);  // membership, first, next's back link
  EXPECT_EQ(e[1]->GetRefCount(), 3);  // membership, both neighbours' links
  EXPECT_EQ(e[2]->GetRefCount(), 3);  // membership, last, previous's link
  EXPECT_EQ(Walk(list.get()), (Values{1, 2, 3}));
}

TEST_F(ListTest, RemoveTheOnlyEntry) {
  auto list = NewList(-4);
  ListEntry* entry = Fill(list.get(), 1)[0];
  EXPECT_EQ(list->Remove(&entry), 0);
  EXPECT_EQ(entry, nullptr);
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(list->GetFirst(), nullptr);
  EXPECT_EQ(list->GetLast(), nullptr);
  EXPECT_EQ(LiveElements(kListEntryType), 0);
}

TEST_F(ListTest, RemoveTheMiddleEntryLinksItsNeighbours) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 3);
  ListEntry* middle = e[1];
  EXPECT_EQ(list->Remove(&middle), 0);
  EXPECT_EQ(middle, nullptr);
  EXPECT_EQ(e[0]->GetNext(), e[2]);
  EXPECT_EQ(e[2]->GetPrevious(), e[0]);
  EXPECT_EQ(Walk(list.get()), (Values{1, 3}));
  EXPECT_EQ(LiveElements(kListEntryType), 2);
  EXPECT_EQ(e[0]->GetRefCount(), 3);
  EXPECT_EQ(e[2]->GetRefCount(), 3);
}

TEST_F(ListTest, RemoveFirstAndLastMoveTheEnds) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 3);
  ListEntry* first = e[0];
  list->Remove(&first);
  EXPECT_EQ(list->GetFirst(), e[1]);
  EXPECT_EQ(e[1]->GetPrevious(), nullptr);
  ListEntry* last = e[2];
  list->Remove(&last);
  EXPECT_EQ(list->GetLast(), e[1]);
  EXPECT_EQ(e[1]->GetNext(), nullptr);
  EXPECT_EQ(e[1]->GetRefCount(), 3);
  EXPECT_EQ(Walk(list.get()), (Values{2}));
}

TEST_F(ListTest, RemovedEntryHeldElsewhereSurvivesWithoutLinks) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 3);
  e[1]->AddRef();
  ListEntry* middle = e[1];
  list->Remove(&middle);
  EXPECT_EQ(e[1]->GetRefCount(), 1);
  EXPECT_EQ(e[1]->GetNext(), nullptr);
  EXPECT_EQ(e[1]->GetPrevious(), nullptr);
  EXPECT_EQ(e[1]->GetValue(), Plain(2));  // the value is the caller's business
  e[1]->Release();
}

TEST_F(ListTest, RemoveRefusesWhatCannotBeAMember) {
  auto list = NewList(-4);
  Fill(list.get(), 2);
  ListEntry* stranger = NewEntry();
  EXPECT_EQ(list->Remove(&stranger), 1);
  EXPECT_NE(stranger, nullptr);
  EXPECT_EQ(list->GetCount(), 2);
  ListEntry* none = nullptr;
  EXPECT_EQ(list->Remove(&none), 1);
  EXPECT_EQ(list->Remove(nullptr), 1);
  stranger->Release();
}

TEST_F(ListTest, InsertBeforeTheFirstEntry) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 2);
  ListEntry* entry = NewEntry();
  entry->SetValue(Plain(9), -4);
  EXPECT_EQ(list->InsertBefore(e[0], entry), 0);
  EXPECT_EQ(list->GetFirst(), entry);
  EXPECT_EQ(Walk(list.get()), (Values{9, 1, 2}));
  EXPECT_EQ(entry->GetRefCount(), 3);
  EXPECT_EQ(e[0]->GetRefCount(), 3);
}

TEST_F(ListTest, InsertBeforeTheLastEntry) {
  auto list = NewList(-4);
  std::vector<ListEntry*> e = Fill(list.get(), 2);
  ListEntry* entry = NewEntry();
  entry->SetValue(Plain(9), -4);
  EXPECT_EQ(list->InsertBefore(e[1], entry), 0);
  EXPECT_EQ(list->GetLast(), e[1]);
  EXPECT_EQ(list->GetFirst(), e[0]);
  EXPECT_EQ(Walk(list.get()), (Values{1, 9, 2}));
  EXPECT_EQ(entry->GetRefCount(), 3);
  EXPECT_EQ(e[0]->GetRefCount(), 3);
  EXPECT_EQ(e[1]->GetRefCount(), 3);
}

TEST_F(ListTest, InsertWithoutPositionOnlyIntoAnEmptyList) {
  auto list = NewList(-4);
  ListEntry* entry = NewEntry();
  EXPECT_EQ(list->InsertBefore(nullptr, entry), 0);
  EXPECT_EQ(list->GetFirst(), entry);
  EXPECT_EQ(list->GetLast(), entry);
  EXPECT_EQ(entry->GetRefCount(), 3);
  ListEntry* second = NewEntry();
  EXPECT_EQ(list->InsertBefore(nullptr, second), 1);
  ListEntry* stranger = NewEntry();
  EXPECT_EQ(list->InsertBefore(stranger, second), 1);
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(list->InsertBefore(entry, nullptr), 1);
  second->Release();
  stranger->Release();
}

TEST_F(ListTest, EntryLinksAreCounted) {
  ElementRef<ListEntry> a(NewEntry());
  ElementRef<ListEntry> b(NewEntry());
  a->AddRef();
  b->AddRef();
  a->SetNext(b.get());
  EXPECT_EQ(b->GetRefCount(), 2);
  a->SetPrevious(b.get());
  EXPECT_EQ(b->GetRefCount(), 3);
  a->SetNext(nullptr);
  a->SetPrevious(nullptr);
  EXPECT_EQ(b->GetRefCount(), 1);
}

TEST_F(ListTest, EntryValuesByElementSize) {
  ElementRef<ListEntry> entry(NewEntry());
  auto s = NewString("held");
  s->AddRef();
  entry->SetValue(s.get(), 0);
  EXPECT_EQ(s->GetRefCount(), 2);
  entry->SetValue(s.get(), 0);  // the same element again: still one reference
  EXPECT_EQ(s->GetRefCount(), 2);
  entry->SetValue(nullptr, 0);
  EXPECT_EQ(s->GetRefCount(), 1);
  EXPECT_EQ(entry->GetValue(), nullptr);

  char block[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  entry->SetValue(block, 8);
  ASSERT_NE(entry->GetValue(), nullptr);
  EXPECT_NE(entry->GetValue(), static_cast<Value>(block));
  EXPECT_EQ(std::memcmp(entry->GetValue(), block, 8), 0);
  entry->SetValue(nullptr, 8);  // frees the copy (ASan would see a leak otherwise)
  EXPECT_EQ(entry->GetValue(), nullptr);

  entry->SetValue(Plain(42), -4);
  EXPECT_EQ(entry->GetValue(), Plain(42));
  entry->SetValue(nullptr, -4);
  EXPECT_EQ(entry->GetValue(), nullptr);
}

TEST_F(ListTest, EntryWithoutMemoryForTheCopyHasNoValue) {
  ElementRef<ListEntry> entry(NewEntry());
  char block[4] = {1, 2, 3, 4};
  FailAllocation(1);
  entry->SetValue(block, 4);
  FailAllocation(0);
  EXPECT_EQ(entry->GetValue(), nullptr);
}

TEST_F(ListTest, DestroyingAListOfElementsReleasesEachOnce) {
  auto a = NewString("a");
  auto b = NewString("b");
  a->AddRef();
  b->AddRef();
  {
    auto list = NewList(0);
    for (String* s : {a.get(), b.get(), a.get()}) {
      ListEntry* entry = NewEntry();
      entry->SetValue(s, 0);
      list->Append(entry);
    }
    EXPECT_EQ(a->GetRefCount(), 3);
    EXPECT_EQ(b->GetRefCount(), 2);
  }
  EXPECT_EQ(a->GetRefCount(), 1);
  EXPECT_EQ(b->GetRefCount(), 1);
  EXPECT_EQ(LiveElements(kListEntryType), 0);
  EXPECT_EQ(LiveElements(kListType), 0);
}

TEST_F(ListTest, DestroyingAListOfCopiesFreesEachCopy) {
  auto list = NewList(8);
  double values[] = {1.5, 2.5, 3.5};
  for (double& v : values) {
    ListEntry* entry = NewEntry();
    entry->SetValue(&v, 8);
    list->Append(entry);
  }
  double second = 0;
  std::memcpy(&second, list->GetFirst()->GetNext()->GetValue(), 8);
  EXPECT_EQ(second, 2.5);
  list.reset();  // leaks of the copies show under ASan
  EXPECT_EQ(LiveElements(kListEntryType), 0);
}

TEST_F(ListTest, DestroyingAListOfPlainValuesLeavesThemAlone) {
  auto s = NewString("not owned");
  s->AddRef();
  {
    auto list = NewList(-4);
    ListEntry* entry = NewEntry();
    entry->SetValue(s.get(), -4);  // a plain value: no reference taken or dropped
    list->Append(entry);
    EXPECT_EQ(s->GetRefCount(), 1);
  }
  EXPECT_EQ(s->GetRefCount(), 1);
}

TEST_F(ListTest, ArrayOfElementsHoldsReferences) {
  auto a = NewString("a");
  auto b = NewString("b");
  a->AddRef();
  b->AddRef();
  auto array = ElementRef<StaticElementArray>::Create(kStaticElementArrayType);
  Value* values = static_cast<Value*>(Allocate(3 * sizeof(Value)));
  values[0] = a.get();
  values[1] = nullptr;
  values[2] = b.get();
  EXPECT_EQ(array->SetArray(values, 3), 0);
  EXPECT_EQ(a->GetRefCount(), 2);
  EXPECT_EQ(b->GetRefCount(), 2);
  Value* given = nullptr;
  int count = 0;
  array->GetArray(&given, &count);
  EXPECT_EQ(given, values);
  EXPECT_EQ(count, 3);

  // The same element in the old and the new array stays alive throughout.
  a->Release();
  Value* next = static_cast<Value*>(Allocate(sizeof(Value)));
  next[0] = a.get();
  EXPECT_EQ(array->SetArray(next, 1), 0);
  EXPECT_EQ(a->GetRefCount(), 1);
  EXPECT_EQ(b->GetRefCount(), 1);
  array.reset();
  EXPECT_EQ(LiveElements(kStringType), 1);  // b, still held by the test
  a.Detach();
}

TEST_F(ListTest, ArrayOfPlainValuesTakesNoReferences) {
  auto s = NewString("x");
  s->AddRef();
  auto array = ElementRef<StaticElementArray>::Create(kStaticElementArrayType);
  array->SetElementSize(-4);
  EXPECT_EQ(array->GetElementSize(), -4);
  Value* values = static_cast<Value*>(Allocate(2 * sizeof(Value)));
  values[0] = s.get();
  values[1] = Plain(7);
  array->SetArray(values, 2);
  EXPECT_EQ(s->GetRefCount(), 1);
  array->SetArray(nullptr, 5);
  Value* after = values;
  int count = -1;
  array->GetArray(&after, &count);
  EXPECT_EQ(after, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(s->GetRefCount(), 1);
}

TEST_F(ListTest, OutOfMemorySweep) {
  long allocations = SweepAllocationFailuresBothModes([&] {
    auto list = ElementRef<List>::Create(kListType);
    if (!list) return;
    list->SetElementSize(4);
    std::int32_t value = 0x01020304;
    for (int i = 0; i < 3; ++i) {
      ListEntry* entry = Create<ListEntry>(kListEntryType);
      if (!entry) continue;
      entry->SetValue(&value, 4);
      if (entry->GetValue()) {
        EXPECT_EQ(std::memcmp(entry->GetValue(), &value, 4), 0);
      }
      EXPECT_EQ(list->Append(entry), 0);
    }
    EXPECT_LE(list->GetCount(), 3);
  });
  EXPECT_EQ(allocations, 7);  // the list, three entries, three copies
}

}  // namespace
}  // namespace VLN2
