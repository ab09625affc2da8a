// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/product.h"
#include "core/temp_files.h"

namespace carillon::cli {
namespace {

using Registrar = void (*)(CLI::App&, CliIo&);

// One entry per subcommand; the same table drives dispatch and help.
constexpr Registrar kCommands[] = {
    &AddInfoCommand,   &AddRelocateCommand, &AddProbeCommand, &AddPatchCommand,
    &AddExportCommand, &AddCheckCommand,    &AddApplyCommand, &AddDiffCommand,
};

// `text` escaped for a terminal line by line: the line ends stay.
std::string EscapeLines(const std::string& text) {
    std::string out;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        out += EscapeForTerminal(std::string_view(text).substr(from, stop - from));
        if (end == std::string::npos) {
            break;
        }
        out += '\n';
        from = end + 1;
    }
    return out;
}

int Run(CLI::App& app, int argc, const char* const* argv, CliIo& io) {
    std::ostream& out = io.out;
    std::ostream& err = io.err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? 0 : 2;
    } catch (const FileError& e) {
        err << "carillon-cli: " << EscapeForTerminal(e.what());
        if (e.code() == CarillonErrc::already_exists) {
            err << " (use --force to replace it)";
        }
        err << '\n';
        return 1;
    } catch (const std::exception& e) {
        // Messages carry paths and names: shown without raw control bytes.
        err << "carillon-cli: " << EscapeForTerminal(e.what()) << '\n';
        return 1;
    } catch (...) {
        err << "carillon-cli: unexpected failure\n";
        return 1;
    }
    // A result that did not reach standard output (a full disk, a closed pipe, a non-blocking
    // pipe that is full) is a failure; the files written are then named here.
    errno = 0;
    out.flush();
    if (!out) {
        const int error = errno;
        err << "carillon-cli: standard output: "
            << (error != 0 ? std::strerror(error) : "write failed");
        if (const std::vector<std::string> written = WrittenFiles(); !written.empty()) {
            err << "; " << WrittenFilesClause(written);
        }
        err << '\n';
        return 1;
    }
    return io.exitCode;
}

}  // namespace

std::string WrittenFilesClause(const std::vector<std::string>& written) {
    if (written.empty()) {
        return "no file was written";
    }
    std::string text;
    for (std::size_t i = 0; i < written.size(); ++i) {
        text += (i == 0 ? "these files were written: " : ", ") + EscapeForTerminal(written[i]);
    }
    return text;
}

CLI::Validator NonEmpty() {
    return CLI::Validator(
        [](std::string& value) {
            return value.empty() ? std::string("empty value") : std::string();
        },
        "NONEMPTY");
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CliIo io{out, err};
    CLI::App app{
        "Carillon: replace the melodies, pictures and animations of a Siemens A52 "
        "memory image",
        "carillon-cli"};
    app.set_version_flag("--version", std::string(kVersionLine) + "\n" + std::string(kLicenseLine));
    app.require_subcommand(1);
    for (Registrar add : kCommands) {
        add(app, io);
    }
    // Argument errors quote the arguments: shown without raw control bytes either.
    app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
        return EscapeLines(CLI::FailureMessage::simple(failed, e));
    });
    ForgetWrittenFiles();
    const int code = Run(app, argc, argv, io);
    // Every file written is named now, on standard output or standard error.
    ForgetWrittenFiles();
    return code;
}

}  // namespace carillon::cli
