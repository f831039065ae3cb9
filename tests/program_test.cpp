// The built program, run as a user would run it, in a scratch folder of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "records/records.hpp"
#include "tests/child.hpp"
#include "weights/weights.hpp"

namespace {

const std::string kCorner =
    "peso[0][0]=1\npeso[0][1]=1\npeso[0][2]=1\n"
    "peso[1][0]=1\npeso[1][1]=1\npeso[1][2]=1\n"
    "peso[2][0]=1\npeso[2][1]=1\npeso[2][2]=1\n";
const std::string kCannotOpen = "O Arquivo NSuica.in nao pode ser aberto.\n";
constexpr int kPatience = 20000;  // ms; only a hung program takes this long

std::string entries(int n) {
    std::string text;
    for (int k = 1; k <= n; ++k)
        text += std::to_string(k) + ", 10-25,3-4,12,100-140\n";
    return text;
}

Launch in_new_folder() {
    return Launch{NSUICA_PROGRAM, scratch_folder(), {}, {}, false, ""};
}

std::string input_path(const Launch& launch) {
    return launch.folder + "/NSuica.in";
}

TEST(Program, PrintsTheCornerBeforeReadingAndLooksForTheFileOnlyAfterThePause) {
    const Launch launch = in_new_folder();
    Child child = start(launch);
    // Nothing has been typed yet: the lines must already be readable from the pipe.
    read_output(child, kCorner.size(), kPatience);
    EXPECT_EQ(child.out, kCorner);

    write_file(input_path(launch), entries(3));
    send(child, "k");
    EXPECT_EQ(finish(child, kPatience), 0);
    EXPECT_EQ(child.out, kCorner);
    EXPECT_EQ(child.err, "");
}

// One character is typed at the start. A run that fails after the pause answers with its
// message; only then is a second character typed, which it must read at its own pause.
// Nothing may be left unread, and a run that pauses once too often hangs and fails.
TEST(Program, EndsEachInputFileWithItsMessageStatusAndPauses) {
    const std::string kMalformed =
        "A entrada 2 do arquivo NSuica.in esta mal formada (linha 3, coluna 4): esperava ',' "
        "logo depois do numero, encontrou um espaco.\n";
    struct Case {
        const char* what;
        std::string file;  // written as NSuica.in; "<dir>" makes a folder of that name
        bool present;
        std::string message;
        int status;
    };
    const Case kCases[] = {
        {"733 entries", entries(733), true, "", 0},
        {"no line break at the end", "1, 2-3,4-5,6,7-8", true, "", 0},
        {"empty", "", true, "", 0},
        {"missing", "", false, kCannotOpen, 1},
        {"a folder", "<dir>", true, kCannotOpen, 1},
        {"saved by a Windows editor",
         "\xEF\xBB\xBF"
         "1, 2-3,4-5,6,7-8\r\n\x1A",
         true, "", 0},
        {"malformed second entry", "1, 2-3,4-5,6,7-8\r\n\r\n  7 , 10-25,3-4,12,100-140\r\n", true,
         kMalformed + "    7 , 10-25,3-4,12,100-140\n     ^\n", 1},
        {"UTF-16",
         "\xFF\xFE"
         "1\0,\0",
         true, "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n", 1},
        {"734 entries", entries(734), true, "O Arquivo NSuica.in tem mais de 733 entradas.\n", 1},
    };
    for (const Case& c : kCases) {
        const Launch launch = in_new_folder();
        if (c.file == "<dir>") {
            ASSERT_EQ(mkdir(input_path(launch).c_str(), 0700), 0);
        } else if (c.present) {
            write_file(input_path(launch), c.file);
        }
        Child child = start(launch);
        send(child, "a");
        if (!c.message.empty()) {
            read_output(child, kCorner.size() + c.message.size(), kPatience);
            send(child, "b");
        }
        EXPECT_EQ(finish(child, kPatience), c.status) << c.what;
        EXPECT_EQ(child.out, kCorner + c.message) << c.what;
        EXPECT_EQ(child.err, "") << c.what;
        EXPECT_EQ(unread_input(child), "") << c.what;
    }
}

// A file that cannot be read again, a pipe, still gets the first line of its report, exact.
TEST(Program, ReportsAMalformedEntryOfAPipeWithoutItsLine) {
    const Launch launch = in_new_folder();
    ASSERT_EQ(mkfifo(input_path(launch).c_str(), 0600), 0);
    Child child = start(launch);
    close_input(child);
    // The program opens the pipe once its pause is over; until then no writer can.
    int fifo = -1;
    for (int tries = 0; fifo < 0 && tries < kPatience; ++tries) {
        fifo = open(input_path(launch).c_str(), O_WRONLY | O_NONBLOCK);
        if (fifo < 0) usleep(1000);
    }
    ASSERT_GE(fifo, 0);
    const std::string text = "1, 2-3,4-5,6,7-8\n1; 2-3\n";
    ASSERT_EQ(write(fifo, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fifo);
    EXPECT_EQ(finish(child, kPatience), 1);
    EXPECT_EQ(child.out, kCorner +
                             "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna "
                             "2): esperava ',' logo depois do numero, encontrou ';'.\n");
}

TEST(Program, IgnoresItsArguments) {
    const std::vector<std::vector<std::string>> kArgs = {
        {"outro.in"}, {"-h"}, {"--help", "NSuica.in", "x"}, {""}};
    for (const auto& args : kArgs) {
        Launch launch = in_new_folder();
        launch.args = args;
        launch.stdin_at_end = true;
        write_file(input_path(launch), entries(2));
        Child child = start(launch);
        EXPECT_EQ(finish(child, kPatience), 0) << args.front();
        EXPECT_EQ(child.out, kCorner) << args.front();
    }
}

TEST(Program, DoesNotBlockWhenStandardInputIsAtItsEnd) {
    for (const bool present : {true, false}) {
        Launch launch = in_new_folder();
        launch.stdin_at_end = true;
        if (present) write_file(input_path(launch), entries(1));
        Child child = start(launch);
        EXPECT_EQ(finish(child, kPatience), present ? 0 : 1);
        EXPECT_EQ(child.out, present ? kCorner : kCorner + kCannotOpen);
    }
}

TEST(Program, ReportsAnOutputItCouldNotWrite) {
    for (const bool present : {true, false}) {
        Launch launch = in_new_folder();
        launch.stdin_at_end = true;
        launch.stdout_file = "/dev/full";
        if (present) write_file(input_path(launch), entries(1));
        Child child = start(launch);
        EXPECT_EQ(finish(child, kPatience), 1) << present;
        EXPECT_EQ(child.err, "Erro ao escrever na saida padrao.\n") << present;
    }
}

TEST(Program, EndsOnEachShortageOfMemoryWithItsMessage) {
#ifdef NSUICA_SANITIZED
    GTEST_SKIP() << "a preloaded allocator cannot run beside the sanitizer's own";
#endif
    const std::size_t table = RECORD_SLOTS * sizeof(InputRecord);
    const std::size_t references = MATRIX_SIZE * sizeof(std::int32_t*);
    const std::size_t row = MATRIX_SIZE * sizeof(std::int32_t);
    const std::string kTable = "Falta memoria para alocar o vetor de ponteiros/n";
    const std::string kReferences = "Falta memoria para alocar a matriz de ponteiros\n";
    const std::string kRow = "Falta memoria para alocar a matriz de ponteiros.\n";
    struct Case {
        std::size_t size;
        int nth;
        std::string out;
        int status;
        bool pauses;
    };
    const Case kCases[] = {
        {table, 1, kTable, 1, true},
        {references, 1, kReferences, 1, false},
        {row, 1, kRow, 1, false},
        {row, 367, kRow, 1, false},
        {row, MATRIX_SIZE, kRow, 1, false},
        // One more than the rows there are: nothing fails, so the count above was exact.
        {row, MATRIX_SIZE + 1, kCorner, 0, true},
    };
    for (const Case& c : kCases) {
        const std::string why = std::to_string(c.size) + " bytes, call " + std::to_string(c.nth);
        Launch launch = in_new_folder();
        launch.env = {std::string("LD_PRELOAD=") + FAILING_MALLOC,
                      "NSUICA_FAIL_SIZE=" + std::to_string(c.size),
                      "NSUICA_FAIL_NTH=" + std::to_string(c.nth)};
        write_file(input_path(launch), entries(1));
        Child child = start(launch);
        send(child, "a");
        EXPECT_EQ(finish(child, kPatience), c.status) << why;
        EXPECT_EQ(child.out, c.out) << why;
        EXPECT_EQ(unread_input(child), c.pauses ? "" : "a") << why;
    }
}

}  // namespace
