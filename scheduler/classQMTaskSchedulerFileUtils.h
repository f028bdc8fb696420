#pragma once

#include <string>

// The program launcher: starts a task's program or document as a new process.
// Never instantiated. What to start and how the command line reads is decided
// here as plain string logic; platform/process.h splits and starts it.
class TQMTaskSchedulerFileUtils {
public:
    TQMTaskSchedulerFileUtils() = delete;

    // Starts the file with the parameters in the scheduler's own folder. The
    // minimised option has no meaning on this desktop and is ignored; with
    // wait the call returns when the program has ended.
    // False when nothing was started because nothing opens the file (no
    // extension and not a program, or no associated program).
    // Raises "Filename empty.", "File not found: " + file name, "Pad: ...
    // bestaat niet" and "Can not create process: " CR file "." CR
    // "LastError = " errno.
    [[nodiscard]] static bool RunProgram(const std::string& fileName, const std::string& parameters,
                                         bool minimized, bool wait);

    // What starting the file means: the command line (empty when nothing
    // opens the file), whether it is the program itself, and for a document
    // the application that opens it. Raises as RunProgram does before a start.
    struct TLaunchPlan {
        std::string CommandLine;
        bool IsProgram = false;
        std::string Application;
    };
    static TLaunchPlan PlanLaunch(const std::string& fileName, const std::string& parameters);

    // Raises unless the file name names an existing file (not a folder).
    static void CheckProgramFile(const std::string& fileName);

    // The command to start for the file, empty when nothing is to be started:
    // the trimmed name itself for a program (an executable file, a file that
    // starts with "#!" or is an ELF binary, executable or not, or the
    // extensions .exe .com .bat), else the associated open command with the
    // document put into it.
    static std::string GetLaunchCommand(const std::string& fileName);

    // The open command associated with a lower-case extension with its dot
    // ("%1" standing for the document), or empty. An application that needs
    // a terminal is run by the desktop's terminal ("-e" and its command);
    // without a terminal the result is empty.
    static std::string GetAssociationCommand(const std::string& extension);

    // The form of an existing path that the command splitter takes as one
    // argument: the path in double quotes. Raises "Pad: " + path +
    // " bestaat niet" when it names neither file nor folder.
    static std::string GetShortPath(const std::string& path);

    // The whole command line for the file and parameters, empty when nothing
    // is to be started: a program quoted, a blank and the parameters; an
    // associated command (program and document), a blank and the parameters.
    static std::string GetCommandLine(const std::string& fileName, const std::string& parameters);

    // The working folder of every started program: the scheduler's own
    // folder, ending in '/'.
    static std::string WorkingFolder();

    // The message of a refused process creation.
    static std::string CreateProcessErrorText(const std::string& fileName, int errorCode);
    // Raises EStartError with CreateProcessErrorText; its detail names the
    // interpreter of a script when that is what is missing.
    [[noreturn]] static void RaiseStartError(const std::string& fileName, int errorCode);

    // From the last '.' of the last path component, including it, with A-Z
    // lower-cased; empty when that component has no dot.
    static std::string ExtractLowerExtension(const std::string& fileName);
};
