#include "framework/ElementContainerImp.h"

#include <cstdint>

#include "archive/Stream.h"

namespace VLN2 {

namespace {

// Value arrays are refused from this count on.
constexpr std::uint32_t kMaxValues = 1u << 30;

// What the stored form holds for a value of a container of the element size: the value
// itself, or the crunch id of an element (-1 for none or one without a Crunch view).
std::int32_t StoredId(Value value, int elementSize) {
  if (elementSize != 0)
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value)));
  Crunch* crunch = CastTo<Crunch>(static_cast<Element*>(value));
  return crunch ? crunch->GetCrunchId() : -1;
}

Value PlainValue(std::int32_t n) { return reinterpret_cast<Value>(static_cast<std::intptr_t>(n)); }

}  // namespace

int ElementContainerImp::Destroy() {
  ReleaseElement(snapshot_);
  ReleaseElement(list_);
  delete this;
  return 0;
}

void* ElementContainerImp::Cast(int interfaceId) {
  if (interfaceId == kCrunchInterface) return static_cast<Crunch*>(this);
  if (interfaceId == kIOInterface) return static_cast<IO*>(this);
  return nullptr;
}

List* ElementContainerImp::EnsureList() {
  if (!list_) {
    List* list = Create<List>(kListType);
    if (!list) return nullptr;
    list->AddRef();
    list->SetElementSize(elementSize_);
    list_ = list;
  }
  return list_;
}

StaticElementArray* ElementContainerImp::NewArray(Element* filter) {
  StaticElementArray* array = Create<StaticElementArray>(kStaticElementArrayType);
  if (!array) return nullptr;
  array->SetElementSize(elementSize_);
  ElementFilter* accept = static_cast<ElementFilter*>(filter);
  std::uint32_t count = 0;
  if (list_) {
    for (ListEntry* e = list_->GetFirst(); e; e = e->GetNext())
      if (!accept || accept->Accept(e->GetValue()) == 0) ++count;
  }
  if (count == 0) return array;
  Value* values =
      count < kMaxValues ? static_cast<Value*>(Allocate(sizeof(Value) * count)) : nullptr;
  if (!values) {
    ReleaseElement(array);
    return nullptr;
  }
  std::uint32_t i = 0;
  for (ListEntry* e = list_->GetFirst(); e && i < count; e = e->GetNext())
    if (!accept || accept->Accept(e->GetValue()) == 0) values[i++] = e->GetValue();
  array->SetArray(values, static_cast<int>(count));
  return array;
}

Iterator* ElementContainerImp::NewSnapshotIterator(StaticElementArray* source) {
  auto* iterator = Create<StaticSizeElementIterator>(kStaticSizeElementIteratorType);
  if (!iterator) return nullptr;
  iterator->SetSource(source);
  iterator->SetElementSize(elementSize_);
  return CastTo<Iterator>(iterator);
}

Iterator* ElementContainerImp::GetIterator(int flags, Element* filter) {
  if (flags & 0x20) {
    // A filter handed to a list iterator is not used, but its reference is taken all the
    // same: whoever passes a filter gives up one reference, whatever the flags.
    if (filter) filter->Release();
    if (!EnsureList()) return nullptr;
    auto* iterator = Create<DynamicSizeElementIterator>(kDynamicSizeElementIteratorType);
    if (!iterator) return nullptr;
    iterator->SetSource(list_);
    iterator->SetElementSize(elementSize_);
    return CastTo<Iterator>(iterator);
  }
  if (filter) {
    StaticElementArray* array = NewArray(filter);
    filter->Release();
    if (!array) return nullptr;
    Iterator* iterator = NewSnapshotIterator(array);
    // The iterator holds the array now; without one, ours was the only reference.
    if (!iterator) ReleaseElement(array);
    return iterator;
  }
  if (!snapshot_) {
    StaticElementArray* array = NewArray(nullptr);
    if (!array) return nullptr;
    array->AddRef();
    snapshot_ = array;
  }
  return NewSnapshotIterator(snapshot_);
}

int ElementContainerImp::ReleaseIterator(Iterator** iterator) {
  if (!iterator || !*iterator) return 0;
  Element* element = (*iterator)->GetElement();
  *iterator = nullptr;
  if (!element) return 0;
  bool modified = false;
  if (element->GetTypeId() == kDynamicSizeElementIteratorType) {
    modified = static_cast<DynamicSizeElementIterator*>(element)->IsModified() != 0;
  } else if (element->GetTypeId() == kStaticSizeElementIteratorType) {
    auto* snapshot = static_cast<StaticSizeElementIterator*>(element);
    modified = snapshot->IsModified() != 0;
    Value* values = nullptr;
    int count = 0;
    if (modified && snapshot->GetSource() && snapshot->GetSource()->GetArray(&values, &count) == 0)
      RebuildList(values, count);
  }
  if (modified) ReleaseElement(snapshot_);
  element->Destroy();
  return 0;
}

