// A set over a small enumeration, as published properties hold them.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace vorra {

template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) Include(e);
  }
  constexpr bool Contains(E e) const { return (bits_ >> static_cast<unsigned>(e)) & 1u; }
  constexpr TSet& Include(E e) {
    bits_ |= std::uint64_t{1} << static_cast<unsigned>(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits_ &= ~(std::uint64_t{1} << static_cast<unsigned>(e));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  std::uint64_t bits_ = 0;
};

}  // namespace vorra
