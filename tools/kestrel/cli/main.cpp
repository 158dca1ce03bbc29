// SPDX-License-Identifier: Apache-2.0
// kestrel: run frames through the plug-in as a host does, inspect the tone
// mapping the library makes from HDR10+ metadata, and check preset files.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#ifdef KESTREL_HAVE_CONTAINERS
#include "container/hevc_track.h"
#endif
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/table_plugin.h"
#include "tools/kestrel/host/plugin_loader.h"

using namespace kestrel::tool;

namespace {

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

bool isNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0';
}

std::string subcommandNames(const CLI::App& app) {
    std::string names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        names += (names.empty() ? "" : ", ") + sub->get_name();
    }
    return names;
}

// The first word of the command line that names no subcommand or option
// where it stands, as a message; empty when there is none. CLI11 on its own
// would report "a subcommand is required" or a file that does not exist.
std::string unknownWord(CLI::App& app, int argc, char** argv) {
    CLI::App* current = &app;
    std::string path = "kestrel";
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() > 1 && arg[0] == '-' && !isNumber(arg)) {
            const std::string name = arg.substr(0, arg.find('='));
            if (current->get_option_no_throw(name) == nullptr)
                return path + ": unknown option " + name;
            continue;
        }
        const bool choosing =
            !current->get_subcommands([](const CLI::App*) { return true; }).empty();
        if (!choosing) continue;  // an operand or an option's value
        CLI::App* sub = nullptr;
        for (CLI::App* candidate : current->get_subcommands([](const CLI::App*) { return true; }))
            if (candidate->check_name(arg)) sub = candidate;
        if (sub == nullptr) {
            return path + ": unknown subcommand \"" + arg +
                   "\" (known: " + subcommandNames(*current) + ")";
        }
        current = sub;
        path += " " + arg;
    }
    return "";
}

// The command the command line chose, with its words ("kestrel preset
// check") in `path`, so that the parser's own messages name the command they
// are about: "kestrel: metadata is required" would read as if the
// `metadata` command were meant.
const CLI::App* chosenCommand(CLI::App& app, int argc, char** argv, std::string& path) {
    CLI::App* current = &app;
    path = "kestrel";
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.empty() || arg[0] == '-') continue;
        for (CLI::App* sub : current->get_subcommands([](const CLI::App*) { return true; })) {
            if (sub->check_name(arg)) {
                current = sub;
                path += " " + arg;
                break;
            }
        }
    }
    return current;
}

// What a command writes to standard output is its result: a run that could
// not write it (a full disk, a closed pipe) failed, whatever the command
// thought. A command that failed has said why already.
int checkStandardOutput(const std::string& path, int status) {
    errno = 0;
    std::cout.flush();
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout;
    if (!failed || status != kExitOk) return status;
    // The stream drops what it could not write, so the flush may find
    // nothing to fail on: one more byte asks the system for the reason.
    if (errno == 0) {
        const ssize_t probe = write(STDOUT_FILENO, "\n", 1);
        static_cast<void>(probe);
    }
    std::fprintf(stderr, "%s: standard output: cannot write: %s\n", path.c_str(),
                 errno != 0 ? std::strerror(errno) : "write failed");
    return kExitFailed;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s\nRun with --help for more information.\n", message.c_str());
    return kExitUsage;
}

int printVersion() {
    std::printf("kestrel %s\n", KESTREL_VERSION);
    const std::string path = defaultPluginPath();
    if (const kestrel::Result<PluginBuild> build = readPluginBuild(path)) {
        std::printf("plug-in: %s, version %s\n", path.c_str(), build->version.c_str());
        std::printf("%s\n", compiledPresetLine(path).c_str());
    } else {
        std::printf("plug-in: %s\n", build.status().message().c_str());
    }
    std::printf("lut, report: tables from %s\n", kDefaultTablesText);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Line-buffered, so that the tool's lines and those of the library,
    // which share the descriptors, come out in the order they were written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
#ifdef KESTREL_HAVE_CONTAINERS
    // The tool owns its process: the demuxer's own log stays quiet, and what
    // it would say about a damaged file comes back as the reader's error.
    kestrel::container::quietDemuxerLog();
#endif

    CLI::App app{
        "kestrel: drive the HDR conversion plug-in as a host does, inspect the tone mapping\n"
        "it makes from HDR10+ metadata, and check preset files."};
    app.require_subcommand(0, 1);
    app.footer(kExitStatuses);
    bool version = false;
    app.add_flag("--version", version,
                 "Print the version, whether the plug-in beside the tool has a preset "
                 "compiled in, and what computes the tables of lut and report");

    std::vector<std::unique_ptr<Command>> commands = commandTable();
    std::vector<CLI::App*> defined;
    for (const std::unique_ptr<Command>& command : commands)
        defined.push_back(command->define(app));

    const std::string unknown = unknownWord(app, argc, argv);
    if (!unknown.empty()) return usageError(unknown);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string path;
        const CLI::App* command = chosenCommand(app, argc, argv, path);
        if (command != &app &&
            !command->get_subcommands([](const CLI::App*) { return true; }).empty()) {
            return usageError(
                path + ": a subcommand is required (known: " + subcommandNames(*command) + ")");
        }
        return usageError(path + ": " + e.what());
    }
    if (version) return printVersion();

    for (size_t i = 0; i < commands.size(); i++) {
        if (!*defined[i]) continue;
        const std::string usage = commands[i]->check();
        if (!usage.empty()) return usageError(usage);
        try {
            std::string path;
            chosenCommand(app, argc, argv, path);
            return checkStandardOutput(path, commands[i]->run());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kestrel: %s\n", e.what());
            return kExitFailed;
        }
    }
    return usageError("kestrel: a subcommand is required (known: " + subcommandNames(app) + ")");
}
