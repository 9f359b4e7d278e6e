#include "zplatform/variant.h"

#include <cerrno>
#include <cmath>

#include "zplatform/c_numbers.h"

namespace zplatform {

SafeArray::SafeArray(VarType element, std::vector<Bound> bounds)
    : element_(element), bounds_(std::move(bounds)) {
  size_t n = ElementCount();
  switch (element) {
    case kVtBstr:
      data_ = Strings(n);
      break;
    case kVtUI1:
      data_ = std::vector<uint8_t>(n);
      break;
    case kVtI2:
      data_ = std::vector<int16_t>(n);
      break;
    case kVtI4:
      data_ = std::vector<int32_t>(n);
      break;
    case kVtR8:
      data_ = std::vector<double>(n);
      break;
    default:
      element_ = kVtVariant;
      data_ = std::vector<Variant>(n);
      break;
  }
}

std::shared_ptr<SafeArray> SafeArray::Vector(VarType element, int32_t lower, int32_t upper) {
  uint32_t count = upper >= lower ? static_cast<uint32_t>(upper - lower + 1) : 0;
  return std::make_shared<SafeArray>(element, std::vector<Bound>{{lower, count}});
}

size_t SafeArray::ElementCount() const {
  if (bounds_.empty()) return 0;
  size_t n = 1;
  for (const Bound &b : bounds_)
    n *= b.count;
  return n;
}

bool SafeArray::AccessData() {
  if (locked_ || inaccessible_) return false;
  locked_ = true;
  return true;
}

void SafeArray::UnaccessData() {
  locked_ = false;
}

Variant Variant::Null() {
  Variant v;
  v.is_null_ = true;
  return v;
}

Variant Variant::I2(int16_t x) {
  Variant v;
  v.value_ = x;
  return v;
}
Variant Variant::I4(int32_t x) {
  Variant v;
  v.value_ = x;
  return v;
}
Variant Variant::R8(double x) {
  Variant v;
  v.value_ = x;
  return v;
}
Variant Variant::Bool(bool x) {
  Variant v;
  v.value_ = x;
  return v;
}
Variant Variant::UI1(uint8_t x) {
  Variant v;
  v.value_ = x;
  return v;
}
Variant Variant::String(std::string utf8) {
  Variant v;
  v.value_ = std::move(utf8);
  return v;
}
Variant Variant::Array(std::shared_ptr<SafeArray> array) {
  Variant v;
  v.value_ = std::move(array);
  return v;
}
Variant Variant::ArrayRef(SafeArray *array) {
  Variant v;
  v.value_ = array;
  return v;
}

uint16_t Variant::Type() const {
  if (is_null_) return kVtNull;
  switch (value_.index()) {
    case 0:
      return kVtEmpty;
    case 1:
      return kVtI2;
    case 2:
      return kVtI4;
    case 3:
      return kVtR8;
    case 4:
      return kVtBool;
    case 5:
      return kVtUI1;
    case 6:
      return kVtBstr;
    case 7: {
      const auto &a = std::get<std::shared_ptr<SafeArray>>(value_);
      return static_cast<uint16_t>(kVtArray | (a ? a->ElementType() : kVtVariant));
    }
    default: {
      SafeArray *a = std::get<SafeArray *>(value_);
      return static_cast<uint16_t>(kVtArray | kVtByRef | (a ? a->ElementType() : kVtVariant));
    }
  }
}

SafeArray *Variant::ArrayOrNull() const {
  if (const auto *a = std::get_if<std::shared_ptr<SafeArray>>(&value_)) return a->get();
  if (const auto *r = std::get_if<SafeArray *>(&value_)) return *r;
  return nullptr;
}

std::optional<int32_t> Variant::AsInteger() const {
  if (const auto *v = std::get_if<int16_t>(&value_)) return *v;
  if (const auto *v = std::get_if<int32_t>(&value_)) return *v;
  if (const auto *v = std::get_if<uint8_t>(&value_)) return *v;
  if (const auto *v = std::get_if<bool>(&value_)) return *v ? -1 : 0;
  if (const auto *v = std::get_if<double>(&value_)) {
    if (std::isfinite(*v) && std::fabs(*v) < 2147483648.0) {
      return static_cast<int32_t>(std::nearbyint(*v));
    }
    return std::nullopt;
  }
  if (const auto *v = std::get_if<std::string>(&value_)) {
    try {
      size_t used = 0;
      long long n = std::stoll(*v, &used);
      if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
    } catch (...) {
    }
  }
  return std::nullopt;
}

std::optional<double> Variant::AsDouble() const {
  if (const auto *v = std::get_if<double>(&value_)) return *v;
  if (const auto *v = std::get_if<std::string>(&value_)) {
    char *end = nullptr;
    errno = 0;
    double d = CStrtod(v->c_str(), &end);
    if (end == v->c_str() || errno == ERANGE) return std::nullopt;
    return d;
  }
  if (auto i = AsInteger()) return *i;
  return std::nullopt;
}

std::optional<std::string> Variant::AsString() const {
  if (is_null_) return std::nullopt;
  if (const auto *v = std::get_if<std::string>(&value_)) return *v;
  if (IsEmpty()) return std::string();
  if (const auto *v = std::get_if<double>(&value_)) {
    char buf[64];
    CSnprintf(buf, sizeof buf, "%.15g", *v);
    return std::string(buf);
  }
  if (const auto *v = std::get_if<bool>(&value_)) return std::string(*v ? "True" : "False");
  if (auto i = AsInteger()) return std::to_string(*i);
  return std::nullopt;
}

}  // namespace zplatform
