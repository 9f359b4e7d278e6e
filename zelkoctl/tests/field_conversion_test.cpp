#include "engine/field_conversion.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/field_text_check.h"
#include "engine/module.h"
#include "engine_test_util.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"
#include "zplatform/variant.h"
#include "zplatform/vb_format.h"

namespace zelko {
namespace {

std::string Hex(const std::vector<uint8_t> &b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    std::snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

FieldDescriptor F(int type, int size, int dec = 0) {
  FieldDescriptor f;
  f.data_type = type;
  f.size = size;
  f.decimals = dec;
  return f;
}

class Conversion : public testing::Test {
 protected:
  // Stores `text` into a field prefilled with `fill`, returns its bytes.
  std::vector<uint8_t> Store(const FieldDescriptor &f, const std::string &text,
                             uint8_t fill = 0xEE) {
    std::vector<uint8_t> b(f.size, fill);
    TextToField(s_, f, text, b.data(), b.size());
    return b;
  }
  std::string Read(const FieldDescriptor &f, std::vector<uint8_t> b) {
    b.resize(std::max<size_t>(b.size(), 8), 0);
    return FieldToText(s_, f, b.data());
  }
  std::string RoundTrip(const FieldDescriptor &f, const std::string &text) {
    return Read(f, Store(f, text));
  }
  ConversionSettings s_;
};

TEST_F(Conversion, Strings) {
  FieldDescriptor f = F(kString, 10);
  EXPECT_EQ(Hex(Store(f, "ABC")), "41 42 43 20 20 20 20 20 20 20");
  EXPECT_EQ(RoundTrip(f, "ABC"), "ABC");
  s_.fill_space = false;
  EXPECT_EQ(Hex(Store(f, "ABC")), "41 42 43 00 EE EE EE EE EE EE");
  EXPECT_EQ(RoundTrip(f, "ABC"), "ABC");
  EXPECT_EQ(Read(f, {'A', 'B', ' ', ' ', 0, 'x', 'x', 'x', 'x', 'x'}),
            "AB  ");  // trailing spaces kept
  EXPECT_EQ(Read(f, {'A', 'B', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}), "AB");
  EXPECT_EQ(Hex(Store(F(kString, 3), "ABCDE")), "41 42 43");
  // Note and LVar keep trailing spaces; ZString and LString.
  EXPECT_EQ(Read(F(kNote, 4), {'A', ' ', ' ', ' '}), "A   ");
  EXPECT_EQ(Hex(Store(F(kNote, 4), "AB")), "41 42 00 00");
  EXPECT_EQ(Hex(Store(F(kLVar, 4), "ABCDEF")), "41 42 43 44");
  EXPECT_EQ(Hex(Store(F(kLString, 5), "ABCDEFG")), "04 41 42 43 44");
  EXPECT_EQ(Hex(Store(F(kLString, 5), "AB")), "02 41 42 00 00");
  EXPECT_EQ(Read(F(kLString, 5), {9, 'A', 'B', 'C', 'D'}), "ABCD");  // length limited to size - 1
  EXPECT_EQ(Hex(Store(F(kZString, 5), "ABCDEFG")), "41 42 43 44 00");
  EXPECT_EQ(Hex(Store(F(kZString, 5), "AB")), "41 42 00 00 00");
  EXPECT_EQ(Read(F(kZString, 3), {'A', 'B', 'C'}), "ABC");
}

TEST_F(Conversion, IntegersOfEverySize) {
  EXPECT_EQ(Read(F(kInteger, 1), {200}), "200");
  EXPECT_EQ(Read(F(kInteger, 2), {0xFF, 0xFF}), "-1");
  EXPECT_EQ(Read(F(kUBin, 2), {0xFF, 0xFF}), "65535");
  EXPECT_EQ(Read(F(kInteger, 4), {0xFE, 0xFF, 0xFF, 0xFF}), "-2");
  EXPECT_EQ(Read(F(kUBin, 4), {0xFE, 0xFF, 0xFF, 0xFF}), "4294967294");
  EXPECT_EQ(Read(F(kUBin, 1), {0xFE}), "254");
  EXPECT_EQ(Read(F(kAutoInc, 2), {0xFF, 0xFF}), "4294967295");
  EXPECT_EQ(Read(F(kAutoInc, 4), {0xFF, 0xFF, 0xFF, 0xFF}), "4294967295");
  EXPECT_EQ(Read(F(kInteger, 8), {7, 1, 0, 0, 0, 0, 0, 0}), "7");  // other sizes: the first byte
  EXPECT_EQ(Hex(Store(F(kInteger, 4), "1,234")), "D2 04 00 00");
  EXPECT_EQ(Hex(Store(F(kInteger, 2), "1.9")), "01 00");
  EXPECT_EQ(Hex(Store(F(kInteger, 2), "-2")), "FE FF");
  EXPECT_EQ(Hex(Store(F(kInteger, 1), "300")), "2C");
  EXPECT_EQ(Hex(Store(F(kInteger, 4), "1e5")), "0F 00 00 00");  // the filter leaves "15"
  EXPECT_EQ(Hex(Store(F(kAutoInc, 4), "42")), "2A 00 00 00");
  EXPECT_EQ(Hex(Store(F(kUBin, 1), "255")), "FF");
  for (int size : {1, 2, 4}) {
    for (const char *t : {"0", "1", "127"})
      EXPECT_EQ(RoundTrip(F(kInteger, size), t), t) << size;
  }
  EXPECT_EQ(RoundTrip(F(kInteger, 4), "-2147483648"), "-2147483648");
  EXPECT_EQ(RoundTrip(F(kUBin, 2), "65535"), "65535");
}

TEST_F(Conversion, FloatsAndTheTextRule) {
  double d = 1.5;
  std::vector<uint8_t> b(8);
  std::memcpy(b.data(), &d, 8);
  EXPECT_EQ(Read(F(kFloat, 8), b), "1.500000000");
  EXPECT_EQ(FloatText(0.05, 10), "0.05000000000");
  EXPECT_EQ(FloatText(-100, 10), "-100");
  EXPECT_EQ(FloatText(0, 10), "0");
  EXPECT_EQ(FloatText(1e12, 10), "1000000000000");
  EXPECT_EQ(FloatText(123456789012.0, 10), "123456789000");
  EXPECT_EQ(FloatText(2.0 / 3.0, 4), "0.6667");
  EXPECT_EQ(FloatText(2.0 / 3.0, 1), "0.7");
  EXPECT_EQ(FloatText(99.99, 3), "100");
  EXPECT_EQ(FloatText(1e-7, 2), "0.00000010");
  EXPECT_EQ(FloatText(-0.000123456, 6), "-0.000123456");
  EXPECT_EQ(FloatText(12.5, 6), "12.5000");
  // Many magnitudes and sizes: the text reads back to the value rounded to d digits.
  for (int digits = 1; digits <= 15; ++digits) {
    for (double v = 1.2345678901234e-12; v < 1e15; v *= 7.3) {
      for (double x : {v, -v}) {
        std::string t = FloatText(x, digits);
        double back = std::strtod(t.c_str(), nullptr);
        double tolerance = std::fabs(x) * 5 * std::pow(10.0, -digits) * 1.0000001;
        EXPECT_NEAR(back, x, tolerance) << t << " digits " << digits;
      }
    }
  }
  EXPECT_EQ(Hex(Store(F(kFloat, 4), "1.5")), "00 00 C0 3F");
  EXPECT_EQ(Hex(Store(F(kFloat, 8), "-2")), "00 00 00 00 00 00 00 C0");
  EXPECT_EQ(RoundTrip(F(kFloat, 4), "0.25"), "0.2500000000");
  s_.float_size = 4;
  EXPECT_EQ(RoundTrip(F(kFloat, 8), "3.14159"), "3.142");
}

// A host that takes the user's locale (as Qt does) may write numbers as "1,5": the field
// texts keep the point all the same.
TEST_F(Conversion, NumbersKeepTheirPointInALocaleOfDecimalCommas) {
  std::string dir = zelko_testing::ScratchDir() + "/locales";
  std::string command =
      "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (Debian package locales) is needed";
  setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");  // the locale is in force
  EXPECT_EQ(Hex(Store(F(kFloat, 4), "1.5")), "00 00 C0 3F");
  EXPECT_EQ(RoundTrip(F(kFloat, 8), "12.34"), "12.34000000");
  EXPECT_EQ(FloatText(2.0 / 3.0, 4), "0.6667");
  EXPECT_EQ(FieldTextProblem(F(kFloat, 8), "12.5"), "");
  EXPECT_EQ(zplatform::VbFormat("1234.5", "#,##0.00"), "1,234.50");
  EXPECT_EQ(zplatform::Variant::String("2.5").AsDouble(), 2.5);
  EXPECT_EQ(zplatform::Variant::R8(0.25).AsString(), "0.25");
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
}

// The conversion drops commas; the exact check lets them through only between thousands, so
// a European "1,5" is refused rather than stored as 15.
TEST_F(Conversion, TheExactCheckTakesCommasOnlyBetweenThousands) {
  EXPECT_EQ(FieldTextProblem(F(kInteger, 4), "-12,345,678"), "");
  for (const char *good : {"1,234", "-12,345,678", "1,234.5", "0,001"}) {
    EXPECT_EQ(FieldTextProblem(F(kFloat, 8), good), "") << good;
    EXPECT_EQ(FieldTextProblem(F(kDecimal, 8, 1), good), "") << good;
  }
  for (const char *bad : {"1,5", "12,34", "1234,567", ",123", "123,", "1,,234", "1,234,5"}) {
    EXPECT_NE(FieldTextProblem(F(kInteger, 4), bad), "") << bad;
    EXPECT_NE(FieldTextProblem(F(kFloat, 8), bad), "") << bad;
    EXPECT_NE(FieldTextProblem(F(kDecimal, 8, 1), bad), "") << bad;
  }
}

TEST_F(Conversion, MicrosoftBinaryFormatAgainstATable) {
  // Bytes computed independently (the classic format: value = 1.m * 2^(exp - 129)).
  struct Case {
    const char *text;
    std::vector<uint8_t> mbf4, mbf8;
  } const cases[] = {
      {"1", {0x00, 0x00, 0x00, 0x81}, {0, 0, 0, 0, 0, 0, 0x00, 0x81}},
      {"-1", {0x00, 0x00, 0x80, 0x81}, {0, 0, 0, 0, 0, 0, 0x80, 0x81}},
      {"0.5", {0x00, 0x00, 0x00, 0x80}, {0, 0, 0, 0, 0, 0, 0x00, 0x80}},
      {"3", {0x00, 0x00, 0x40, 0x82}, {0, 0, 0, 0, 0, 0, 0x40, 0x82}},
      {"-3.5", {0x00, 0x00, 0xE0, 0x82}, {0, 0, 0, 0, 0, 0, 0xE0, 0x82}},
      {"10", {0x00, 0x00, 0x20, 0x84}, {0, 0, 0, 0, 0, 0, 0x20, 0x84}},
      {"100", {0x00, 0x00, 0x48, 0x87}, {0, 0, 0, 0, 0, 0, 0x48, 0x87}},
      {"0.1", {0xCD, 0xCC, 0x4C, 0x7D}, {0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}},
      {"0", {0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Hex(Store(F(kBFloat, 4), c.text)), Hex(c.mbf4)) << c.text;
    EXPECT_EQ(Hex(Store(F(kBFloat, 8), c.text)), Hex(c.mbf8)) << c.text;
  }
  EXPECT_EQ(Read(F(kBFloat, 4), {0x00, 0x00, 0xE0, 0x82}), "-3.500000000");
  EXPECT_EQ(Read(F(kBFloat, 8), {0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}), "0.1000000000");
  EXPECT_EQ(Read(F(kBFloat, 4), {0x12, 0x34, 0x56, 0x00}), "0");  // exponent 0: zero
}

TEST_F(Conversion, PackedDecimals) {
  FieldDescriptor d32 = F(kDecimal, 3, 2);
  EXPECT_EQ(Hex(Store(d32, "-12.5")), "01 25 0D");
  EXPECT_EQ(Read(d32, {0x01, 0x25, 0x0D}), "-12.50");
  EXPECT_EQ(Hex(Store(d32, "12")), "01 20 0F");
  EXPECT_EQ(Read(d32, {0x01, 0x20, 0x0F}), "12");
  EXPECT_EQ(Read(d32, {0x00, 0x00, 0x0F}), "0.00");
  EXPECT_EQ(Read(d32, {0x00, 0x00, 0x5F}), "0.05");
  EXPECT_EQ(Read(d32, {0x00, 0x05, 0x0F}), "0.50");
  EXPECT_EQ(Hex(Store(F(kDecimal, 2, 0), "12345")), "00 0F");  // does not fit
  EXPECT_EQ(Hex(Store(d32, "1.2399")), "00 12 3F");            // cut, not rounded
  EXPECT_EQ(Hex(Store(F(kDecimal, 2, 0), "12.7")), "01 2F");   // no decimals: the fraction goes
  s_.sign_nibble = 12;
  EXPECT_EQ(Hex(Store(F(kMoney, 4, 2), "1,234.5")), "01 23 45 0C");
  EXPECT_EQ(Read(F(kMoney, 4, 2), {0x01, 0x23, 0x45, 0x0C}), "1234.50");
  EXPECT_EQ(RoundTrip(F(kDecimal, 5, 3), "-98765.432"), "-98765.432");
  EXPECT_EQ(RoundTrip(F(kDecimal, 5, 0), "123456789"), "123456789");
  EXPECT_EQ(Read(F(kDecimal, 2, 5), {0x12, 0x3F}), "0.00123");  // more decimals than digits
}

TEST_F(Conversion, OverpunchedNumerics) {
  FieldDescriptor n52 = F(kNumeric, 5, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Store(n52, "12.3").data()), 5), "0123{");
  EXPECT_EQ(Read(n52, {'0', '1', '2', '3', '{'}), "12.30");
  FieldDescriptor n30 = F(kNumeric, 3, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Store(n30, "-7").data()), 3), "00P");
  EXPECT_EQ(Read(n30, {'0', '0', 'P'}), "-7");
  EXPECT_EQ(Read(F(kNumeric, 7, 2), {'0', '0', '0', '0', '1', '2', '{'}), "1.20");
  EXPECT_EQ(Read(F(kNumeric, 4, 2), {'0', '0', '5', '}'}), "-0.50");
  EXPECT_EQ(Read(F(kNumeric, 4, 0), {0, '1', '2', '3'}), "0");
  EXPECT_EQ(Read(F(kNumeric, 3, 0), {'0', '0', '{'}), "0");
  EXPECT_EQ(Read(F(kNumeric, 3, 0), {'1', '2', '3'}), "123");  // a plain last digit is positive
  EXPECT_EQ(
      std::string(reinterpret_cast<const char *>(Store(F(kNumeric, 6, 0), "+1, 234").data()), 6),
      "00123D");
  EXPECT_EQ(
      std::string(reinterpret_cast<const char *>(Store(F(kNumeric, 3, 0), "12345").data()), 3),
      "12C");  // size digits
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Store(n52, "9.999").data()), 5), "0099I");
  for (const char *t : {"0.00", "-1.25", "999.99", "0.05"})
    EXPECT_EQ(RoundTrip(n52, t), t);
}

