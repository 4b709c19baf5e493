#include "unzip/ObjList.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "common/Classes.h"

// ---- object-stream registry -------------------------------------------------

namespace {

std::map<std::string, std::function<TPersistentItem*()>>& Registry() {
  static std::map<std::string, std::function<TPersistentItem*()>> registry;
  return registry;
}

void WriteShortString(TStream& s, const std::string& text) {
  uint8_t n = static_cast<uint8_t>(text.size() > 255 ? 255 : text.size());
  s.WriteBuffer(&n, 1);
  s.WriteBuffer(text.data(), n);
}

std::string ReadShortString(TStream& s) {
  uint8_t n = 0;
  s.ReadBuffer(&n, 1);
  std::string text(n, '\0');
  s.ReadBuffer(text.data(), n);
  return text;
}

const char kContainer[] = "ObjectContainer";

}  // namespace

void RegisterItemClass(const std::string& className, std::function<TPersistentItem*()> make) {
  Registry()[className] = std::move(make);
}

void WriteItem(TStream& s, const TPersistentItem* item) {
  WriteShortString(s, item->ClassName());
  item->WriteData(s);
}

TPersistentItem* ReadItem(TStream& s) {
  auto it = Registry().find(ReadShortString(s));
  if (it == Registry().end()) throw EReadError();
  TPersistentItem* item = it->second();
  try {
    item->ReadData(s);
  } catch (...) {
    delete item;
    throw;
  }
  return item;
}

// ---- TObjectList ------------------------------------------------------------

TObjectList::~TObjectList() {
  TObjectList::Clear();
}

void TObjectList::IndexError(int64_t index) const {
  ListIndexError(index);
}

void TObjectList::SetCapacity(int32_t capacity) {
  if (capacity < FCount || capacity >= 65535) IndexError(capacity);
  if (capacity == FCapacity) return;
  void* p = std::realloc(FItems, sizeof(TPersistentItem*) * (capacity ? capacity : 1));
  if (!p) throw EOutOfMemory();
  FItems = static_cast<TPersistentItem**>(p);
  FCapacity = capacity;
}

// Grows by 4 up to a capacity of 4, by 8 up to 8, by 16 beyond; the capacity
// limit of 65535 makes 65520 the largest list.
void TObjectList::Grow() {
  int32_t delta = FCapacity > 8 ? 16 : FCapacity > 4 ? 8 : 4;
  SetCapacity(FCapacity + delta);
}

TPersistentItem* TObjectList::Items(int32_t index) const {
  if (index < 0 || index >= FCount) IndexError(index);
  return FItems[index];
}

void TObjectList::PutItem(int32_t index, TPersistentItem* item) {
  if (index < 0 || index >= FCount) IndexError(index);
  FItems[index] = item;
}

void TObjectList::InsertAt(int32_t index, TPersistentItem* item) {
  if (index < 0 || index > FCount) IndexError(index);
  if (FCount == FCapacity) Grow();
  std::memmove(FItems + index + 1, FItems + index, sizeof(TPersistentItem*) * (FCount - index));
  FItems[index] = item;
  ++FCount;
}

int32_t TObjectList::Add(TPersistentItem* item) {
  InsertAt(FCount, item);
  return FCount - 1;
}

void TObjectList::Insert(int32_t index, TPersistentItem* item) {
  InsertAt(index, item);
}

void TObjectList::Delete(int32_t index) {
  if (index < 0 || index >= FCount) IndexError(index);
  TPersistentItem* item = FItems[index];
  --FCount;
  std::memmove(FItems + index, FItems + index + 1, sizeof(TPersistentItem*) * (FCount - index));
  if (OwnsItems) delete item;
}

void TObjectList::Clear() {
  if (OwnsItems)
    for (int32_t i = 0; i < FCount; ++i) delete FItems[i];
  std::free(FItems);
  FItems = nullptr;
  FCount = FCapacity = 0;
}

int32_t TObjectList::IndexOf(const TPersistentItem* item) const {
  for (int32_t i = 0; i < FCount; ++i)
    if (FItems[i] == item) return i;
  return -1;
}

TPersistentItem* TObjectList::First() const {
  return Items(0);
}
TPersistentItem* TObjectList::Last() const {
  return Items(FCount - 1);
}

TPersistentItem* TObjectList::Neighbour(const TPersistentItem* item, int direction) const {
  int32_t i;
  if (!item) {
    i = direction ? 0 : FCount - 1;
  } else {
    i = IndexOf(item);
    if (i < 0) throw EListError(Format("tObject %s not in item list", item->ClassName()));
    i += direction ? 1 : -1;
  }
  return i >= 0 && i < FCount ? FItems[i] : nullptr;
}

void TObjectList::WriteData(TStream& s) const {
  if (FCount > 0) {
    WriteShortString(s, kContainer);
    uint8_t owns = OwnsItems;
    s.WriteBuffer(&owns, 1);
    int32_t n = FCount;
    s.WriteBuffer(&n, 4);
    for (int32_t i = 0; i < FCount; ++i) WriteItem(s, FItems[i]);
  }
  WriteShortString(s, "");
}

void TObjectList::ReadData(TStream& s) {
  for (std::string name; !(name = ReadShortString(s)).empty();) {
    if (name != kContainer) throw EReadError();
    uint8_t owns = 0;
    s.ReadBuffer(&owns, 1);
    OwnsItems = owns != 0;
    int32_t n = 0;
    s.ReadBuffer(&n, 4);
    for (int32_t i = 0; i < n; ++i) {
      TPersistentItem* item = ReadItem(s);
      if (Add(item) < 0) delete item;  // an ignored duplicate is nobody's
    }
  }
}

// ---- TSortedObjectList ------------------------------------------------------

int TSortedObjectList::Compare(const TPersistentItem* a, const TPersistentItem* b) const {
  return a < b ? -1 : a > b ? 1 : 0;
}

bool TSortedObjectList::Find(const TPersistentItem* key, int32_t& index) const {
  bool found = false;
  int32_t lo = 0, hi = FCount - 1;
  while (lo <= hi) {
    int32_t mid = (lo + hi) / 2;
    int c = Compare(KeyOf(FItems[mid]), key);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != AcceptDup) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int32_t TSortedObjectList::Add(TPersistentItem* item) {
  int32_t index;
  if (Find(KeyOf(item), index)) {
    if (Duplicates == IgnoreDup) return -1;
    if (Duplicates == ErrorDup) throw EListError("Duplicate Object index");
  }
  InsertAt(index, item);
  return index;
}

void TSortedObjectList::Insert(int32_t, TPersistentItem* item) {
  Add(item);
}

int32_t TSortedObjectList::IndexOf(const TPersistentItem* item) const {
  int32_t index;
  return Find(KeyOf(item), index) ? index : -1;
}

void TSortedObjectList::PutItem(int32_t, TPersistentItem*) {
  throw EListError("Cannot <Put> an Object in a sorted list!");
}

void TSortedObjectList::WriteData(TStream& s) const {
  uint8_t d = Duplicates;
  s.WriteBuffer(&d, 1);
  TObjectList::WriteData(s);
}

void TSortedObjectList::ReadData(TStream& s) {
  uint8_t d = 0;
  s.ReadBuffer(&d, 1);
  Duplicates = static_cast<TDuplicates>(d <= 2 ? d : 2);
  TObjectList::ReadData(s);
}
