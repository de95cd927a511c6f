// The registry of live instances: an open-addressed table of addresses with linear probing,
// written with compare-and-swap.
//
// Slots start empty; an instance takes the first slot along its probe path that is empty
// or free (an instance was removed from it), so every slot between an instance's home and
// its own slot held an instance when it was added, and later holds one or is free, but is
// never empty again. A lookup walks from the home slot until it finds the address or an
// empty slot, so it always finds an instance that is alive. Free slots are taken again by
// the next instances, which keeps the walks to live instances short; only a lookup of an
// id that is no instance may walk past many free slots, and never past the whole table.
#include "framework/instance_registry.h"

#include <atomic>
#include <cstdint>

namespace qov {
namespace {

constexpr unsigned kSlotBits = 12;
constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
static_assert(kSlots == kMaxLiveInstances, "one slot per live instance");
constexpr std::size_t kSlotMask = kSlots - 1;

// Instance addresses are aligned heap addresses: never 0 or 1.
constexpr std::uintptr_t kEmpty = 0;
constexpr std::uintptr_t kFree = 1;

// Below the allocator's alignment every address has the same bits.
constexpr unsigned kAlignmentBits = 4;
// Fibonacci hashing: the golden ratio's fraction spreads neighbouring addresses apart.
constexpr std::uint64_t kGoldenRatio64 = 0x9E3779B97F4A7C15u;

// A plain global of trivially destructible atomics: zero (empty) before any code runs, and
// nothing to do when the library is unloaded.
std::atomic<std::uintptr_t> gSlots[kSlots];

std::size_t homeSlot(std::uintptr_t address) {
  const std::uint64_t hash = (static_cast<std::uint64_t>(address) >> kAlignmentBits) * kGoldenRatio64;
  return static_cast<std::size_t>(hash >> (64 - kSlotBits));
}

// The slot holding `address`, or kSlots.
std::size_t slotOf(std::uintptr_t address) {
  std::size_t slot = homeSlot(address);
  for (std::size_t walked = 0; walked < kSlots; ++walked, slot = (slot + 1) & kSlotMask) {
    const std::uintptr_t held = gSlots[slot].load(std::memory_order_acquire);
    if (held == address) return slot;
    if (held == kEmpty) break;
  }
  return kSlots;
}

}  // namespace

bool registerInstance(const void* instance) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(instance);
  if (address <= kFree) return false;
  std::size_t slot = homeSlot(address);
  for (std::size_t walked = 0; walked < kSlots; ++walked, slot = (slot + 1) & kSlotMask) {
    std::uintptr_t held = gSlots[slot].load(std::memory_order_relaxed);
    // Another instance may take this slot first; the walk then goes on past it.
    while ((held == kEmpty || held == kFree) &&
           !gSlots[slot].compare_exchange_weak(held, address, std::memory_order_release,
                                               std::memory_order_relaxed)) {
    }
    if (held == kEmpty || held == kFree) return true;
  }
  return false;
}

bool unregisterInstance(const void* instance) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(instance);
  if (address <= kFree) return false;
  const std::size_t slot = slotOf(address);
  if (slot == kSlots) return false;
  std::uintptr_t held = address;
  return gSlots[slot].compare_exchange_strong(held, kFree, std::memory_order_acq_rel);
}

bool isLiveInstance(const void* id) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(id);
  return address > kFree && slotOf(address) != kSlots;
}

}  // namespace qov
