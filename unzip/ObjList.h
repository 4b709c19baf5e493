// Owning object lists of the ZIP component: TObjectList (indexed, grows in
// small steps, at most 65520 items) and TSortedObjectList (kept in the order
// of Compare, with a duplicates policy). They hold the archive directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TStream;

// Base of every object a list holds: a virtual destructor, a class name for
// messages, and the hooks the object-stream registry uses.
class TPersistentItem {
 public:
  virtual ~TPersistentItem() = default;
  virtual const char* ClassName() const { return "TPersistentItem"; }
  virtual void WriteData(TStream&) const {}
  virtual void ReadData(TStream&) {}
};

// Object-stream registry: objects are stored as their class name (one length
// byte, then the name) followed by their own data; reading looks the name up.
void RegisterItemClass(const std::string& className, std::function<TPersistentItem*()> make);
void WriteItem(TStream& s, const TPersistentItem* item);
TPersistentItem* ReadItem(TStream& s);  // raises EReadError on an unknown class

constexpr int32_t kMaxListSize = 65520;

class TObjectList : public TPersistentItem {
 public:
  TObjectList() = default;
  ~TObjectList() override;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;
  const char* ClassName() const override { return "TObjectList"; }

  bool OwnsItems = true;

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  void SetCapacity(int32_t capacity);
  TPersistentItem* Items(int32_t index) const;
  void SetItems(int32_t index, TPersistentItem* item) { PutItem(index, item); }

  virtual int32_t Add(TPersistentItem* item);
  virtual void Clear();
  virtual int32_t IndexOf(const TPersistentItem* item) const;
  virtual void Insert(int32_t index, TPersistentItem* item);
  virtual void Delete(int32_t index);  // drops one item, freeing it when OwnsItems
  virtual TPersistentItem* First() const;
  virtual TPersistentItem* Last() const;
  // Neighbour of item: direction 0 previous, 1 next. With no item, next is the
  // first and previous the last. Outside the list gives nullptr.
  virtual TPersistentItem* Neighbour(const TPersistentItem* item, int direction) const;

  // Persistence as the binary property "ObjectContainer".
  void WriteData(TStream& s) const override;
  void ReadData(TStream& s) override;

 protected:
  [[noreturn]] virtual void IndexError(int64_t index) const;
  virtual void Grow();
  virtual void PutItem(int32_t index, TPersistentItem* item);
  void InsertAt(int32_t index, TPersistentItem* item);

  TPersistentItem** FItems = nullptr;
  int32_t FCount = 0;
  int32_t FCapacity = 0;
};

enum TDuplicates : uint8_t { IgnoreDup = 0, AcceptDup = 1, ErrorDup = 2 };

class TSortedObjectList : public TObjectList {
 public:
  explicit TSortedObjectList(TDuplicates duplicates) : Duplicates(duplicates) {}
  const char* ClassName() const override { return "TSortedObjectList"; }

  TDuplicates Duplicates;

  virtual const TPersistentItem* KeyOf(const TPersistentItem* item) const { return item; }
  virtual int Compare(const TPersistentItem* key1, const TPersistentItem* key2) const;
  // Binary search for key; index is where it is or would be inserted.
  virtual bool Find(const TPersistentItem* key, int32_t& index) const;

  // Both place the item where Find says; the index given to Insert is ignored.
  // IgnoreDup leaves an equal item out (it is not taken over, not freed).
  int32_t Add(TPersistentItem* item) override;
  void Insert(int32_t index, TPersistentItem* item) override;
  int32_t IndexOf(const TPersistentItem* item) const override;

  void WriteData(TStream& s) const override;
  void ReadData(TStream& s) override;

 protected:
  void PutItem(int32_t index, TPersistentItem* item) override;
};
