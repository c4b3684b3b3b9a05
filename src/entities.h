// Entity decoder: replaces the character references of a fixed table (the
// markup escapes, the non-breaking space and the Latin-1 characters 161 to 255
// by number and by name) with the single byte each stands for. Works in place
// and one level deep: a byte it writes is never looked at again.
#ifndef PLAINWRIT_ENTITIES_H
#define PLAINWRIT_ENTITIES_H

#include <cstddef>

struct EntityEntry {
    unsigned char code;  // the byte that replaces the reference
    const char* name;    // the whole reference, "&" to ";" included
};

constexpr std::size_t kEntityCount = 196;
extern const EntityEntry kEntityTable[kEntityCount];

// Rewrites the NUL-terminated `text` in place; it never grows.
void decodeEntities(char* text);

// The same for a text of known length (its terminator at text[length]);
// returns the new length and keeps the text terminated.
std::size_t decodeEntities(char* text, std::size_t length);

#endif
