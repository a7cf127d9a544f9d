#pragma once
// The program's own command line, answered before Qt needs a display: --help
// and --version print and end the program; an option neither the program nor
// Qt knows is an error with a hint. Qt's options are left for Qt.
#include <string>

namespace potencor::app {

struct CommandLine {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int status = 0;     // the exit status when the program ends here
    std::string out;    // for standard output
    std::string err;    // for standard error
};

CommandLine readCommandLine(int argc, const char* const* argv, const char* version);

} // namespace potencor::app
