// A plain, slow model of the conversion and of the text-mode file rules, used
// only by the tests. Each function carries out the rules one by one, in the
// order they are stated, over std::string, so that the fast code in src/ can
// be compared with it on many inputs. Nothing here is built into the program.
#ifndef PLAINWRIT_TESTS_PLAIN_RULES_H
#define PLAINWRIT_TESTS_PLAIN_RULES_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace plain {

// The entity table in its fixed order: (name, code) for rows 1 to 196.
const std::vector<std::pair<std::string, unsigned char>>& entityTable();

// The entity decoder. The text counts up to its first NUL.
std::string decode(std::string text);

// The markup filter followed by the entity decoder. The input counts up to
// its first NUL.
std::string filter(const std::string& input);

struct TextRead {
    std::string delivered;  // the bytes a text-mode read hands over
    bool truncated;         // more than `limit` bytes would have been delivered
};

// Reading a file in text mode with a read limit of `limit` delivered bytes.
TextRead readText(const std::string& raw, std::size_t limit);

// Writing `text` to a file in text mode: the bytes that reach the file.
std::string writeText(const std::string& text);

struct Run {
    std::string file;  // the bytes of the output file
    bool warned;       // the input was cut at the limit
};

// A whole successful run with a read limit of `limit`: the text-mode read,
// the text up to its first NUL, the filter and decoder, the text-mode write.
Run convert(const std::string& raw, std::size_t limit);

}  // namespace plain

#endif
