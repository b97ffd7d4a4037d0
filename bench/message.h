// The benchmark's message: realistic mixed Chinese and English text in code
// page 936, the same bytes on every machine and every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// splitmix64: the same message on every machine and every run.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
    unsigned Between(unsigned lo, unsigned hi) { return lo + Below(hi - lo + 1); }

private:
    std::uint64_t state_;
};

struct Composition {
    std::size_t chinese = 0;  // double-byte characters (punctuation included)
    std::size_t ascii = 0;    // single-byte characters (CR and LF included)
    std::size_t lineBreaks = 0;
};

// A message of exactly `size` bytes of code page 936 that reads like mixed
// Chinese and English prose: runs of Chinese sentences (the 3,755 most common
// characters, rows B0..D7 of the double-byte table, with full-width comma and
// full stop), then runs of English words with spaces, the odd quoted word
// (escaped in the page) and sentence ends, and CR LF after about one sentence
// in four. Runs are picked so that about 70 % of the characters are Chinese.
inline std::string MakeMessage(std::size_t size, Composition* composition = nullptr) {
    Random random(0x446F7276616E65u ^ size);
    Composition c;
    std::string text;
    text.reserve(size);
    auto room = [&] { return size - text.size(); };
    auto ascii = [&](char ch) {
        if (room() < 1) return;
        text.push_back(ch);
        ++c.ascii;
    };
    auto wide = [&](unsigned lead, unsigned trail) {
        if (room() < 2) return ascii(' ');
        text.push_back(static_cast<char>(lead));
        text.push_back(static_cast<char>(trail));
        ++c.chinese;
    };
    auto sentenceEnd = [&] {
        if (random.Below(4) == 0 && room() >= 2) {
            ascii('\r');
            ascii('\n');
            ++c.lineBreaks;
        }
    };
    while (room() > 0) {
        if (c.chinese * 30 <= c.ascii * 70) {
            const unsigned sentences = random.Between(1, 3);
            for (unsigned s = 0; s < sentences; ++s) {
                const unsigned count = random.Between(6, 30);
                for (unsigned k = 0; k < count; ++k) {
                    const unsigned lead = random.Between(0xB0, 0xD7);
                    wide(lead, random.Between(0xA1, lead == 0xD7 ? 0xF9 : 0xFE));
                    if (k + 1 < count && random.Below(12) == 0) wide(0xA3, 0xAC);  // ，
                }
                wide(0xA1, 0xA3);  // 。
                sentenceEnd();
            }
        } else {
            const unsigned words = random.Between(1, 12);
            for (unsigned w = 0; w < words; ++w) {
                const bool quoted = random.Below(40) == 0;
                if (quoted) ascii('"');
                const unsigned letters = random.Between(1, 9);
                for (unsigned k = 0; k < letters; ++k) {
                    const char first = w == 0 && k == 0 ? 'A' : 'a';
                    ascii(static_cast<char>(first + random.Below(26)));
                }
                if (quoted) ascii('"');
                if (w + 1 < words) ascii(random.Below(10) == 0 ? ',' : ' ');
            }
            ascii('.');
            if (random.Below(4) == 0 && room() >= 2) {
                sentenceEnd();
            } else {
                ascii(' ');
            }
        }
    }
    if (composition) *composition = c;
    return text;
}

}  // namespace bench
