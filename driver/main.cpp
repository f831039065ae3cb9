#include <cstdint>
#include <cstdio>

#include "common/console.hpp"
#include "records/records.hpp"
#include "weights/weights.hpp"

namespace {

constexpr std::int32_t SHOWN_CORNER = 3;
constexpr const char* INPUT_FILE = "NSuica.in";

}  // namespace

// Arguments are ignored: the run is the same whatever the command line says.
int main() {
    // The table comes first: a shortage of memory for it must be reported before the matrix
    // is tried.
    RecordTable records = allocate_records(RECORD_SLOTS);
    WeightMatrix peso = allocate_weights(MATRIX_SIZE, MATRIX_SIZE);
    init_weights(peso);

    for (std::int32_t i = 0; i < SHOWN_CORNER; ++i) {
        for (std::int32_t j = 0; j < SHOWN_CORNER; ++j) {
            std::printf("peso[%d][%d]=%d\n", i, j, peso.row[i][j]);
        }
    }

    // The file is looked for only after the pause, so it may be put in place while we wait.
    pause_for_key();
    load_records(INPUT_FILE, records);
    return finish_output();
}