// A form that shows a record and saves it writes every field back from its text: each value
// must come back byte for byte, at the limits of its field too.
TEST_F(Conversion, EveryValueWritesBackFromItsText) {
  struct Case {
    FieldDescriptor f;
    std::vector<uint8_t> bytes;
    const char *text;
  } cases[] = {
      {F(kDecimal, 1, 1), {0x5F}, "0.5"},  // every digit a decimal
      {F(kMoney, 2, 3), {0x12, 0x3D}, "-0.123"},
      {F(kDecimal, 2, 5), {0x12, 0x3F}, "0.00123"},
      {F(kNumeric, 3, 3), {'1', '2', 'C'}, "0.123"},
      {F(kNumeric, 2, 2), {'0', 'N'}, "-0.05"},
      {F(kUBin, 4), {0x00, 0x5E, 0xD0, 0xB2}, "3000000000"},
      {F(kAutoInc, 4), {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
      {F(kAutoInc, 2), {0x00, 0x80}, "4294934528"},  // 0x8000, sign-extended as it reads
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Read(c.f, c.bytes), c.text);
    EXPECT_EQ(Hex(Store(c.f, c.text)), Hex(c.bytes)) << c.text;
  }
  // Leading zeros are no digits: the value typed is the value stored.
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Store(F(kNumeric, 3, 0), "0123").data()), 3),
            "12C");
  EXPECT_EQ(Hex(Store(F(kDecimal, 2, 0), "00123")), "12 3F");
  // Beyond 32 bits an unsigned field keeps the largest value; a negative one wraps as before.
  EXPECT_EQ(Hex(Store(F(kUBin, 4), "99999999999")), "FF FF FF FF");
  EXPECT_EQ(Hex(Store(F(kUBin, 4), "-1")), "FF FF FF FF");
  EXPECT_EQ(Hex(Store(F(kInteger, 4), "3000000000")), "FF FF FF 7F");  // signed: as before
}

