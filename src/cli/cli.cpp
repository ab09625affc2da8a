#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "core/file_io.h"
#include "core/product.h"

namespace carillon::cli {
namespace {

using Registrar = void (*)(CLI::App&, CliIo&);

// One entry per subcommand; the same table drives dispatch and help.
constexpr Registrar kCommands[] = {
    &AddInfoCommand,   &AddRelocateCommand, &AddProbeCommand, &AddPatchCommand,
    &AddExportCommand, &AddCheckCommand,    &AddApplyCommand, &AddDiffCommand,
};

}  // namespace

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
    // A result that did not reach standard output (a full disk, a closed pipe) is a failure.
    errno = 0;
    out.flush();
    if (!out) {
        err << "carillon-cli: standard output: "
            << (errno != 0 ? std::strerror(errno) : "write failed") << '\n';
        return 1;
    }
    return io.exitCode;
}

}  // namespace carillon::cli
