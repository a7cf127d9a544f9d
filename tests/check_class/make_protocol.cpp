// Writes a protocol as the program makes it, for the checker's class tests:
// whole-pixel clicks through the program's own calibration and Session.
//   make_protocol SEED POINTS [,]   random clicks over the plot, a comma as
//                                   decimal separator if asked
// Lines end in CR LF, UTF-8 without a mark.
#include "tests/check/session.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_protocol SEED POINTS [,]\n");
        return 2;
    }
    std::mt19937 rng(static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)));
    const long points = std::strtol(argv[2], nullptr, 10);
    potencor::test::Student s;
    if (argc > 3 && std::string(argv[3]) == ",")
        s.separator = U',';
    // The plot's pixels, as far as the window's corner is concerned.
    std::uniform_int_distribution<int> px(35, 997), py(33, 710);
    for (long i = 0; i < points; ++i)
        s.clickPx(px(rng), py(rng));
    const std::string text = s.text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
