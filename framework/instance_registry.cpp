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

namespace qov {
namespace detail {

// A plain global of trivially destructible atomics: zero (empty) before any code runs, and
// nothing to do when the library is unloaded.
std::atomic<std::uintptr_t> gLiveInstanceSlots[kRegistrySlots];

}  // namespace detail

namespace {

using detail::gLiveInstanceSlots;
using detail::homeSlot;
using detail::kEmptySlot;
using detail::kFreeSlot;
using detail::kRegistrySlots;

static_assert(kRegistrySlots == kMaxLiveInstances, "one slot per live instance");
constexpr std::size_t kSlotMask = kRegistrySlots - 1;

// The slot holding `address`, or kRegistrySlots.
std::size_t slotOf(std::uintptr_t address) {
  std::size_t slot = homeSlot(address);
  for (std::size_t walked = 0; walked < kRegistrySlots; ++walked, slot = (slot + 1) & kSlotMask) {
    const std::uintptr_t held = gLiveInstanceSlots[slot].load(std::memory_order_acquire);
    if (held == address) return slot;
    if (held == kEmptySlot) break;
  }
  return kRegistrySlots;
}

}  // namespace

bool detail::isLiveBeyondHomeSlot(std::uintptr_t address) noexcept { return slotOf(address) != kRegistrySlots; }

bool registerInstance(const void* instance) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(instance);
  if (address <= kFreeSlot) return false;
  std::size_t slot = homeSlot(address);
  for (std::size_t walked = 0; walked < kRegistrySlots; ++walked, slot = (slot + 1) & kSlotMask) {
    std::uintptr_t held = gLiveInstanceSlots[slot].load(std::memory_order_relaxed);
    // Another instance may take this slot first; the walk then goes on past it.
    while ((held == kEmptySlot || held == kFreeSlot) &&
           !gLiveInstanceSlots[slot].compare_exchange_weak(held, address, std::memory_order_release,
                                                           std::memory_order_relaxed)) {
    }
    if (held == kEmptySlot || held == kFreeSlot) return true;
  }
  return false;
}

bool unregisterInstance(const void* instance) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(instance);
  if (address <= kFreeSlot) return false;
  const std::size_t slot = slotOf(address);
  if (slot == kRegistrySlots) return false;
  std::uintptr_t held = address;
  return gLiveInstanceSlots[slot].compare_exchange_strong(held, kFreeSlot, std::memory_order_acq_rel);
}

}  // namespace qov
