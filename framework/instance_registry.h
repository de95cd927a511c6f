// The instances of this library that are alive, so that the id a host passes back is
// checked before anything is read through it: a second deInstantiate, an id from another
// library, an address the library never handed out are refused instead of dereferenced.
//
// Checking an id costs a hash and one or two loads, without a lock, so every instance call
// can afford it. Creating and destroying instances take no lock either, so a fork can never
// leave the registry locked in the child. A host that destroys an instance on one thread
// while it still uses it on another is not protected: that id is alive until it is not.
#pragma once

#include <cstddef>

namespace qov {

// Instances of one library alive at the same time: beyond it, instantiate refuses.
inline constexpr std::size_t kMaxLiveInstances = 4096;

// Adds a new instance; false when kMaxLiveInstances are alive already.
bool registerInstance(const void* instance) noexcept;

// Removes an instance; false when it was not alive (only one of two threads destroying the
// same instance at once gets true).
bool unregisterInstance(const void* instance) noexcept;

// Whether `id` is an instance of this library that is alive now.
bool isLiveInstance(const void* id) noexcept;

}  // namespace qov
