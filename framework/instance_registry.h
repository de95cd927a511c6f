// The instances of this library that are alive, so that the id a host passes back is
// checked before anything is read through it: a second deInstantiate, an id from another
// library, an address the library never handed out are refused instead of dereferenced.
//
// Checking an id costs a hash and one or two loads, without a lock (about 5 ns, measured
// on the development machine), so every instance call can afford it. Creating and destroying instances take no lock either, so a fork can never
// leave the registry locked in the child. A host that destroys an instance on one thread
// while it still uses it on another is not protected: that id is alive until it is not.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace qov {

// Instances of one library alive at the same time: beyond it, instantiate refuses.
inline constexpr std::size_t kMaxLiveInstances = 4096;

// Adds a new instance; false when kMaxLiveInstances are alive already.
bool registerInstance(const void* instance) noexcept;

// Removes an instance; false when it was not alive (only one of two threads destroying the
// same instance at once gets true).
bool unregisterInstance(const void* instance) noexcept;

namespace detail {

// The registry's table, read here so that the common case of a check (the instance in its
// home slot) is inlined into every call.
inline constexpr unsigned kRegistrySlotBits = 12;
inline constexpr std::size_t kRegistrySlots = std::size_t{1} << kRegistrySlotBits;
// Slots that hold no instance: never used, and used before. Instance addresses are aligned
// heap addresses, never 0 or 1.
inline constexpr std::uintptr_t kEmptySlot = 0;
inline constexpr std::uintptr_t kFreeSlot = 1;
extern std::atomic<std::uintptr_t> gLiveInstanceSlots[kRegistrySlots];

// Below the allocator's alignment every address has the same bits.
inline constexpr unsigned kAddressAlignmentBits = 4;
// Fibonacci hashing: the golden ratio's fraction spreads neighbouring addresses apart.
inline constexpr std::uint64_t kGoldenRatio64 = 0x9E3779B97F4A7C15u;

inline std::size_t homeSlot(std::uintptr_t address) {
  const std::uint64_t hash = (static_cast<std::uint64_t>(address) >> kAddressAlignmentBits) * kGoldenRatio64;
  return static_cast<std::size_t>(hash >> (64 - kRegistrySlotBits));
}

// The rest of a lookup whose home slot holds another address.
bool isLiveBeyondHomeSlot(std::uintptr_t address) noexcept;

}  // namespace detail

// Whether `id` is an instance of this library that is alive now.
inline bool isLiveInstance(const void* id) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(id);
  if (address <= detail::kFreeSlot) return false;
  if (detail::gLiveInstanceSlots[detail::homeSlot(address)].load(std::memory_order_acquire) == address) return true;
  return detail::isLiveBeyondHomeSlot(address);
}

}  // namespace qov
