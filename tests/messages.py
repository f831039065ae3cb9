"""Every message the program can print, byte for byte, and the parts of one that documents
name: in braces where it varies ({K}, {L}, {C}, {N} numbers; {X} a character's code; {path},
{name}, {target} the user's names; {what} the program's words for the case)."""

MESSAGES = {
    "no_table": "Falta memoria para alocar o vetor de ponteiros/n",
    "no_references": "Falta memoria para alocar a matriz de ponteiros\n",
    "no_row": "Falta memoria para alocar a matriz de ponteiros.\n",
    "cannot_open": "O Arquivo NSuica.in nao pode ser aberto.\n",
    "missing": "  {path}: o arquivo nao existe.\n",
    "forbidden": "  {path}: sem permissao para ler o arquivo.\n",
    "a_folder": "  {path}: e uma pasta, nao um arquivo.\n",
    "a_link_to_nothing": '  {path}: e um link para "{target}", que nao existe.\n',
    "a_link_that_loops": "  {path}: e um link que forma um ciclo.\n",
    "another_cause": "  {path}: erro {N} do sistema.\n",
    "near_miss": '  Nesta pasta ha "{name}": renomeie-o para NSuica.in.\n',
    "shortcut": '  Nesta pasta ha "{name}", um atalho: copie para esta pasta o proprio arquivo '
    "NSuica.in.\n",
    "inside_a_zip": "  O programa roda dentro do zip: extraia-o todo e ponha NSuica.in junto dele.\n",
    "malformed": "A entrada {K} do arquivo NSuica.in esta mal formada (linha {L}, coluna {C}): "
    "{what}\n",
    "expected": "esperava {what}, encontrou {what}.",
    "out_of_range": "numero fora do intervalo de -2147483648 a 2147483647.",
    "look_alike": "o caractere U+{X} ({what}, parecido com {what})",
    "invisible_look_alike": "o caractere U+{X} ({what}, invisivel)",
    "more_malformed": "E mais {N} entradas mal formadas, a primeira na linha {L}.\n",
    "one_more_malformed": "E mais uma entrada mal formada, na linha {L}.\n",
    "not_text": "O Arquivo NSuica.in nao e texto: e {what}; salve-o como texto, cada entrada como "
    "7, 10-25,3-4,12,100-140 (com virgulas, nao ';').\n",
    "too_many": "O Arquivo NSuica.in tem mais de 733 entradas.\n",
    "utf16": "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n",
    "utf32": "O Arquivo NSuica.in esta em UTF-32; salve-o como texto ASCII ou UTF-8.\n",
    "unreadable": "O Arquivo NSuica.in nao pode ser lido.\n",
    "unwritable": "Erro ao escrever na saida padrao.\n",
}
