#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// One function per fuzz target. Each checks properties that must hold for
// every input and aborts when one does not, so the fuzzer reports the input
// and the replay test fails on it.
namespace fuzz {
void replyReader(const uint8_t *data, size_t size);
void headerText(const uint8_t *data, size_t size);
void ruleFile(const uint8_t *data, size_t size);
void hostAddress(const uint8_t *data, size_t size);
void messageRecord(const uint8_t *data, size_t size);
void oauth2Replies(const uint8_t *data, size_t size);
} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
