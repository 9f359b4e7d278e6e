// The editor fuzz target's deterministic corpus: random runs of edits, each saved and loaded
// back. A save that loads back otherwise than the editor held it stops the run.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "editor_input.h"
#include "editor_test_util.h"

namespace dictedit {
namespace {

TEST(EditorFuzzCorpus, EveryAcceptedEditLoadsBackAsSaved) {
  RecordingUi quiet;
  // A Decimal field of 65,536 bytes was taken, then saved as 0 bytes.
  const uint8_t wide_decimal[] = {1, 0, 3, 10, 1, 0, 3, 6, 12, 0, 0, 0, 4, 0, 0, 0, 0};
  RunEditorFuzzInput(wide_decimal, sizeof wide_decimal);
  std::mt19937 rng(20261208);
  for (int i = 0; i < 120; ++i) {
    std::vector<uint8_t> input(1 + rng() % 300);
    for (auto &b : input)
      b = static_cast<uint8_t>(rng());
    RunEditorFuzzInput(input.data(), input.size());
  }
}

}  // namespace
}  // namespace dictedit
