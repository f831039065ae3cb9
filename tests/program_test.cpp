// The built program, run as a user would run it, in a scratch folder of its own. This driver
// always runs on the build machine; a program built for another one is started through its
// emulator (NSUICA_LAUNCHER).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tests/child.hpp"

using namespace std::string_literals;

namespace {

// Windows' console programs end their lines in "\r\n".
std::string lines(const std::string& text) {
    if (!NSUICA_WINDOWS) return text;
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

const std::string kCorner =
    "peso[0][0]=1\npeso[0][1]=1\npeso[0][2]=1\n"
    "peso[1][0]=1\npeso[1][1]=1\npeso[1][2]=1\n"
    "peso[2][0]=1\npeso[2][1]=1\npeso[2][2]=1\n";
const std::string kCannotOpen = "O Arquivo NSuica.in nao pode ser aberto.\n";
const std::string kNoFile = "<none>";
const std::string kFolder = "<folder>";
constexpr int kPatience = 60000;  // ms; only a hung program takes this long

std::string entries(int n) {
    std::string text;
    for (int k = 1; k <= n; ++k)
        text += std::to_string(k) + ", 10-25,3-4,12,100-140\n";
    return text;
}

Launch in_new_folder(const std::vector<std::string>& args = {}) {
    Launch launch{{}, scratch_folder(), {}, false, ""};
    std::istringstream words(NSUICA_LAUNCHER);
    for (std::string word; words >> word;)
        launch.command.push_back(word);
    launch.command.emplace_back(NSUICA_PROGRAM);
    launch.command.insert(launch.command.end(), args.begin(), args.end());
#ifdef NSUICA_SANITIZED
    // The program holds its table and matrix to the end of the process on purpose.
    launch.env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    return launch;
}

std::string input_path(const Launch& launch) {
    return launch.folder + "/NSuica.in";
}

TEST(Program, PrintsTheCornerBeforeReadingAndLooksForTheFileOnlyAfterThePause) {
    const Launch launch = in_new_folder();
    Child child = start(launch);
    // Nothing has been typed yet: the lines must already be readable from the pipe.
    read_output(child, lines(kCorner).size(), kPatience);
    EXPECT_EQ(child.out, lines(kCorner));

    write_file(input_path(launch), entries(3));
    send(child, "k");
    EXPECT_EQ(finish(child, kPatience), 0);
    EXPECT_EQ(child.out, lines(kCorner));
    EXPECT_EQ(child.err, "");
}

struct Case {  // one run: what it is given and what it must do
    const char* what = "";
    std::string file{};  // NSuica.in, or kNoFile, or kFolder
    std::string out{};   // all of standard output
    int status = 0;
    int pauses = 1;                  // characters it takes from standard input: 0, 1 or 2
    std::vector<std::string> env{};  // NAME=value
    std::vector<std::string> args{};
    bool stdin_at_end = false;  // /dev/null: it must not block
    std::string stdout_file{};  // instead of a pipe
    std::string err{};
};

// One character is typed at the start. A run that pauses twice answers with its message; only
// then is a second character typed. Nothing may be left unread but what a run that never
// pauses leaves, and a run that pauses once too often hangs and fails.
void expect_run(const Case& r) {
    Launch launch = in_new_folder(r.args);
    launch.env.insert(launch.env.end(), r.env.begin(), r.env.end());
    launch.stdin_at_end = r.stdin_at_end;
    launch.stdout_file = r.stdout_file;
    if (r.file == kFolder) {
        ASSERT_EQ(mkdir(input_path(launch).c_str(), 0700), 0);
    } else if (r.file != kNoFile) {
        write_file(input_path(launch), r.file);
    }
    Child child = start(launch);
    if (!r.stdin_at_end) send(child, "a");
    if (!r.stdin_at_end && r.pauses == 2) {
        read_output(child, lines(r.out).size(), kPatience);
        send(child, "b");
    }
    EXPECT_EQ(finish(child, kPatience), r.status) << r.what;
    EXPECT_EQ(child.out, lines(r.out)) << r.what;
    EXPECT_EQ(child.err, lines(r.err)) << r.what;
    if (!r.stdin_at_end) {
        EXPECT_EQ(unread_input(child), r.pauses == 0 ? "a" : "") << r.what;
    }
}

TEST(Program, EndsEachRunWithItsOutputStatusAndPauses) {
    const std::string kUnwritable = "Erro ao escrever na saida padrao.\n";
    const Case kRuns[] = {
        {"733 entries", entries(733), kCorner, 0, 1},
        {"no line break at the end", "1, 2-3,4-5,6,7-8", kCorner, 0, 1},
        {"empty", "", kCorner, 0, 1},
        {"missing", kNoFile, kCorner + kCannotOpen, 1, 2},
        {"a folder", kFolder, kCorner + kCannotOpen, 1, 2},
        {"saved by a Windows editor",
         "\xEF\xBB\xBF"
         "1, 2-3,4-5,6,7-8\r\n\x1A",
         kCorner, 0, 1},
        {"malformed", "1, 2-3,4-5,6,7-8\r\n\r\n  7 , 10-25,3-4,12,100-140\r\n",
         kCorner +
             "A entrada 2 do arquivo NSuica.in esta mal formada (linha 3, coluna 4): esperava "
             "',' logo depois do numero, encontrou um espaco.\n"
             "    7 , 10-25,3-4,12,100-140\n"
             "     ^\n",
         1, 2},
        {"UTF-16",
         "\xFF\xFE"
         "1\0,\0"s,
         kCorner + "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n", 1,
         2},
        {"734 entries", entries(734), kCorner + "O Arquivo NSuica.in tem mais de 733 entradas.\n",
         1, 2},
        {"arguments", entries(2), kCorner, 0, 1, {}, {"outro.in", "-h", ""}},
        {"input at its end", entries(1), kCorner, 0, 1, {}, {}, true},
        {"input at its end, no file", kNoFile, kCorner + kCannotOpen, 1, 2, {}, {}, true},
        {"output unwritable", entries(1), "", 1, 1, {}, {}, true, "/dev/full", kUnwritable},
        {"output unwritable, no file", kNoFile, "", 1, 2, {}, {}, true, "/dev/full", kUnwritable},
    };
    for (const Case& r : kRuns)
        expect_run(r);
}

// The allocations and reads that fail are chosen by a library preloaded into the program.
TEST(Program, EndsOnEachFailureOfTheCLibraryWithItsMessage) {
    if (std::string(NSUICA_PRELOAD).empty()) GTEST_SKIP() << NSUICA_NO_PRELOAD;
    // 734 records of 40 bytes; 733 references to rows; 733 weights of 4 bytes a row.
    const std::size_t table = std::size_t{734} * 40;
    const std::size_t references = 733 * sizeof(void*);
    const std::size_t row = std::size_t{733} * 4;
    const std::string kTable = "Falta memoria para alocar o vetor de ponteiros/n";
    const std::string kReferences = "Falta memoria para alocar a matriz de ponteiros\n";
    const std::string kRow = "Falta memoria para alocar a matriz de ponteiros.\n";
    const auto fail = [](std::size_t bytes, std::size_t nth) {
        return std::vector<std::string>{std::string("LD_PRELOAD=") + NSUICA_PRELOAD,
                                        "NSUICA_FAIL_SIZE=" + std::to_string(bytes),
                                        "NSUICA_FAIL_NTH=" + std::to_string(nth)};
    };
    const std::vector<std::string> read_fails = {std::string("LD_PRELOAD=") + NSUICA_PRELOAD,
                                                 "NSUICA_FAIL_READ_AFTER=20"};
    const Case kRuns[] = {
        {"the table", entries(1), kTable, 1, 1, fail(table, 1)},
        {"the row references", entries(1), kReferences, 1, 0, fail(references, 1)},
        {"the first row", entries(1), kRow, 1, 0, fail(row, 1)},
        {"row 367", entries(1), kRow, 1, 0, fail(row, 367)},
        {"the last row", entries(1), kRow, 1, 0, fail(row, 733)},
        // One more than the rows there are: nothing fails, so the count above was exact.
        {"past the last row", entries(1), kCorner, 0, 1, fail(row, 734)},
        // Everything as large as a row fails: the table, tried first, is the one reported.
        {"every large allocation", entries(1), kTable, 1, 1, fail(row, 0)},
        {"a read part way", entries(2), kCorner + "O Arquivo NSuica.in nao pode ser lido.\n", 1, 2,
         read_fails},
    };
    for (const Case& r : kRuns)
        expect_run(r);
}

// A file that cannot be read again, a pipe, still gets the first line of its report, exact.
TEST(Program, ReportsAMalformedEntryOfAPipeWithoutItsLine) {
    if (NSUICA_WINDOWS) GTEST_SKIP() << "a named pipe in a folder is a thing of Unix systems";
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

}  // namespace
