// The collection fed arbitrary UTF-16 keys, checked against a plain model: items
// counted in order, keys unique under FoldCase, a key held in any letter case
// rejected, every held key found in its own and its folded form. Keys come through
// Add(item, key) and through AddNamed(name), which stores the name as its own item.

#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/Collection.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Collection list;
  std::map<String, int32_t> model;  // folded key -> position
  std::vector<String> added;        // keys as they were given
  std::vector<Variant> items;       // what each position holds
  int32_t count = 0;

  while (in.remaining_bytes() > 0 && count < 512) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {  // an item without a key
        fuzz::Check(list.Add(Variant(count)), "add without a key failed");
        items.emplace_back(count);
        ++count;
        break;
      }
      case 1:
      case 2: {  // under a new key, or under one already held, perhaps in another case
        String key;
        if (!added.empty() && in.ConsumeBool()) {
          key = added[in.ConsumeIntegralInRange<size_t>(0, added.size() - 1)];
          if (in.ConsumeBool()) key = FoldCase(key);
        } else {
          key = fuzz::Text(in, 12);
        }
        const String folded = FoldCase(key);
        fuzz::Check(folded.size() == key.size(), "folding changed the length");
        fuzz::Check(FoldCase(folded) == folded, "folding is not stable");
        const bool held = model.contains(folded);
        const bool named = in.ConsumeBool();
        const Variant item = named ? Variant(key) : Variant(count);
        const bool ok = named ? list.AddNamed(key) : list.Add(item, key);
        fuzz::Check(ok == !held, held ? "a held key was added twice" : "a new key was refused");
        if (ok) {
          items.push_back(item);
          ++count;
          model.emplace(folded, count);
          added.push_back(key);
        }
        break;
      }
      default: {  // look up an arbitrary key
        const String key = fuzz::Text(in, 12);
        const bool held = model.contains(FoldCase(key));
        fuzz::Check(list.Contains(key) == held, "Contains disagrees with the model");
        bool threw = false;
        try {
          (void)list.Item(key);
        } catch (const std::out_of_range&) {
          threw = true;
        }
        fuzz::Check(threw == !held, "Item(key) disagrees with Contains");
        break;
      }
    }
    fuzz::Check(list.Count() == count, "Count off");
  }

  for (const String& key : added) {
    fuzz::Check(list.Contains(key) && list.Contains(FoldCase(key)), "added key not found");
    const Variant& item = list.Item(key);
    fuzz::Check(item == items[static_cast<size_t>(model.at(FoldCase(key)) - 1)],
                "key leads to the wrong item");
    fuzz::Check(&list.Item(model.at(FoldCase(key))) == &item, "key and position disagree");
  }
  int32_t position = 0;
  for (const Variant& item : list) {
    fuzz::Check(item == items[static_cast<size_t>(position)], "walk out of order");
    ++position;
  }
  fuzz::Check(position == count, "walk length off");
  for (int32_t bad : {0, -1, count + 1}) {
    bool threw = false;
    try {
      (void)list.Item(bad);
    } catch (const std::out_of_range&) {
      threw = true;
    }
    fuzz::Check(threw, "position outside 1..Count accepted");
  }
  return 0;
}
