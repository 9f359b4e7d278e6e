// Field value conversion: nanoseconds per FieldToText and TextToField for each type, and
// for a whole record of 50 fields (through the by-number walk, as the controls read).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/field_conversion.h"

namespace {

using namespace zelko;

struct Sample {
  const char *name;
  int type, size, decimals;
  const char *text;
};

const Sample kSamples[] = {
    {"String", kString, 30, 0, "Yamada Taro"}, {"Integer", kInteger, 4, 0, "-123456"},
    {"Float", kFloat, 8, 0, "3.14159265"},     {"Date", kDate, 4, 0, "2026/12/06"},
    {"Time", kTime, 4, 0, "12:34:56"},         {"Decimal", kDecimal, 6, 2, "-12345.67"},
    {"Money", kMoney, 6, 2, "98765.43"},       {"Logical", kLogical, 1, 0, "1"},
    {"Numeric", kNumeric, 8, 2, "-1234.56"},   {"BFloat", kBFloat, 8, 0, "2.5"},
    {"LString", kLString, 20, 0, "variable"},  {"ZString", kZString, 20, 0, "terminated"},
    {"Note", kNote, 100, 0, "a note"},         {"LVar", kLVar, 100, 0, "a long variable"},
    {"UBin", kUBin, 4, 0, "4000000000"},       {"AutoInc", kAutoInc, 4, 0, "42"},
};

FieldDescriptor Field(const Sample &s) {
  FieldDescriptor f;
  f.data_type = s.type;
  f.size = s.size;
  f.decimals = s.decimals;
  return f;
}

void BM_FieldToText(benchmark::State &state) {
  const Sample &s = kSamples[state.range(0)];
  state.SetLabel(s.name);
  ConversionSettings settings;
  FieldDescriptor f = Field(s);
  std::vector<uint8_t> bytes(128, 0);
  TextToField(settings, f, s.text, bytes.data(), bytes.size());
  for (auto _ : state)
    benchmark::DoNotOptimize(FieldToText(settings, f, bytes.data()));
}
BENCHMARK(BM_FieldToText)->DenseRange(0, 15);

void BM_TextToField(benchmark::State &state) {
  const Sample &s = kSamples[state.range(0)];
  state.SetLabel(s.name);
  ConversionSettings settings;
  FieldDescriptor f = Field(s);
  std::vector<uint8_t> bytes(128, 0);
  std::string text = s.text;
  for (auto _ : state) {
    TextToField(settings, f, text, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_TextToField)->DenseRange(0, 15);

TableDescriptor FiftyFields() {
  TableDescriptor t;
  int offset = 0;
  for (int i = 0; i < 50; ++i) {
    const Sample &s = kSamples[i % 12];  // the fixed-length types
    FieldDescriptor f = Field(s);
    f.name = "F" + std::to_string(i);
    f.offset = offset;
    offset += FieldStorageSize(f.data_type, f.size, "");
    t.fields.push_back(f);
  }
  t.record_length = offset;
  t.record_buffer.assign(offset + 1, 0);
  return t;
}

void BM_ReadRecord50(benchmark::State &state) {
  TableDescriptor t = FiftyFields();
  for (int i = 0; i < 50; ++i)
    WriteFieldByNumber(t, i, kSamples[i % 12].text);
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i)
      benchmark::DoNotOptimize(ReadFieldByNumber(t, i));
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_ReadRecord50);

void BM_WriteRecord50(benchmark::State &state) {
  TableDescriptor t = FiftyFields();
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i)
      WriteFieldByNumber(t, i, kSamples[i % 12].text);
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_WriteRecord50);

}  // namespace

BENCHMARK_MAIN();
