/* Plainwrit as a library: the conversion the plainwrit program makes, in
   memory or from file to file, from C99, C++ or any language that can call C.

   Every call is safe from many threads at once; nothing is printed and no
   state is kept between calls. Functions use the C calling convention
   (cdecl on 32-bit Windows). No C++ exception ever leaves a call.

   The full description, with an example, is the manual page plainwrit(3). */
#ifndef PLAINWRIT_H
#define PLAINWRIT_H

#include <stddef.h>

#include "plainwrit_version.h"

/* PLAINWRIT_API marks the exported functions. A program that links the static
   library defines PLAINWRIT_STATIC before including this header on Windows;
   the library's own build defines PLAINWRIT_BUILDING_LIBRARY. */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(PLAINWRIT_STATIC)
#    define PLAINWRIT_API
#  elif defined(PLAINWRIT_BUILDING_LIBRARY)
#    define PLAINWRIT_API __declspec(dllexport)
#  else
#    define PLAINWRIT_API __declspec(dllimport)
#  endif
#  define PLAINWRIT_CALL __cdecl
#else
#  if defined(__GNUC__) && defined(PLAINWRIT_BUILDING_LIBRARY)
#    define PLAINWRIT_API __attribute__((visibility("default")))
#  else
#    define PLAINWRIT_API
#  endif
#  define PLAINWRIT_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The most input the file-to-file calls convert, as the program does: bytes
   counted after CR LF pairs are joined. The in-memory calls have no limit. */
#define PLAINWRIT_READ_LIMIT 3145728

/* What plainwrit_convert returns for a null `text`, or a null `html` with a
   nonzero length. */
#define PLAINWRIT_ERROR ((size_t)-1)

/* Every outcome of a conversion. The values are fixed: new ones are only
   ever added at the end. */
typedef enum plainwrit_status {
    PLAINWRIT_OK = 0,                 /* converted */
    PLAINWRIT_OK_TRUNCATED = 1,       /* converted, but only the first PLAINWRIT_READ_LIMIT bytes */
    PLAINWRIT_WRONG_ARGUMENTS = 2,    /* the program's only: not exactly two paths */
    PLAINWRIT_CANNOT_OPEN_INPUT = 3,  /* the input is missing, a directory, or unreadable */
    PLAINWRIT_CANNOT_OPEN_OUTPUT = 4, /* the output cannot be created */
    PLAINWRIT_OUTPUT_IS_INPUT = 5,    /* both paths name the same file; it is left untouched */
    PLAINWRIT_CANNOT_READ = 6,        /* reading the input failed */
    PLAINWRIT_CANNOT_WRITE = 7,       /* writing or closing the output failed */
    PLAINWRIT_NO_MEMORY = 8,          /* a buffer could not be obtained */
    PLAINWRIT_INVALID_ARGUMENT = 9,   /* a null pointer where one is not allowed */
    PLAINWRIT_ROOM_TOO_SMALL = 10,    /* the caller's buffer cannot hold the result */
    /* Not a status: makes every int value a valid plainwrit_status in C++
       too, so an unknown value from a caller is answered, not undefined. */
    PLAINWRIT_STATUS_RANGE = 0x7FFFFFFF
} plainwrit_status;

/* The version of the library that is running, e.g. "1.0"; it equals
   PLAINWRIT_VERSION_STRING of the header it was built with. */
PLAINWRIT_API const char *PLAINWRIT_CALL plainwrit_version(void);

/* Converts `length` bytes of HTML into plain text, exactly as the program's
   filter and entity decoder do: a NUL byte ends the text. `text` must have
   room for `length` + 1 bytes; it receives the text (LF line ends) and a
   terminating NUL. Returns the text's length. Reads no byte at or past
   html[length]. Linear time, no read limit, no allocation, no state. `html`
   may be null when `length` is 0. Returns PLAINWRIT_ERROR, having written
   nothing, for a null `text`; for a null `html` with a nonzero length it
   writes an empty text and returns PLAINWRIT_ERROR. */
PLAINWRIT_API size_t PLAINWRIT_CALL plainwrit_convert(const char *html, size_t length,
                                                      char *text);

/* The room plainwrit_convert_stored needs for a stored file of `size` bytes
   (twice the size and two bytes), or 0 when that does not fit in a size_t. */
PLAINWRIT_API size_t PLAINWRIT_CALL plainwrit_stored_room(size_t size);

/* The bytes of a stored HTML file to the bytes the program writes for it:
   the text-mode read rules (CR LF read as LF, the first Ctrl-Z ends the
   input), the conversion, and every LF written as CR LF. Equals the
   program's output file for any input within PLAINWRIT_READ_LIMIT; longer
   inputs are converted whole. `written` has `room` bytes, at least
   plainwrit_stored_room(size); all of them may be used as working space.
   On PLAINWRIT_OK, *written_size is the number of bytes of the result, which
   begins at `written` (no NUL is added). Otherwise nothing is written and
   *written_size, when not null, is 0:
     PLAINWRIT_INVALID_ARGUMENT  `written` or `written_size` is null, or
                                 `stored` is null with a nonzero size;
     PLAINWRIT_ROOM_TOO_SMALL    `room` is less than plainwrit_stored_room(size). */
PLAINWRIT_API plainwrit_status PLAINWRIT_CALL plainwrit_convert_stored(const char *stored,
                                                                       size_t size, char *written,
                                                                       size_t room,
                                                                       size_t *written_size);

/* Converts the file at `input_path` into the file at `output_path`, exactly
   as the program does: the read limit, the refusal to write over the input,
   and the output created or emptied. On Windows the paths are UTF-8. Returns
   PLAINWRIT_OK, PLAINWRIT_OK_TRUNCATED, or the status of the failure, and
   PLAINWRIT_INVALID_ARGUMENT for a null path. `truncated`, when not null, is
   set to 1 when the input was cut at the read limit, also when a failure
   followed (the program then prints the warning before the failure's
   message), and to 0 otherwise. */
PLAINWRIT_API plainwrit_status PLAINWRIT_CALL plainwrit_convert_file(const char *input_path,
                                                                     const char *output_path,
                                                                     int *truncated);

#if defined(_WIN32)
/* The same with UTF-16 paths, so that every name Windows can open can be
   given. */
PLAINWRIT_API plainwrit_status PLAINWRIT_CALL plainwrit_convert_file_w(const wchar_t *input_path,
                                                                       const wchar_t *output_path,
                                                                       int *truncated);
#endif

/* A short English text for a status, without paths, e.g. "Could not read
   file"; never null (an unknown value gives "Unknown status"). */
PLAINWRIT_API const char *PLAINWRIT_CALL plainwrit_status_message(plainwrit_status status);

/* The program's exact console line for a status (without a line end), with
   the path it names: "Could not open file out.txt: it is the input file".
   Writes at most `room` bytes, NUL included, like snprintf, and returns the
   line's full length; `line` may be null when `room` is 0. */
PLAINWRIT_API size_t PLAINWRIT_CALL plainwrit_status_line(plainwrit_status status,
                                                          const char *input_path,
                                                          const char *output_path, char *line,
                                                          size_t room);

/* The program's exit code for a status: 0 for the two successes, 2 for
   wrong or invalid arguments and too little room, 3 when a file cannot be
   opened (the same file twice included), 4 when the conversion could not be
   completed; 4 for an unknown value. */
PLAINWRIT_API int PLAINWRIT_CALL plainwrit_exit_code(plainwrit_status status);

#ifdef __cplusplus
}
#endif

#endif
