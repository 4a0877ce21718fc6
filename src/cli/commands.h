// The subcommands of the `qelv` tool. Each takes its own arguments (without the subcommand
// name), prints its result to `out` and its diagnostics to `err`, and returns the exit code.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace qelv::cli {

using Arguments = std::vector<std::string>;

// The folder of the running program, where the bundled files lie.
std::filesystem::path programFolder();

int runConfigCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runNameCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runRepairCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runDemoCardCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runWyfsCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runScanCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runDrivesCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runSettingsCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runStorageInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runTelemetryCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runEventsCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runTripsCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runExportCommand(const Arguments& args, std::ostream& out, std::ostream& err);
int runPlayCommand(const Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace qelv::cli