TEST_F(Conversion, DatesTimesAndLogicals) {
  FieldDescriptor date = F(kDate, 4);
  EXPECT_EQ(Hex(Store(date, "2001/2/3")), "03 02 D1 07");
  EXPECT_EQ(Hex(Store(date, "2001/02/03")), "03 02 D1 07");
  EXPECT_EQ(Hex(Store(date, "2001/2/13")), "0D 02 D1 07");
  EXPECT_EQ(Hex(Store(date, "2001/12/3")), "03 0C D1 07");
  EXPECT_EQ(Read(date, {3, 2, 0xD1, 0x07}), "2001/02/03");
  EXPECT_EQ(Read(date, {0, 0, 0, 0}), "0000/00/00");
  EXPECT_EQ(Read(date, {5, 1, 0xFB, 0xFF}), "-005/01/05");  // year -5 as printf writes it
  EXPECT_EQ(Read(date, {31, 12, 0x0F, 0x27}), "9999/12/31");
  EXPECT_EQ(Hex(Store(date, "garbage")), "00 00 00 00");
  s_.two_digit_year = true;
  EXPECT_EQ(Read(date, {31, 12, 0xCF, 0x07}), "99/12/31");
  EXPECT_EQ(Read(date, {1, 1, 0xD1, 0x07}), "01/01/01");
  EXPECT_EQ(Hex(Store(date, "99/12/31")), "1F 0C CF 07");
  s_.year_2000 = 1;
  EXPECT_EQ(Hex(Store(date, "99/12/31")), "1F 0C 33 08");  // 2099
  FieldDescriptor time = F(kTime, 4);
  EXPECT_EQ(Hex(Store(time, "12:34:56")), "00 38 22 0C");
  EXPECT_EQ(Hex(Store(time, "1234")), "00 00 00 00");
  EXPECT_EQ(Read(time, {99, 56, 34, 12}), "12:34:56");
  EXPECT_EQ(Read(time, {0, 0, 0, 200}), "200:00:00");
  FieldDescriptor logical = F(kLogical, 1);
  EXPECT_EQ(Hex(Store(logical, "1")), "01");
  EXPECT_EQ(Hex(Store(logical, "0")), "00");
  EXPECT_EQ(Hex(Store(logical, "")), "00");
  EXPECT_EQ(Read(logical, {1}), "1");
}

