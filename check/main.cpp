// potencor-check: checks students' protocol files against the field model.
#include "check/cli.h"
#ifdef POTENCOR_CHECK_PLOT
#include "check/plot.h"
#endif

#include <cstdlib>
#include <functional>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const char* noColor = std::getenv("NO_COLOR");
    const bool colour = isatty(STDOUT_FILENO) && !(noColor && *noColor);
#ifdef POTENCOR_CHECK_PLOT
    potencor::check::ChartPlotter plotter; // Qt lives as long as this
    const potencor::check::Plotter plot = std::ref(plotter);
#else
    const potencor::check::Plotter plot;
#endif
    return potencor::check::run(argc, argv, std::cout, std::cerr, plot, colour);
}
