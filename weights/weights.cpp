#include "weights/weights.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "common/console.hpp"

namespace {

[[noreturn]] void out_of_memory(const char* message) {
    std::fputs(message, stdout);
    end_after_failure();
}

// A non-positive count still asks for one element: never zero bytes, never a wrapped size.
std::size_t count_of(std::int32_t n) {
    return n > 0 ? static_cast<std::size_t>(n) : 1;
}

}  // namespace

WeightMatrix allocate_weights(std::int32_t rows, std::int32_t cols) {
    WeightMatrix matrix{nullptr, rows, cols};
    const std::size_t row_count = count_of(rows);
    const std::size_t row_bytes = count_of(cols) * sizeof(std::int32_t);

    matrix.row = static_cast<std::int32_t**>(std::malloc(row_count * sizeof(std::int32_t*)));
    if (matrix.row == nullptr) out_of_memory("Falta memoria para alocar a matriz de ponteiros\n");

    for (std::int32_t i = 0; i < rows; ++i) {
        // Rows allocated before a failure are left to the end of the process, like the rest.
        matrix.row[i] = static_cast<std::int32_t*>(std::malloc(row_bytes));
        if (matrix.row[i] == nullptr) {
            out_of_memory("Falta memoria para alocar a matriz de ponteiros.\n");
        }
    }
    return matrix;
}

void init_weights(WeightMatrix& matrix) {
    // The block is fixed; the bounds only keep a matrix smaller than the block from being
    // written past its rows.
    const std::int32_t rows = std::min(INIT_BLOCK, matrix.rows);
    const std::int32_t cols = std::min(INIT_BLOCK, matrix.cols);
    for (std::int32_t i = 0; i < rows; ++i) {
        for (std::int32_t j = 0; j < cols; ++j)
            matrix.row[i][j] = 1;
    }
}
