// The "Scrambled=01" text form: a marker, a key byte and the text XOR-ed with a
// position-dependent key. It hides values from casual reading, nothing more.
#pragma once
#include <cstdint>
#include <string>

inline constexpr char kScrambleMarker[] = "Scrambled=01";

// Returns the plain text; text without the marker comes back unchanged, and so does
// the bare marker (it carries no key byte).
std::string Unscramble(const std::string& text);

// Scrambles with the given key byte (33..122). Empty text and text that already
// carries the marker come back unchanged.
std::string Scramble(const std::string& text, uint8_t key);
// Same, with a random key byte.
std::string Scramble(const std::string& text);
