// The editor fuzz targets' deterministic corpus: random runs of edits, each saved and loaded
// back, and random runs of conversions of a data file. A save that loads back otherwise than
// the editor held it, or a record that a conversion changed otherwise than its edit, stops
// the run.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "conversion_input.h"
#include "editor_input.h"
#include "editor_test_util.h"
#include "fuzz_reader.h"

namespace dictedit {
namespace {

TEST(EditorFuzzCorpus, EveryAcceptedEditLoadsBackAsSaved) {
  RecordingUi quiet;
  // A Decimal field of 65,536 bytes was taken, then saved as 0 bytes.
  const uint8_t wide_decimal[] = {1, 0, 3, 10, 1, 0, 3, 6, 12, 0, 0, 0, 4, 0, 0, 0, 0};
  RunEditorFuzzInput(wide_decimal, sizeof wide_decimal);
  std::mt19937 rng(20261208);
  for (int i = 0; i < 120; ++i) {
    std::vector<uint8_t> input = fuzzing::RandomInput(rng, 300);
    RunEditorFuzzInput(input.data(), input.size());
  }
}

TEST(EditorFuzzCorpus, EveryConversionKeepsEveryRecordsFields) {
  RecordingUi quiet;
  // A Note field declared 100 bytes over tails of 10: its deletion failed the conversion.
  std::vector<uint8_t> short_tails = {0, 0, 4, 1, 99, 2};
  for (const char *tail : {"AAAAA", "BBBBB"}) {
    short_tails.insert(short_tails.end(), tail, tail + 5);
    short_tails.push_back(10);
    short_tails.insert(short_tails.end(), 10, 'x');
  }
  short_tails.insert(short_tails.end(), {1, 1});
  RunConversionFuzzInput(short_tails.data(), short_tails.size());
  std::mt19937 rng(1208);
  for (int i = 0; i < 40; ++i) {
    std::vector<uint8_t> input = fuzzing::RandomInput(rng, 1500);
    RunConversionFuzzInput(input.data(), input.size());
  }
}

}  // namespace
}  // namespace dictedit
