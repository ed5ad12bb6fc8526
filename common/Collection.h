#pragma once
// The collection object: an ordered list of variant items counted from 1, each
// optionally stored under a text key. Keys are unique and compare without regard
// to letter case, for every letter that Windows folds (not only ASCII).

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Variant.h"

class Collection {
 public:
  // False, and the list unchanged, when `key` is already held.
  bool Add(Variant item, std::optional<String> key = std::nullopt);
  int32_t Count() const;
  // 1-based; std::out_of_range when outside 1..Count().
  const Variant& Item(int32_t position) const;
  // std::out_of_range when no item is stored under `key`.
  const Variant& Item(const String& key) const;
  bool Contains(const String& key) const;

  std::vector<Variant>::const_iterator begin() const { return items_.begin(); }
  std::vector<Variant>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<Variant> items_;
  std::unordered_map<String, size_t> index_;  // folded key -> 0-based position
};

// The form under which keys compare: each UTF-16 unit mapped to its upper case, as
// Windows compares names. Surrogate pairs are left as they are, as Windows leaves them.
String FoldCase(const String& text);
