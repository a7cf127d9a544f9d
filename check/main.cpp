// potencor-check: checks students' protocol files against the field model.
#include "check/cli.h"
#ifdef POTENCOR_CHECK_PLOT
#include "check/plot.h"
#endif
#include "core/platform.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const potencor::platform::Console console; // until the last line is out
    const char* noColor = std::getenv("NO_COLOR");
    const bool colour = console.colour() && !(noColor && *noColor);
    std::vector<std::string> args = potencor::platform::arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& arg : args)
        utf8Argv.push_back(arg.data());
    utf8Argv.push_back(nullptr);
#ifdef POTENCOR_CHECK_PLOT
    potencor::check::ChartPlotter plotter; // Qt lives as long as this
    const potencor::check::Plotter plot = std::ref(plotter);
#else
    const potencor::check::Plotter plot;
#endif
    return potencor::check::run(static_cast<int>(args.size()), utf8Argv.data(), std::cout, std::cerr, plot, colour);
}
