/* Converts an HTML file in memory and writes the bytes the plainwrit
   program would write for it (CR LF line ends) to standard output:

       convert page.html > page.txt

   Copyright (c) 2026 The Plainwrit developers. MIT licence. */
#include <plainwrit.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    FILE *in;
    char *html, *written;
    size_t size = 0, got, written_size, room;
    plainwrit_status status;

    if (argc != 2 || (in = fopen(argv[1], "rb")) == NULL) {
        fprintf(stderr, "usage: convert <input-htmlfile>\n");
        return 2;
    }
    /* Read the whole file; the in-memory calls have no read limit. */
    html = NULL;
    do {
        char *grown = realloc(html, size + 65536);
        if (grown == NULL) return 4;
        html = grown;
        got = fread(html + size, 1, 65536, in);
        size += got;
    } while (got == 65536);
    fclose(in);

    room = plainwrit_stored_room(size);
    written = malloc(room);
    if (written == NULL) return 4;
    status = plainwrit_convert_stored(html, size, written, room, &written_size);
    if (status != PLAINWRIT_OK) {
        fprintf(stderr, "%s\n", plainwrit_status_message(status));
        return plainwrit_exit_code(status);
    }
    fwrite(written, 1, written_size, stdout);
    free(html);
    free(written);
    return 0;
}
