#include "common/Collection.h"

#include <limits>
#include <stdexcept>
#include <utility>

namespace vbreg {

namespace {

// FNV-1a over the folded UTF-16 units of a key.
uint32_t HashOf(const String& key) {
  uint32_t hash = 2166136261u;
  for (const char16_t unit : key) {
    const char16_t folded = FoldUnit(unit);
    hash = (hash ^ (folded & 0xFFu)) * 16777619u;
    hash = (hash ^ (folded >> 8)) * 16777619u;
  }
  return hash;
}

// Puts `entry` in the first free slot from the one its hash names.
void Place(std::vector<uint32_t>& slots, uint32_t hash, uint32_t entry) {
  const size_t mask = slots.size() - 1;
  size_t slot = hash & mask;
  while (slots[slot] != 0) slot = (slot + 1) & mask;
  slots[slot] = entry;
}

bool SameFolded(const String& a, const String& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  }
  return true;
}

}  // namespace

bool Collection::Add(Variant item, std::optional<String> key) {
  // Positions are 32-bit for callers; a list that could not be counted is refused.
  if (items_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  if (!key) {
    items_.push_back(std::move(item));
    return true;
  }
  const uint32_t hash = HashOf(*key);
  if (Find(*key, hash) != keys_.size()) return false;
  Insert(std::move(item), Key{std::move(*key), hash, 0, false});
  return true;
}

bool Collection::AddNamed(String name) {
  if (items_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  const uint32_t hash = HashOf(name);
  if (Find(name, hash) != keys_.size()) return false;
  Insert(Variant(std::move(name)), Key{String(), hash, 0, true});
  return true;
}

void Collection::Insert(Variant item, Key key) {
  // Everything that can fail comes before the first change, or undoes it.
  if ((keys_.size() + 1) * 2 > slots_.size()) Grow();
  key.position = static_cast<uint32_t>(items_.size());
  items_.push_back(std::move(item));
  try {
    keys_.push_back(std::move(key));
  } catch (...) {
    items_.pop_back();
    throw;
  }
  Place(slots_, keys_.back().hash, static_cast<uint32_t>(keys_.size()));
}

const String& Collection::KeyText(const Key& key) const {
  return key.isItemText ? items_[key.position].AsString() : key.text;
}

size_t Collection::Find(const String& key, uint32_t hash) const {
  if (slots_.empty()) return keys_.size();
  const size_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const Key& held = keys_[slots_[slot] - 1];
    if (held.hash == hash && SameFolded(KeyText(held), key)) return slots_[slot] - 1;
  }
  return keys_.size();
}

void Collection::Reserve(size_t count) {
  items_.reserve(count);
  keys_.reserve(count);
  while (count * 2 > slots_.size()) Grow();
}

void Collection::Grow() {
  std::vector<uint32_t> slots(slots_.empty() ? 16 : slots_.size() * 2, 0);
  for (size_t i = 0; i < keys_.size(); ++i) {
    Place(slots, keys_[i].hash, static_cast<uint32_t>(i + 1));
  }
  slots_.swap(slots);
}

int32_t Collection::Count() const { return static_cast<int32_t>(items_.size()); }

const Variant& Collection::Item(int32_t position) const {
  if (position < 1 || position > Count()) {
    throw std::out_of_range("Collection: position " + std::to_string(position) + " outside 1.." +
                            std::to_string(Count()));
  }
  return items_[static_cast<size_t>(position - 1)];
}

const Variant& Collection::Item(const String& key) const {
  const size_t found = Find(key, HashOf(key));
  if (found == keys_.size()) {
    throw std::out_of_range("Collection: no item under this key");
  }
  return items_[keys_[found].position];
}

bool Collection::Contains(const String& key) const {
  return Find(key, HashOf(key)) != keys_.size();
}

}  // namespace vbreg
