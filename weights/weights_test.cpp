#include "weights/weights.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int32_t kUnset = -7;

void fill(WeightMatrix& m, std::int32_t value) {
    for (std::int32_t i = 0; i < m.rows; ++i) {
        for (std::int32_t j = 0; j < m.cols; ++j)
            m.row[i][j] = value;
    }
}

// The program keeps its matrix to the end of the process; a test gives it back.
void release(WeightMatrix& m) {
    for (std::int32_t i = 0; i < m.rows; ++i)
        std::free(m.row[i]);
    std::free(static_cast<void*>(m.row));
}

// The block is 10 x 10 whatever the matrix; a smaller matrix is set only inside itself.
TEST(Weights, InitSetsExactlyTheTopLeftBlock) {
    struct Case {
        std::int32_t rows, cols;
    };
    for (const Case c : {Case{MATRIX_SIZE, MATRIX_SIZE}, Case{11, 11}, Case{3, 2}}) {
        WeightMatrix m = allocate_weights(c.rows, c.cols);
        ASSERT_EQ(m.rows, c.rows);
        ASSERT_EQ(m.cols, c.cols);
        fill(m, kUnset);
        init_weights(m);
        for (std::int32_t i = 0; i < c.rows; ++i) {
            for (std::int32_t j = 0; j < c.cols; ++j) {
                const std::int32_t expected = (i < 10 && j < 10) ? 1 : kUnset;
                ASSERT_EQ(m.row[i][j], expected)
                    << c.rows << "x" << c.cols << " at " << i << "," << j;
            }
        }
        release(m);
    }
}

}  // namespace
