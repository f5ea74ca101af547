// The one gate for storage whose size comes from outside the program: pixels of every bitmap,
// the planes of a decoded picture, inflated data, the bytes a graphic keeps of its file, text.
// Readers of untrusted bytes ask here before they allocate, so a hostile header is refused with
// the same cap and the same error wherever it is read, before memory of that size is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

namespace gdi {

/// Whether one block of the given size passes the storage cap (see SetBitmapStorageCap). A
/// refusal sets ERROR_NOT_ENOUGH_MEMORY as the last error.
[[nodiscard]] bool StorageAllowed(std::size_t bytes) noexcept;

/// The blocks of one picture, checked together before the first of them is allocated: their
/// sum, computed without overflow, must pass the cap.
[[nodiscard]] bool StorageAllowed(std::initializer_list<std::size_t> blocks) noexcept;

/// count × size bytes through the gate; false (last error set) when the product overflows or the
/// cap refuses it.
[[nodiscard]] bool StorageAllowed(std::size_t count, std::size_t size) noexcept;

/// A zero-filled block that passed the gate; nullptr with ERROR_NOT_ENOUGH_MEMORY when the gate
/// refuses it or the memory cannot be had.
std::unique_ptr<std::uint8_t[]> AllocateStorage(std::size_t bytes) noexcept;

namespace detail {
/// Records a refusal of the gate (ERROR_NOT_ENOUGH_MEMORY) and returns false.
bool RefuseStorage() noexcept;
}  // namespace detail

/// Sizes a vector to count elements (new ones value-initialised) through the gate. On false the
/// vector is left as it was and ERROR_NOT_ENOUGH_MEMORY is the last error.
template <typename T>
[[nodiscard]] bool ResizeStorage(std::vector<T>& vector, std::size_t count) noexcept {
    if (!StorageAllowed(count, sizeof(T)))
        return false;
    try {
        vector.resize(count);
    } catch (const std::bad_alloc&) {
        return detail::RefuseStorage();
    }
    return true;
}

}  // namespace gdi