bool ElementContainerImp::RebuildList(Value* values, int count) {
  List* list = Create<List>(kListType);
  if (!list) return false;
  list->AddRef();
  list->SetElementSize(elementSize_);
  for (int i = 0; values && i < count; ++i) {
    ListEntry* entry = Create<ListEntry>(kListEntryType);
    if (entry) {
      entry->SetValue(values[i], elementSize_);
      if (values[i] && !entry->GetValue()) ReleaseElement(entry);
    }
    if (!entry) {
      // All or nothing: the container keeps its old list.
      ReleaseElement(list);
      return false;
    }
    list->Append(entry);
  }
  // The old list goes last: with copied values, the array may point into its blocks.
  List* old = list_;
  list_ = list;
  ReleaseElement(old);
  return true;
}

int ElementContainerImp::SetElementSize(int size) {
  // The cached snapshot holds values of the old kind; it is rebuilt on demand.
  if (size != elementSize_) ReleaseElement(snapshot_);
  elementSize_ = size;
  if (list_) list_->SetElementSize(size);
  return 0;
}

int ElementContainerImp::CrunchEquals(Element* other) {
  if (!other || other->GetTypeId() != kElementContainerType) return -1;
  auto* container = static_cast<ElementContainer*>(other);
  Iterator* mine = GetIterator(0, nullptr);
  Iterator* theirs = container->GetIterator(0, nullptr);
  int result = -1;
  if (mine && theirs) {
    Value* a = nullptr;
    Value* b = nullptr;
    int countA = 0;
    int countB = 0;
    mine->GetArray(&a, &countA);
    theirs->GetArray(&b, &countB);
    // Equal only with the same count and the same ids in order; two empty containers
    // are equal.
    if (countA == countB) {
      result = 0;
      for (int i = 0; i < countB && result == 0; ++i) {
        if (StoredId(a[i], elementSize_) != StoredId(b[i], container->GetElementSize()))
          result = -1;
      }
    }
  }
  ReleaseIterator(&mine);
  container->ReleaseIterator(&theirs);
  return result;
}

int ElementContainerImp::Write(Stream* stream) {
  if (!stream) return 1;
  Iterator* iterator = GetIterator(0, nullptr);
  if (!iterator) return 1;
  Value* values = nullptr;
  int count = 0;
  iterator->GetArray(&values, &count);
  std::uint32_t n = static_cast<std::uint32_t>(count);
  std::uint8_t bytes[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
  stream->WriteData(bytes, 4);
  for (int i = 0; i < count; ++i) {
    std::uint32_t id = static_cast<std::uint32_t>(StoredId(values[i], elementSize_));
    for (int b = 0; b < 4; ++b) bytes[b] = static_cast<std::uint8_t>(id >> (8 * b));
    stream->WriteData(bytes, parameter_ ? 2 : 4);
  }
  ReleaseIterator(&iterator);
  return stream->GetError();
}

int ElementContainerImp::Read(Stream* stream) {
  if (!stream) return 1;
  // What is read are plain values. Elements held until now are given up by their own
  // element size first: read as plain values they would never be released.
  if (elementSize_ != -4) {
    ReleaseElement(list_);
    ReleaseElement(snapshot_);
  }
  SetElementSize(-4);
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  stream->ReadData(bytes, 4);
  std::uint32_t n =
      bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  if (n == 0) return 0;
  if (n >= kMaxValues) return 1;
  std::uint32_t entrySize = parameter_ ? 2 : 4;
  // A count the stream cannot deliver is refused before anything is allocated for it.
  std::uint32_t size = 0;
  std::uint32_t position = 0;
  if (stream->GetSize(&size) == 0 && stream->GetPosition(&position) == 0) {
    std::uint32_t remaining = size > position ? size - position : 0;
    if (n > remaining / entrySize) return 1;
  }
  Value* values = static_cast<Value*>(Allocate(sizeof(Value) * n));
  if (!values) return 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;
    if (stream->ReadData(bytes, entrySize) != static_cast<int>(entrySize)) {
      // Cut short: the container keeps what it had rather than a tail of zeros.
      Free(values);
      return 1;
    }
    if (entrySize == 2) {
      std::uint32_t v = bytes[0] | bytes[1] << 8;
      values[i] = PlainValue(v == 0xFFFF ? -1 : static_cast<std::int32_t>(v));
    } else {
      std::uint32_t v =
          bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
      values[i] = PlainValue(static_cast<std::int32_t>(v));
    }
  }
  bool rebuilt = RebuildList(values, static_cast<int>(n));
  Free(values);
  if (!rebuilt) return 1;
  ReleaseElement(snapshot_);
  return 0;
}

}  // namespace VLN2
