#include "weights/weights.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>

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

TEST(Weights, EveryRowIsItsOwnWritableBlockOfTheFullWidth) {
    WeightMatrix m = allocate_weights(MATRIX_SIZE, MATRIX_SIZE);
    ASSERT_EQ(m.rows, MATRIX_SIZE);
    ASSERT_EQ(m.cols, MATRIX_SIZE);
    std::set<std::int32_t*> rows;
    for (std::int32_t i = 0; i < m.rows; ++i) {
        ASSERT_NE(m.row[i], nullptr) << i;
        rows.insert(m.row[i]);
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(MATRIX_SIZE));
    // Writing the last column of every row must stay inside it (the sanitizer build checks).
    fill(m, kUnset);
    EXPECT_EQ(m.row[MATRIX_SIZE - 1][MATRIX_SIZE - 1], kUnset);
    release(m);
}

TEST(Weights, InitSetsExactlyTheTopLeftBlock) {
    for (const std::int32_t size : {INIT_BLOCK, INIT_BLOCK + 1, MATRIX_SIZE}) {
        WeightMatrix m = allocate_weights(size, size);
        fill(m, kUnset);
        init_weights(m);
        for (std::int32_t i = 0; i < size; ++i) {
            for (std::int32_t j = 0; j < size; ++j) {
                const std::int32_t expected = (i < INIT_BLOCK && j < INIT_BLOCK) ? 1 : kUnset;
                ASSERT_EQ(m.row[i][j], expected) << "size " << size << " at " << i << "," << j;
            }
        }
        release(m);
    }
}

TEST(Weights, InitOnANarrowMatrixStaysInsideIt) {
    WeightMatrix m = allocate_weights(3, 2);
    fill(m, kUnset);
    init_weights(m);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m.row[i][0], 1);
        EXPECT_EQ(m.row[i][1], 1);
    }
    release(m);
}

}  // namespace
