#pragma once
// A signed 128-bit integer made of two 64-bit words (internal to the library).
//
// Date and zone arithmetic borrows and carries between fields that may each hold any 64-bit
// value; the intermediate sums and products need more than 64 bits before they are saturated.
// 32-bit x86 compilers have no built-in 128-bit type, so the library carries its own. It does
// what that arithmetic needs and no more: sums, differences, products (all modulo 2^128, as a
// built-in type would wrap) and division by a positive 64-bit divisor.
//
//   WideInt v = WideInt(INT64_MAX) * 1000 + 7;   // no overflow
//   v / 1000 == INT64_MAX, v % 1000 == 7
//   static_cast<std::int64_t>(WideInt(-5) / 2) == -2   // truncates towards zero, like C++
#include <cstdint>

namespace KestroCorelib::detail {

class WideInt {
 public:
  constexpr WideInt(std::int64_t value = 0)  // NOLINT: converts like a built-in integer
      : high(value < 0 ? ~std::uint64_t{0} : 0), low(static_cast<std::uint64_t>(value)) {}

  // The low 64 bits as a signed number; callers check the range first.
  constexpr explicit operator std::int64_t() const { return static_cast<std::int64_t>(low); }

  friend constexpr WideInt operator+(WideInt a, WideInt b) {
    const std::uint64_t low = a.low + b.low;
    return WideInt(a.high + b.high + (low < a.low ? 1 : 0), low);
  }
  friend constexpr WideInt operator-(WideInt a) { return WideInt(~a.high, ~a.low) + 1; }
  friend constexpr WideInt operator-(WideInt a, WideInt b) { return a + -b; }

  friend constexpr WideInt operator*(WideInt a, WideInt b) {
    // Schoolbook on 32-bit halves for the low words; the cross terms only reach the high word.
    const std::uint64_t a0 = a.low & 0xffffffffu, a1 = a.low >> 32;
    const std::uint64_t b0 = b.low & 0xffffffffu, b1 = b.low >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    const std::uint64_t low = (middle << 32) | (p00 & 0xffffffffu);
    const std::uint64_t high =
        p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32) + a.low * b.high + a.high * b.low;
    return WideInt(high, low);
  }

  // divisor > 0.
  friend constexpr WideInt operator/(WideInt a, std::int64_t divisor) {
    const WideInt quotient = magnitude(a).dividedBy(static_cast<std::uint64_t>(divisor));
    return a.isNegative() ? -quotient : quotient;
  }
  friend constexpr WideInt operator%(WideInt a, std::int64_t divisor) {
    return a - a / divisor * divisor;
  }

  friend constexpr bool operator<(WideInt a, WideInt b) {
    if (a.high != b.high) {
      return static_cast<std::int64_t>(a.high) < static_cast<std::int64_t>(b.high);
    }
    return a.low < b.low;
  }
  friend constexpr bool operator>(WideInt a, WideInt b) { return b < a; }
  friend constexpr bool operator<=(WideInt a, WideInt b) { return !(b < a); }
  friend constexpr bool operator>=(WideInt a, WideInt b) { return !(a < b); }
  friend constexpr bool operator==(WideInt a, WideInt b) {
    return a.high == b.high && a.low == b.low;
  }
  friend constexpr bool operator!=(WideInt a, WideInt b) { return !(a == b); }

  constexpr WideInt& operator+=(WideInt other) { return *this = *this + other; }
  constexpr WideInt& operator-=(WideInt other) { return *this = *this - other; }
  constexpr WideInt& operator%=(std::int64_t divisor) { return *this = *this % divisor; }
  constexpr WideInt& operator++() { return *this += 1; }
  constexpr WideInt& operator--() { return *this -= 1; }

 private:
  constexpr WideInt(std::uint64_t newHigh, std::uint64_t newLow) : high(newHigh), low(newLow) {}

  constexpr bool isNegative() const { return (high >> 63) != 0; }
  static constexpr WideInt magnitude(WideInt a) { return a.isNegative() ? -a : a; }

  // Unsigned long division, one bit at a time; the divisor is below 2^63, so the remainder
  // shifted left never overflows.
  constexpr WideInt dividedBy(std::uint64_t divisor) const {
    std::uint64_t quotientHigh = 0, quotientLow = 0, remainder = 0;
    for (int bit = 127; bit >= 0; --bit) {
      const std::uint64_t word = bit >= 64 ? high : low;
      remainder = (remainder << 1) | ((word >> (bit % 64)) & 1);
      if (remainder >= divisor) {
        remainder -= divisor;
        if (bit >= 64) {
          quotientHigh |= std::uint64_t{1} << (bit - 64);
        } else {
          quotientLow |= std::uint64_t{1} << bit;
        }
      }
    }
    return WideInt(quotientHigh, quotientLow);
  }

  std::uint64_t high;
  std::uint64_t low;
};

}  // namespace KestroCorelib::detail
