// The working memory of a frei0r instance whose frames may come from several threads at
// once: MLT's slice threads (`threads=N`) call one instance for all the slices of a frame
// at the same time. The call that finds the instance's own workspace free takes it; a call
// that finds it busy takes a spare one, made when none is left over and kept afterwards for
// the next such call. So each call works alone, as if it had the instance to itself, and
// nothing waits for another call: a slice costs what it costs alone.
//
// Lock-free (atomic exchanges), so that a fork during a call leaves nothing locked in the
// child: there the instance's own workspace, if that call held it, is free again (it is
// claimed through a flag that lapses in a child, claim_flag.h), and a spare that call held
// is gone from the set. A spare that cannot be made (no memory) makes the call wait, asleep,
// for the instance's own workspace.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "effects/parallel/claim_flag.h"

namespace qov::frei0r {

template <class Workspace>
class WorkspaceSet {
 public:
  // Makes a workspace for frames of width x height pixels, or returns null (no memory).
  // Must not throw.
  using Make = Workspace* (*)(uint32_t width, uint32_t height);

  // A workspace held for one call.
  class Lease {
   public:
    Lease(WorkspaceSet& set, Workspace* workspace, bool own) : set_(set), workspace_(workspace), own_(own) {}
    ~Lease() { set_.giveBack(workspace_, own_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Workspace& operator*() const { return *workspace_; }
    Workspace* operator->() const { return workspace_; }

   private:
    WorkspaceSet& set_;
    Workspace* workspace_;
    bool own_;
  };

  WorkspaceSet(Make make, uint32_t width, uint32_t height)
      : make_(make), width_(width), height_(height), own_(make(width, height)) {}
  ~WorkspaceSet() {
    delete own_;
    for (std::atomic<Workspace*>& spare : spares_) delete spare.load(std::memory_order_acquire);
  }
  WorkspaceSet(const WorkspaceSet&) = delete;
  WorkspaceSet& operator=(const WorkspaceSet&) = delete;

  // False when the instance's own workspace could not be made.
  bool ready() const { return own_ != nullptr; }

  Lease take() {
    for (;;) {
      if (ownClaim_.tryTake()) return Lease(*this, own_, true);
      for (std::atomic<Workspace*>& spare : spares_)
        if (Workspace* workspace = spare.exchange(nullptr, std::memory_order_acquire))
          return Lease(*this, workspace, false);
      if (Workspace* workspace = make_(width_, height_)) return Lease(*this, workspace, false);
      std::this_thread::sleep_for(kNoMemoryWait);
    }
  }

 private:
  // How long a call without memory for a spare sleeps before it looks again: about a
  // slice's time, short against a frame's.
  static constexpr std::chrono::microseconds kNoMemoryWait{200};
  // Spares kept for later calls: one per slice thread beyond the first for any host's
  // setting; more concurrent calls than that make and release theirs each time.
  static constexpr int kKeptSpares = 16;

  void giveBack(Workspace* workspace, bool own) {
    if (own) {
      ownClaim_.giveBack();
      return;
    }
    for (std::atomic<Workspace*>& spare : spares_) {
      Workspace* empty = nullptr;
      if (spare.compare_exchange_strong(empty, workspace, std::memory_order_release, std::memory_order_relaxed))
        return;
    }
    delete workspace;
  }

  Make make_;
  uint32_t width_;
  uint32_t height_;
  Workspace* own_;
  parallel::ClaimFlag ownClaim_;
  std::atomic<Workspace*> spares_[kKeptSpares] = {};
};

}  // namespace qov::frei0r