TEST_F(Conversion, NormalizingDatesAndTimes) {
  enginetest::RecordMessages messages;
  EXPECT_EQ(NormalizeDateText(s_, "20010203"), "2001/02/03");
  EXPECT_EQ(NormalizeDateText(s_, "2001/2/3"), "2001/02/03");
  EXPECT_EQ(NormalizeDateText(s_, "2001/2"), "2001/02/01");
  EXPECT_EQ(messages.Recorder().BeepCount(), 0);
  std::string fixed = NormalizeDateText(s_, "1800/13/40");
  EXPECT_EQ(fixed.substr(4), "/01/01");
  EXPECT_GE(std::atoi(fixed.c_str()), 2026);
  EXPECT_EQ(messages.Recorder().BeepCount(), 3);
  EXPECT_EQ(NormalizeDateText(s_, ""), "");
  s_.two_digit_year = true;
  EXPECT_EQ(NormalizeDateText(s_, "990102"), "99/01/02");
  EXPECT_EQ(NormalizeDateText(s_, "99/13/2"), "99/01/01");
  EXPECT_EQ(messages.Recorder().BeepCount(), 4);
  EXPECT_EQ(NormalizeTimeText("123456"), "12:34:56");
  EXPECT_EQ(NormalizeTimeText("9:5"), "09:05:00");
  EXPECT_EQ(NormalizeTimeText("24:60:60"), "24:60:60");
  EXPECT_EQ(NormalizeTimeText("25:00:00"), "00:00:00");
  EXPECT_EQ(messages.Recorder().BeepCount(), 5);
}

