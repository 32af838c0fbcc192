// Sole ownership of one handle of the system: the handle is released once,
// by the owner's destruction or reset, and ownership moves but is never
// copied. `Traits` says what a handle is and how it is released:
//
//   struct Traits {
//       using Value = ...;                  // the handle's own type
//       static Value Invalid();             // the value that owns nothing
//       static bool IsValid(Value value);   // whether `value` is to be released
//       static void Close(Value value);     // releases it; its result is ignored
//   };
//
// The backends name their own traits (a kernel handle, a find handle, a
// registry key, a descriptor, a mapping); the public classes hold handles
// whose traits they declare and their backend defines, so the logic never
// sees a system type.
#pragma once

namespace platform {

// The first half of the traits of a handle that is a pointer, null when it
// owns nothing; the traits add their own Close.
template <typename Pointer>
struct NullableHandleTraits {
    using Value = Pointer;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value value) { return value != nullptr; }
};

template <typename Traits>
class ScopedHandle {
  public:
    using Value = typename Traits::Value;

    ScopedHandle() noexcept : value_(Traits::Invalid()) {}
    explicit ScopedHandle(Value value) noexcept : value_(value) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(ScopedHandle&& other) noexcept : value_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return Traits::IsValid(value_); }
    Value Get() const { return value_; }

    // Releases the handle held, if any, and takes `value`.
    void Reset(Value value = Traits::Invalid()) {
        const Value old = value_;
        value_ = value;
        if (Traits::IsValid(old)) {
            Traits::Close(old);
        }
    }

    // Gives the handle up without releasing it.
    Value Release() {
        const Value value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    // For a call that hands a new handle back through a pointer: releases
    // the handle held and lends the place of the new one.
    Value* Receive() {
        Reset();
        return &value_;
    }

  private:
    Value value_;
};

}  // namespace platform
