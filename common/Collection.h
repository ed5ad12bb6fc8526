#pragma once
// The collection object: an ordered list of variant items counted from 1, each
// optionally stored under a text key. Keys are unique and compare without regard
// to letter case, for every letter that Windows folds (not only ASCII).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Variant.h"

namespace vbreg {

class Collection {
 public:
  // False, and the list unchanged, when `key` is already held.
  bool Add(Variant item, std::optional<String> key = std::nullopt);
  // Add(name, name): the text as the item and as its key, held once.
  bool AddNamed(String name);
  // Room for `count` keyed items in all, made at once rather than as they come.
  void Reserve(size_t count);
  int32_t Count() const;
  // 1-based; std::out_of_range when outside 1..Count().
  const Variant& Item(int32_t position) const;
  // std::out_of_range when no item is stored under `key`.
  const Variant& Item(const String& key) const;
  bool Contains(const String& key) const;

  std::vector<Variant>::const_iterator begin() const { return items_.begin(); }
  std::vector<Variant>::const_iterator end() const { return items_.end(); }

 private:
  // A keyed item: its key as given (empty when the key is the item's own text), the
  // hash of its folded form, and the item's 0-based position in items_.
  struct Key {
    String text;
    uint32_t hash;
    uint32_t position;
    bool isItemText;
  };
  const String& KeyText(const Key& key) const;
  // The index in keys_ of the key that folds as `key` does, or keys_.size() when none.
  size_t Find(const String& key, uint32_t hash) const;
  // Adds a key not yet held, with its item.
  void Insert(Variant item, Key key);
  void Grow();

  std::vector<Variant> items_;
  // The keys in the order they were added, and an open-addressing table over them
  // (each slot an index into keys_ plus one, 0 when free; a power of two in size, at
  // most half full). Keys are folded as they are hashed and compared, never copied:
  // a listing adds thousands of names, and an allocation or a map node per name cost
  // more than converting the name itself.
  std::vector<Key> keys_;
  std::vector<uint32_t> slots_;
};

// The form under which keys compare: each UTF-16 unit mapped to its upper case, as
// Windows compares names. Surrogate pairs are left as they are, as Windows leaves them.
String FoldCase(String text);
char16_t FoldUnit(char16_t unit);

}  // namespace vbreg