TEST_F(Conversion, StorageSizesAndUnsupportedTypes) {
  enginetest::RecordMessages messages;
  EXPECT_EQ(FieldStorageSize(kDate, 8, ""), 4);
  EXPECT_EQ(FieldStorageSize(kTime, 2, ""), 4);
  EXPECT_EQ(FieldStorageSize(kLogical, 2, ""), 1);
  EXPECT_EQ(FieldStorageSize(kNote, 100, "abc"), 4);
  EXPECT_EQ(FieldStorageSize(kString, 30, "abc"), 30);
  EXPECT_TRUE(messages.Texts().empty());
  EXPECT_EQ(FieldStorageSize(16, 30, ""), 0);
  EXPECT_EQ(FieldStorageSize(-1, 30, ""), 0);
  ASSERT_EQ(messages.Texts().size(), 2u);
  EXPECT_EQ(messages.Texts()[0], "VE011 データ型が不正です。");
  EXPECT_EQ(Read(F(16, 4), {'A', 'B', 'C', 'D'}), "");
  EXPECT_EQ(Hex(Store(F(16, 2), "12")), "EE EE");  // nothing written
}

TEST(ConversionSettingsLoad, KeysAndDefaults) {
  enginetest::RecordMessages messages;
  ConversionSettings d = ConversionSettings::Load();
  EXPECT_TRUE(d.fill_space);
  EXPECT_FALSE(d.two_digit_year);
  EXPECT_EQ(d.float_size, 10);
  EXPECT_EQ(d.sign_nibble, 15);
  EXPECT_EQ(d.file_flag, 130);
  EXPECT_EQ(d.form_mode, 3);
  zelko_testing::WriteFile(
      zelko_testing::ConfigDir() + "/zelko.ini",
      "[zelko300]\nfill_space=NO\nfloat_size=6\nyear_2000=1\nsign_nibble=13\n"
      "fix_str_addr=1\nfile_flag=2\nnull_key=32\nform_mode=1\ndelayed_resolve=1\n");
  zelko_testing::WriteFile(zelko_testing::ConfigDir() + "/win.ini",
                           "[intl]\nsShortDate=yy/MM/dd\n");
  ConversionSettings s = ConversionSettings::Load();
  EXPECT_FALSE(s.fill_space);
  EXPECT_TRUE(s.two_digit_year);
  EXPECT_EQ(s.float_size, 6);
  EXPECT_EQ(s.year_2000, 1);
  EXPECT_EQ(s.sign_nibble, 13);  // used unchanged after the message
  EXPECT_EQ(s.fix_str_addr, 1);
  EXPECT_EQ(s.file_flag, 2);
  EXPECT_EQ(s.null_key, 32);
  EXPECT_EQ(s.form_mode, 1);
  EXPECT_EQ(s.delayed_resolve, 1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE823 サイン・ニブルの指定が不正です。");
  zelko_testing::WriteFile(zelko_testing::ConfigDir() + "/zelko.ini",
                           "[zelko300]\nsShortDate=yyyy/mm/dd\n");
  EXPECT_FALSE(ConversionSettings::Load().two_digit_year);  // zelko.ini before win.ini
}

}  // namespace
}  // namespace zelko
