#include "records/open_failure.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/temporary_file.hpp"

namespace fs = std::filesystem;

namespace {

// A new empty folder, the current one while it lasts; removed with everything in it when the
// test ends.
struct ScratchFolder {
    fs::path path;
    fs::path was = fs::current_path();
    explicit ScratchFolder(const std::string& name)
        : path(fs::temp_directory_path() / ("nsuica-open-" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::current_path(was, ignored);
        fs::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ScratchFolder(ScratchFolder&&) = delete;
    ScratchFolder& operator=(ScratchFolder&&) = delete;
};

std::string explained(int error, const char* name = "NSuica.in") {
    std::FILE* out = temporary_file();
    if (out == nullptr) return "no temporary file";
    explain_open_failure(out, name, error);
    std::string said;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out))
        said += static_cast<char>(c);
    std::fclose(out);
    return said;
}

TEST(OpenFailure, SaysWhereAndWhyAndNamesAFileThatIsNearlyTheOne) {
    struct Case {
        const char* what;
        std::vector<std::string> files{};  // made in the folder; a name ending in '/' is a folder
        int error;                         // as fopen or the first read left errno
        std::string why;                   // what follows the path
        std::string near{};                // the file named on the third line, if any
        bool unix_names =
            false;  // names Windows cannot hold (it folds case, drops end dots), links
        std::string name = "NSuica.in";  // the file looked for
        std::string in{};                // a folder made in the scratch one to run in; "/"
    };
    const std::string missing = ": o arquivo nao existe.";
    const std::string forbidden = ": sem permissao para ler o arquivo.";
    const std::string in_zip =
        missing + "\n  O programa roda dentro do zip: extraia-o todo e ponha NSuica.in junto dele.";
    // "Folder of Japanese" in Japanese, ten times: three bytes of UTF-8 for each UTF-16 unit.
    std::string japanese;
    for (int i = 0; i < 10; ++i)
        japanese +=
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
            "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80";
    const Case kCases[] = {
        {"missing", {}, ENOENT, ": o arquivo nao existe.", ""},
        {"Notepad's extension",
         {"NSuica.in.txt"},
         ENOENT,
         ": o arquivo nao existe.",
         "NSuica.in.txt"},
        {"in place of .in", {"NSuica.txt"}, ENOENT, ": o arquivo nao existe.", "NSuica.txt"},
        {"capitals", {"NSUICA.IN.CSV"}, ENOENT, ": o arquivo nao existe.", "NSUICA.IN.CSV"},
        {"a text extension of four letters",
         {"nsuica.in.text"},
         ENOENT,
         ": o arquivo nao existe.",
         "nsuica.in.text"},
        {"the first in byte order",
         {"NSuica.csv", "nsuica.txt", "NSuica.in.txt", "nsuica.in.bak", "NSuica.in.csv",
          "NSuica.dat"},
         ENOENT,
         ": o arquivo nao existe.",
         "NSuica.csv"},
        {"lower case", {"nsuica.in"}, ENOENT, ": o arquivo nao existe.", "nsuica.in", true},
        {"spaces at the ends",
         {" NSuica.in  "},
         ENOENT,
         ": o arquivo nao existe.",
         " NSuica.in  ",
         true},
        {"no near miss",
         {"NSuica.input",   "outro.in",      "nsuica.in.a-b", "xNSuica.in",        "NSuica.in.txt/",
          "nsuica.exe",     "nsuica",        "NSuica.docx",   "NSuica.in.zip",     "NSuica.txt.lnk",
          "NSuica (1).exe", "NSuica (0).in", "NSuica ().in",  "NSuica (1)in",      "NSuica  (1).in",
          "NSuica (x).in",  "NSuica (1].in", "NSuica [1).in", "NSuica (1).in.zip", "NSuica.in (1)"},
         ENOENT,
         ": o arquivo nao existe.",
         ""},
        {"an empty extension, a name of spaces",
         {"NSuica.", "NSuica.in.", "   "},
         ENOENT,
         ": o arquivo nao existe.",
         "",
         true},
        {"a browser's copy, the last written, before a text file",
         {"NSuica.in.txt", "NSuica(1).in", "NSuica (12).in", "NSuica (2).in"},
         ENOENT,
         missing,
         "NSuica (2).in"},
        {"forbidden", {"NSuica.in.txt"}, EACCES, ": sem permissao para ler o arquivo.", ""},
        {"another cause",
         {"NSuica.in.txt"},
         EIO,
         ": erro " + std::to_string(EIO) + " do sistema.",
         ""},
        {"a text file before a shortcut",
         {"NSuica.lnk", "nsuica.txt"},
         ENOENT,
         ": o arquivo nao existe.",
         "nsuica.txt"},
        {"a folder", {"NSuica.in/"}, EISDIR, ": e uma pasta, nao um arquivo.", ""},
        {"another name",
         {"NSuica.in.txt", "dados.txt"},
         ENOENT,
         ": o arquivo nao existe.",
         "dados.txt",
         false,
         "Dados.csv"},
        {"a folder, as Windows fails",
         {"NSuica.in/", "NSuica.txt"},
         EACCES,
         ": e uma pasta, nao um arquivo.",
         ""},
        // A program run from inside an archive, in the folder that the archiver put it in.
        {.what = "Explorer", .error = ENOENT, .why = in_zip, .in = "Temp109_nsuica-1.1.zip/nsuica"},
        {.what = "7-Zip", .error = ENOENT, .why = in_zip, .in = "7zO4A1B2C3D"},
        {.what = "WinRAR", .error = ENOENT, .why = in_zip, .in = "rar$exa12.345/exemplo"},
        {.what = "none",
         .error = ENOENT,
         .why = missing,
         .in = "Temp1_notas/Temp_x.zip/Temp1_.zip"},
        {.what = "there",
         .files = {"NSuica.in"},
         .error = EACCES,
         .why = forbidden,
         .in = "Temp1_x.zip"},
        {.what = "the root folder", .error = ENOENT, .why = missing, .in = "/"},
        {.what = "a folder whose path is longer than the first try to get it",
         .error = ENOENT,
         .why = missing,
         .unix_names = true,
         .in = std::string(150, 'a') + "/" + std::string(150, 'b')},
        {.what = "a folder named in Japanese, 80 characters: 240 bytes, near a name's 255",
         .error = ENOENT,
         .why = missing,
         .in = japanese},
    };
    // Paths in UTF-8 on every system: Windows would take a plain string in its code page.
    const auto utf8 = [](const fs::path& p) {
        const std::u8string s = p.u8string();
        return std::string(s.begin(), s.end());
    };
    for (const Case& c : kCases) {
#ifdef _WIN32
        if (c.unix_names) continue;
#endif
        const ScratchFolder folder("case");
        const fs::path in = folder.path / std::u8string(c.in.begin(), c.in.end());
        fs::create_directories(in);
        fs::current_path(in);
        // Each file written a second after the one before.
        auto written = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const std::string& name : c.files) {
            if (name.back() == '/') {
                fs::create_directory(name.substr(0, name.size() - 1));
                continue;
            }
            std::ofstream(name) << "1, 2-3,4-5,6,7-8\n";
            fs::last_write_time(name, written += std::chrono::seconds(1));
        }
        std::string want = "  " + utf8(fs::current_path() / c.name) + c.why + "\n";
        if (!c.near.empty()) {
            want += "  Nesta pasta ha \"" + c.near + "\": renomeie-o para " + c.name + ".\n";
        }
        EXPECT_EQ(explained(c.error, c.name.c_str()), want) << c.what;
    }
}

TEST(OpenFailure, ShowsAPathAndANameAsTheUserWroteThemButNeverWhatActs) {
#ifdef _WIN32
    GTEST_SKIP() << "a name of any bytes is a thing of Unix systems";
#else
    // An escape sequence, a bidirectional override and a byte no UTF-8 holds, beside an accent.
    const ScratchFolder folder("pasta\t\xC3\xA9\x1B]0;x\x07\xE2\x80\xAE\xFF");
    const std::string shown =
        (folder.path.parent_path() / "nsuica-open-pasta?\xC3\xA9?]0;x???").string();
    EXPECT_EQ(explained(ENOENT), "  " + shown + "/NSuica.in: o arquivo nao existe.\n");
#endif
}

}  // namespace
