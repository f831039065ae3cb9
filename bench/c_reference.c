/* The whole run as a C programmer would write it with the C library's scan, for comparison
   only: the same allocations, the same nine lines, the same pause and the same loading. */
#include <stdio.h>
#include <stdlib.h>

typedef struct {
    int seq, item1, item2_a, item2_b, item2_diff, item3_a, item3_b, item4, item5_a, item5_b;
} Record;

static void fail(const char* message) {
    fputs(message, stdout);
    exit(1);
}

int main(void) {
    Record* records = malloc(734 * sizeof(Record));
    if (records == NULL) fail("Falta memoria para alocar o vetor de ponteiros/n");
    int** peso = malloc(733 * sizeof(int*));
    if (peso == NULL) fail("Falta memoria para alocar a matriz de ponteiros\n");
    for (int i = 0; i < 733; ++i) {
        peso[i] = malloc(733 * sizeof(int));
        if (peso[i] == NULL) fail("Falta memoria para alocar a matriz de ponteiros.\n");
    }
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            peso[i][j] = 1;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            printf("peso[%d][%d]=%d\n", i, j, peso[i][j]);
    getchar();

    FILE* f = fopen("NSuica.in", "r");
    if (f == NULL) fail("O Arquivo NSuica.in nao pode ser aberto.\n");
    for (int k = 1; k < 734; ++k) {
        Record* r = &records[k];
        if (fscanf(f, "%d, %d-%d,%d-%d,%d,%d-%d", &r->item1, &r->item2_a, &r->item2_b, &r->item3_a,
                   &r->item3_b, &r->item4, &r->item5_a, &r->item5_b) != 8)
            break;
        r->seq = k;
        r->item2_diff = r->item2_b - r->item2_a;
    }
    fclose(f);
    return 0;
}
