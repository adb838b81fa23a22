// Writes the seed corpus of the device-text harness, in its input form: per entry a type byte,
// three names (a length byte, then one byte per character of the harness's alphabet) and three
// number bytes. The lists are the monitor's usual ones: a card's crossbar inputs, a camera, a
// graph file and the DVD entry, in plain, Korean and longer spellings.
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"

namespace {

// Characters by their place in the harness's alphabet.
enum : char { A = 0, b = 1, one = 2, blank = 3, at = 4, ka = 9, camera = 10, slash = 15 };

std::string Name(std::initializer_list<char> chars)
{
    std::string s(1, static_cast<char>(chars.size()));
    s.append(chars);
    return s;
}

std::string Entry(char type, const std::string& source, const std::string& connector, const std::string& display, char kind)
{
    return std::string(1, type) + source + connector + display + std::string{kind, 1, 2};
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const std::string card = Name({A, b, blank, one});
    std::string list;
    for (char kind = 0; kind < 4; ++kind)
        list += Entry(0, card, Name({A, b}), Name({A, b, blank, one, blank, A}), kind);
    list += Entry(1, Name({ka, ka, blank, b}), Name({}), Name({ka, ka, blank, b}), 0);
    list += Entry(2, Name({slash, A, slash, b}), Name({}), Name({}), 0);
    list += Entry(3, Name({A, A, A}), Name({}), Name({b, b}), 0);
    bool ok = fuzz::SaveSeed(folder, "usual", list);
    ok &= fuzz::SaveSeed(folder, "names-with-at", Entry(0, Name({A, at}), Name({at, b}), Name({A, at, at, b}), 1));
    std::string wide;
    for (int i = 0; i < 12; ++i)
        wide += Entry(1, Name({camera, camera, ka, A, camera, camera, camera, ka}), Name({}), Name({camera, ka, camera, ka}), 0);
    ok &= fuzz::SaveSeed(folder, "beyond-the-plane", wide);
    return ok ? 0 : 1;
}
