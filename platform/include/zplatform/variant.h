// Automation values for the record-array methods: a Variant that holds a scalar, a string
// (UTF-8, as the C++ automation surface uses) or a SafeArray, directly or by reference.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zplatform {

// Type tags with the automation numbering, so that checks read like their originals.
enum VarType : uint16_t {
  kVtEmpty = 0,
  kVtNull = 1,
  kVtI2 = 2,
  kVtI4 = 3,
  kVtR4 = 4,
  kVtR8 = 5,
  kVtBstr = 8,
  kVtBool = 11,
  kVtVariant = 12,
  kVtUI1 = 17,
  kVtArray = 0x2000,
  kVtByRef = 0x4000,
};

class Variant;

// A rectangular array of one element type with one or more dimensions, each with its lower
// bound and element count. Elements are stored in the first dimension's order fastest.
class SafeArray {
 public:
  struct Bound {
    int32_t lower = 0;
    uint32_t count = 0;
  };
  using Strings = std::vector<std::optional<std::string>>;  // nullopt: a null string

  // element must be one of kVtBstr, kVtUI1, kVtI2, kVtI4, kVtR8, kVtVariant.
  SafeArray(VarType element, std::vector<Bound> bounds);
  // One-dimensional shorthand: lower .. upper inclusive.
  static std::shared_ptr<SafeArray> Vector(VarType element, int32_t lower, int32_t upper);

  VarType ElementType() const { return element_; }
  unsigned Dimensions() const { return static_cast<unsigned>(bounds_.size()); }
  int32_t LowerBound(unsigned dim = 0) const { return bounds_.at(dim).lower; }
  int32_t UpperBound(unsigned dim = 0) const {
    return bounds_.at(dim).lower + static_cast<int32_t>(bounds_.at(dim).count) - 1;
  }
  size_t ElementCount() const;

  // Exclusive access to the data, as a method needs it while it copies; fails when the data
  // are locked by someone else (or marked inaccessible).
  bool AccessData();
  void UnaccessData();
  void SetInaccessible(bool inaccessible) { inaccessible_ = inaccessible; }

  // Typed element storage; null when the element type differs.
  Strings *StringElements() { return std::get_if<Strings>(&data_); }
  std::vector<uint8_t> *ByteElements() { return std::get_if<std::vector<uint8_t>>(&data_); }
  std::vector<int16_t> *I2Elements() { return std::get_if<std::vector<int16_t>>(&data_); }
  std::vector<int32_t> *I4Elements() { return std::get_if<std::vector<int32_t>>(&data_); }
  std::vector<double> *R8Elements() { return std::get_if<std::vector<double>>(&data_); }
  std::vector<Variant> *VariantElements() { return std::get_if<std::vector<Variant>>(&data_); }

 private:
  VarType element_;
  std::vector<Bound> bounds_;
  std::variant<Strings, std::vector<uint8_t>, std::vector<int16_t>, std::vector<int32_t>,
               std::vector<double>, std::vector<Variant>>
      data_;
  bool locked_ = false;
  bool inaccessible_ = false;
};

class Variant {
 public:
  Variant() = default;
  static Variant Null();
  static Variant I2(int16_t v);
  static Variant I4(int32_t v);
  static Variant R8(double v);
  static Variant Bool(bool v);
  static Variant UI1(uint8_t v);
  static Variant String(std::string utf8);
  static Variant Array(std::shared_ptr<SafeArray> array);
  // A reference to an array the caller keeps (VT_ARRAY | VT_BYREF).
  static Variant ArrayRef(SafeArray *array);

  // The full type tag: element type | kVtArray (| kVtByRef).
  uint16_t Type() const;
  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsNull() const { return is_null_; }

  // The array held directly or by reference; null for any other value.
  SafeArray *ArrayOrNull() const;

  std::optional<int32_t> AsInteger() const;
  std::optional<double> AsDouble() const;
  std::optional<std::string> AsString() const;

 private:
  std::variant<std::monostate, int16_t, int32_t, double, bool, uint8_t, std::string,
               std::shared_ptr<SafeArray>, SafeArray *>
      value_;
  bool is_null_ = false;
};

}  // namespace zplatform
