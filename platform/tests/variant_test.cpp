#include "zplatform/variant.h"

#include <gtest/gtest.h>

namespace zplatform {
namespace {

TEST(Variant, ArraysDirectAndByReference) {
  auto strings = SafeArray::Vector(kVtBstr, 1, 10);
  EXPECT_EQ(strings->Dimensions(), 1u);
  EXPECT_EQ(strings->LowerBound(), 1);
  EXPECT_EQ(strings->UpperBound(), 10);
  ASSERT_NE(strings->StringElements(), nullptr);
  EXPECT_EQ(strings->ByteElements(), nullptr);
  EXPECT_FALSE((*strings->StringElements())[0].has_value());  // null until set

  Variant direct = Variant::Array(strings);
  EXPECT_EQ(direct.Type(), kVtArray | kVtBstr);
  EXPECT_EQ(direct.ArrayOrNull(), strings.get());

  SafeArray bytes(kVtUI1, {{0, 10}});
  Variant ref = Variant::ArrayRef(&bytes);
  EXPECT_EQ(ref.Type(), kVtArray | kVtByRef | kVtUI1);
  EXPECT_EQ(ref.ArrayOrNull(), &bytes);
  EXPECT_EQ(bytes.ByteElements()->size(), 10u);

  SafeArray two(kVtBstr, {{0, 3}, {1, 2}});
  EXPECT_EQ(two.Dimensions(), 2u);
  EXPECT_EQ(two.ElementCount(), 6u);
  EXPECT_EQ(two.UpperBound(1), 2);

  // Data access is exclusive and can be refused.
  EXPECT_TRUE(bytes.AccessData());
  EXPECT_FALSE(bytes.AccessData());
  bytes.UnaccessData();
  bytes.SetInaccessible(true);
  EXPECT_FALSE(bytes.AccessData());

  EXPECT_EQ(Variant::I2(5).ArrayOrNull(), nullptr);
  auto empty = SafeArray::Vector(kVtI4, 0, -1);
  EXPECT_EQ(empty->ElementCount(), 0u);
}

TEST(Variant, Scalars) {
  EXPECT_EQ(Variant().Type(), kVtEmpty);
  EXPECT_EQ(Variant::Null().Type(), kVtNull);
  EXPECT_EQ(Variant::Null().AsString(), std::nullopt);
  EXPECT_EQ(Variant::I2(-3).AsInteger(), -3);
  EXPECT_EQ(Variant::String("42").AsInteger(), 42);
  EXPECT_EQ(Variant::String("x").AsInteger(), std::nullopt);
  EXPECT_EQ(Variant::R8(2.5).AsString(), "2.5");
  EXPECT_EQ(Variant::Bool(true).AsInteger(), -1);
  EXPECT_EQ(Variant::UI1(200).Type(), kVtUI1);
  EXPECT_EQ(Variant().AsString(), "");
}

}  // namespace
}  // namespace zplatform
