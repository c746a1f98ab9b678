#pragma once

#include "AddressPlan.h"
#include "PasswordSource.h"
#include "SearchRound.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// corvanectl's verbs, options and exit codes.

enum class Verb { Adapters, Search, Set, Reboot, FactoryReset, Apply, Watch };
enum class OutputFormat { Table, Json, Jsonl, Csv };

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1, // a device failed, or a MAC was not found
    kExitUsage = 2,
    kExitUnavailable = 3, // the reply port or the adapter cannot be had
};

struct CtlOptions
{
    Verb verb = Verb::Search;
    std::optional<QString> adapter; // a name, an IPv4 address, or "all"
    SearchRound::Families families;
    int waitMs = 3000;
    OutputFormat format = OutputFormat::Table;
    QStringList macs;            // set: one; reboot, factory-reset: one or more (a MAC, or an ONVIF endpoint)
    QString planPath;            // apply
    PlanRow settings;            // set: the settings given (its error is never set)
    std::optional<QString> user; // search: ONVIF devices' settings are read with it
    PasswordRequest password;
    bool dryRun = false;
    bool hard = false;  // factory-reset: ONVIF devices lose their addressing too
    bool force = false; // set, apply: send even to a device that has the settings already
    bool verify = true;
    int waitBackSeconds = 0; // reboot, factory-reset: wait until the device answers again
    int everySeconds = 15;
    bool verbose = false; // the engine's diagnostics on standard error
};

// Either options to run, or what to print and the code to exit with (help, version, usage
// errors).
struct ParsedCommandLine
{
    std::optional<CtlOptions> options;
    int exitCode = kExitOk;
    QByteArray standardOutput;
    QByteArray standardError;
};

ParsedCommandLine ParseCommandLine(const QStringList &arguments);
