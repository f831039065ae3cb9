#pragma once

#include <cstdint>

constexpr std::int32_t MATRIX_SIZE = 733;
constexpr std::int32_t INIT_BLOCK = 10;

// A rows x cols matrix of weights held as `rows` separately allocated rows:
// the weight at row i, column j is row[i][j].
struct WeightMatrix {
    std::int32_t** row;
    std::int32_t rows;
    std::int32_t cols;
};

// Allocates the row references and then each row, in order; sets no weight.
// Returns only on success: a shortage of memory ends the process with status 1, after one of
// two messages on standard output, and without waiting for a key.
WeightMatrix allocate_weights(std::int32_t rows, std::int32_t cols);

// Sets the weights with both indices below INIT_BLOCK to 1 and touches no other weight.
void init_weights(WeightMatrix& matrix);
