// Handles are opaque numbers, never addresses: the slot index sits in the high bits and a
// generation count in the low 16, so a handle that outlives its object is recognised as stale
// even after the slot has been reused.
#include "platform/gdi/Internal.h"

#include <cassert>

namespace gdi::detail {
namespace {

// A far larger number than any program here needs; reaching it means handles are leaking.
constexpr std::size_t kMaxSlots = std::size_t(1) << 20;

HGDIOBJ Encode(std::size_t index, std::uint16_t generation) {
    // Index + 1 keeps every handle above 0xFFFF, clear of the small system-colour values that
    // FillRect accepts in place of a brush.
    return reinterpret_cast<HGDIOBJ>(((index + 1) << 16) | generation);
}

}  // namespace

std::recursive_mutex& LayerMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

HGDIOBJ Register(std::unique_ptr<TObject> object) {
    assert(TLock::Held());
    THandleTable& table = Handles();
    std::size_t index;
    if (!table.Free.empty()) {
        index = table.Free.back();
        table.Free.pop_back();
    } else {
        if (table.Slots.size() >= kMaxSlots) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = table.Slots.size();
        table.Slots.emplace_back();
    }
    THandleSlot& slot = table.Slots[index];
    if (!object->Stock)
        ++table.Live;
    slot.Object = std::move(object);
    return Encode(index, slot.Generation);
}

bool Unregister(HGDIOBJ handle) {
    THandleSlot* slot = FindSlot(handle);
    if (slot == nullptr)
        return false;
    THandleTable& table = Handles();
    if (!slot->Object->Stock)
        --table.Live;
    // Taken out before it is destroyed, so that a destructor that looks up handles never meets
    // a half-destroyed object.
    std::unique_ptr<TObject> dying = std::move(slot->Object);
    // Generation 0 is never issued, which keeps a zeroed handle value from ever matching.
    slot->Generation = std::uint16_t(slot->Generation == 0xFFFF ? 1 : slot->Generation + 1);
    table.Free.push_back(std::size_t(slot - table.Slots.data()));
    dying.reset();
    return true;
}

}  // namespace gdi::detail

std::size_t gdi::LiveObjectCount() {
    detail::TLock lock(detail::LayerMutex());
    return detail::Handles().Live;
}
