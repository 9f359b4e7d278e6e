// The engine fuzz target's deterministic corpus: random inputs of each kind. Nothing may
// read or write outside its buffers or trip a sanitizer, and every value a field holds must
// write back from its text unchanged.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine_input.h"
#include "engine_test_util.h"
#include "fuzz_reader.h"

namespace {

TEST(EngineFuzzCorpus, RandomValuesMasksAndDictionariesAreHandledSafely) {
  enginetest::RecordMessages quiet;
  std::mt19937 rng(20261208);
  for (int i = 0; i < 1200; ++i) {
    std::vector<uint8_t> input = fuzzing::RandomInput(rng, 400);
    // Mostly values, masks, dates and round trips, which are quick; one in eight a whole
    // dictionary.
    static const uint8_t kQuick[] = {0, 1, 2, 4};
    input[0] = i % 8 == 0 ? 3 : kQuick[i % 4];
    RunEngineFuzzInput(input.data(), input.size());
  }
}

}  // namespace
