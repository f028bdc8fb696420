#include "scheduler/classQMTaskSchedulerFileUtils.h"

#include "lib/QMException.h"
#include "lib/classZQStringUtil.h"
#include "platform/association.h"
#include "platform/files.h"
#include "platform/process.h"
#include "scheduler/classQMTaskSchedulerStringUtils.h"

#include <filesystem>

namespace {

struct TLaunch {
    std::string Command;
    // The command is the file itself, to be quoted as one program path.
    bool IsProgram = false;
};

// The file is checked relative to the scheduler's current folder but started
// from the scheduler's own folder, and a bare name would be looked up in PATH:
// a relative name is made absolute so that the file checked is the file used.
std::string Absolute(const std::string& name) {
    if (name.empty() || name.front() == '/')
        return name;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(name, ec);
    return ec ? name : full.lexically_normal().string();
}

TLaunch DecideLaunch(const std::string& fileName) {
    const std::string name = Absolute(TZQStringUtil::Trim(fileName));
    const std::string ext = TQMTaskSchedulerFileUtils::ExtractLowerExtension(name);
    // Programs on this system are files one may execute, with or without an
    // extension; the classic program extensions keep counting as well. A
    // script or binary without its execute bit is a program too: its start
    // fails with EACCES and is reported, where its document association
    // would open it in an editor and call that a run.
    if (platform::IsExecutableFile(name) || platform::HasProgramFormat(name))
        return {name, true};
    if (ext.empty())
        return {};
    if (ext == ".exe" || ext == ".com" || ext == ".bat")
        return {name, true};
    std::string command = TQMTaskSchedulerFileUtils::GetAssociationCommand(ext);
    if (command.empty())
        return {};
    if (command.find("%1") != std::string::npos) {
        TQMTaskSchedulerStringUtils::ReplaceAll(command, "%1",
                                                TQMTaskSchedulerFileUtils::GetShortPath(name));
        return {command, false};
    }
    return {command + " " + platform::QuoteArgument(name), false};
}

} // namespace

bool TQMTaskSchedulerFileUtils::RunProgram(const std::string& fileName,
                                           const std::string& parameters, bool minimized,
                                           bool wait) {
    (void)minimized;
    CheckProgramFile(fileName);
    const std::string commandLine = GetCommandLine(fileName, parameters);
    if (commandLine.empty())
        return false;
    const int error = platform::StartProcess(commandLine, WorkingFolder(), wait);
    if (error != 0)
        RaiseStartError(fileName, error);
    return true;
}

TQMTaskSchedulerFileUtils::TLaunchPlan
TQMTaskSchedulerFileUtils::PlanLaunch(const std::string& fileName, const std::string& parameters) {
    CheckProgramFile(fileName);
    const TLaunch launch = DecideLaunch(fileName);
    TLaunchPlan plan;
    if (launch.Command.empty())
        return plan;
    plan.IsProgram = launch.IsProgram;
    if (launch.IsProgram) {
        // The blank stays also without parameters; the splitter ignores it.
        plan.CommandLine = platform::QuoteArgument(launch.Command) + " " + parameters;
        return plan;
    }
    // An associated command already names its program and the document; the
    // parameters follow behind them.
    plan.CommandLine = launch.Command + " " + parameters;
    const std::vector<std::string> args = platform::SplitCommandLine(launch.Command);
    if (!args.empty())
        plan.Application = std::filesystem::path(args.front()).filename().string();
    return plan;
}

void TQMTaskSchedulerFileUtils::CheckProgramFile(const std::string& fileName) {
    if (fileName.empty())
        throw Exception("Filename empty.");
    if (!platform::FileExists(fileName))
        throw Exception("File not found: " + fileName);
}

std::string TQMTaskSchedulerFileUtils::GetLaunchCommand(const std::string& fileName) {
    return DecideLaunch(fileName).Command;
}

std::string TQMTaskSchedulerFileUtils::GetAssociationCommand(const std::string& extension) {
    const platform::Association association = platform::FindAssociation(extension);
    if (association.Command.empty() || !association.NeedsTerminal)
        return association.Command;
    // A console program started without a terminal ends at once; without a
    // terminal to run it in, nothing can open the document.
    const std::string terminal = platform::TerminalProgram();
    if (terminal.empty())
        return {};
    return platform::QuoteArgument(terminal) + " -e " + association.Command;
}

std::string TQMTaskSchedulerFileUtils::GetShortPath(const std::string& path) {
    if (!platform::FileExists(path) && !platform::DirectoryExists(path))
        throw Exception("Pad: " + path + " bestaat niet");
    return platform::QuoteArgument(path);
}

std::string TQMTaskSchedulerFileUtils::GetCommandLine(const std::string& fileName,
                                                      const std::string& parameters) {
    const TLaunch launch = DecideLaunch(fileName);
    if (launch.Command.empty())
        return {};
    // The blank stays also without parameters; the splitter ignores it.
    if (launch.IsProgram)
        return platform::QuoteArgument(launch.Command) + " " + parameters;
    return launch.Command + " " + parameters;
}

std::string TQMTaskSchedulerFileUtils::WorkingFolder() {
    return platform::ProgramFolder();
}

std::string TQMTaskSchedulerFileUtils::CreateProcessErrorText(const std::string& fileName,
                                                              int errorCode) {
    return "Can not create process: \r" + fileName + ".\rLastError = " + std::to_string(errorCode);
}

void TQMTaskSchedulerFileUtils::RaiseStartError(const std::string& fileName, int errorCode) {
    // The error number of a script whose interpreter is missing is that of
    // a missing file, although the script is there.
    const std::string interpreter = platform::MissingInterpreter(Absolute(fileName));
    throw EStartError(CreateProcessErrorText(fileName, errorCode),
                      interpreter.empty() ? std::string()
                                          : "interpreter not found: " + interpreter);
}

std::string TQMTaskSchedulerFileUtils::ExtractLowerExtension(const std::string& fileName) {
    const std::size_t dot = fileName.find_last_of('.');
    const std::size_t slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return TZQStringUtil::LowerCase(fileName.substr(dot));
}
