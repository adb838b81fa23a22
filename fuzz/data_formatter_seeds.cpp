// Writes the seed corpus of the display-mask harness: value and mask pairs (NUL between) of the
// kinds the clinic's screens show: dates, times, weekdays, numbers, sex codes and hidden text.
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const char* const pairs[][2] = {
        {"20240105", "yyyy-mm-dd"},       {"202401051430", "hh:nn h3"}, {"20240105", "m1 d, yyyy w3"},
        {"1234567.891", "#,###.##"},      {"-42", "0000"},              {"1", "x3"},
        {"8001011234567", "??????-*******"}, {"", "^yyyy-mm-dd"},       {"20230229", "w2 w1 m2"},
    };
    bool ok = true;
    int n = 0;
    for (const auto& p : pairs)
        ok &= fuzz::SaveSeed(folder, "pair-" + std::to_string(n++), std::string(p[0]) + '\0' + p[1]);
    return ok ? 0 : 1;
}
