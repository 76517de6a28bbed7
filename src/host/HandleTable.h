// HandleTable: the objects a backend (or the batching layer) hands out during a run, found
// by the id of their handle.
//
// Ids count from 1; 0 is the unset handle and names nothing. Whether a released id comes
// back is each backend's documented behaviour, so the table takes it as a parameter:
// - IdReuse::Reuse: the next object takes the id released last, and clear() starts again
//   from 1, so the table holds no more slots than objects were held at once. A handle used
//   after its release may name a newer object, which the host contract allows.
// - IdReuse::Never: no id is handed out twice, not even after clear(), so a handle that
//   was released, or is from an ended run, always fails with NotFound.
// Objects never move while held: a reference to one stays good while others come and go.
// Slots live in blocks; with Never, a block whose every id has been handed out and
// released is freed at once, so a walk that releases each object as it goes stays small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Failure.h"

namespace gridmoor {

enum class IdReuse { Reuse, Never };

template <class T, IdReuse kReuse>
class HandleTable {
public:
    // Holds `item` and returns its id. Throws HostError (Other) when no id is left.
    std::uint32_t insert(T item) {
        std::size_t index;
        if (kReuse == IdReuse::Reuse && !free_.empty()) {
            index = free_.back();
            free_.pop_back();
            (*blocks_[index / kBlock])[index % kBlock].emplace(std::move(item));
        } else {
            if (count_ >= kMaxIds - base_)
                throw HostError(HostError::Cause::Other, "too many objects in one run");
            index = count_++;
            if (index % kBlock == 0) {
                blocks_.push_back(std::make_unique<Block>());
                blocks_.back()->reserve(kBlock);
                heldInBlock_.push_back(0);
            }
            blocks_.back()->emplace_back(std::move(item));
        }
        ++heldInBlock_[index / kBlock];
        ++held_;
        return base_ + static_cast<std::uint32_t>(index) + 1;
    }

    // The object of `id`; nullptr when it names none (unset, released, never handed out,
    // or handed out in a run that has ended).
    T* find(std::uint32_t id) noexcept {
        std::optional<T>* s = slot(id);
        return s && *s ? &**s : nullptr;
    }
    const T* find(std::uint32_t id) const noexcept {
        return const_cast<HandleTable*>(this)->find(id);
    }

    // The object of `id`, or HostError (NotFound) whose reason begins with `what` and says
    // why the handle names nothing.
    T& at(std::uint32_t id, std::string_view what) {
        if (T* found = find(id)) return *found;
        std::string reason(what);
        if (id == 0)
            reason += ": object is not set";
        else if (id <= base_)
            reason += ": object was released at the end of its run";
        else
            reason += ": object was released";
        throw HostError(HostError::Cause::NotFound, reason);
    }

    // Releases the object of `id`; an id that names none is ignored.
    void erase(std::uint32_t id) noexcept {
        std::optional<T>* s = slot(id);
        if (!s || !*s) return;
        s->reset();
        --held_;
        const std::size_t index = id - base_ - 1;
        const std::size_t block = index / kBlock;
        --heldInBlock_[block];
        if constexpr (kReuse == IdReuse::Reuse) {
            free_.push_back(index);
        } else if (heldInBlock_[block] == 0 && (block + 1) * kBlock <= count_) {
            blocks_[block].reset();  // none of its ids can come back
        }
    }

    // Releases every object: the end of a run.
    void clear() noexcept {
        if constexpr (kReuse == IdReuse::Never) base_ += static_cast<std::uint32_t>(count_);
        count_ = 0;
        held_ = 0;
        blocks_.clear();
        heldInBlock_.clear();
        free_.clear();
    }

    // How many objects are held.
    std::size_t size() const noexcept { return held_; }

private:
    static constexpr std::size_t kBlock = 1024;
    static constexpr std::size_t kMaxIds = std::numeric_limits<std::uint32_t>::max();
    using Block = std::vector<std::optional<T>>;

    // The slot of `id`, or nullptr when the id was not handed out since the last clear()
    // or its block has been freed.
    std::optional<T>* slot(std::uint32_t id) noexcept {
        if (id <= base_ || id - base_ > count_) return nullptr;
        const std::size_t index = id - base_ - 1;
        Block* block = blocks_[index / kBlock].get();
        return block ? &(*block)[index % kBlock] : nullptr;
    }

    std::uint32_t base_ = 0;  // ids up to this one were handed out before the last clear()
    std::size_t count_ = 0;   // ids handed out since the last clear()
    std::size_t held_ = 0;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<std::uint32_t> heldInBlock_;
    std::vector<std::size_t> free_;  // Reuse: indices of released slots, last released last
};

}  // namespace gridmoor
