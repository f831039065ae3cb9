#include "common/console.hpp"

#include <cstdio>
#include <cstdlib>

void pause_for_key() {
    // A failed flush is remembered by the stream's error flag and reported when the run ends;
    // the pause must happen either way.
    std::fflush(stdout);
    std::getchar();
}

int finish_output() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
    std::fputs("Erro ao escrever na saida padrao.\n", stderr);
    return 1;
}

void end_after_failure() {
    finish_output();
    std::exit(1);
}
