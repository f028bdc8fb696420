#pragma once

#include <string>

namespace platform {

// How the desktop opens documents of one type.
struct Association {
    // The open command; "%1" stands for the document. Empty when there is none.
    std::string Command;
    // The application's desktop entry says Terminal=true: it runs in a
    // terminal, and started without one it would end at once.
    bool NeedsTerminal = false;
};

// How documents with the given extension (with its leading dot, for example
// ".txt") are opened, from the desktop's file-type associations: the content
// type is guessed from the extension alone and its default application's
// command is returned, with the document field codes (%f %F %u %U) written
// as %1 and the other field codes removed. An empty command when the
// extension has no known type or the type no default application. Looked up
// afresh on every call.
Association FindAssociation(const std::string& extension);

// The desktop's terminal program, which runs the command line that follows
// its "-e" option: on Debian the x-terminal-emulator alternative, looked up
// in PATH. Empty when there is none.
std::string TerminalProgram();

} // namespace platform
