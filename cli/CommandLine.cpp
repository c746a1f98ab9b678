#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
struct VerbInfo
{
    const char *name;
    Verb verb;
    const char *arguments; // shown after the verb in its usage line
    const char *description;
};

constexpr VerbInfo kVerbs[] = {
    {"adapters", Verb::Adapters, "", "List the host's network adapters."},
    {"search", Verb::Search, "", "Find the devices of the three families."},
    {"set", Verb::Set, "MAC", "Change a device's network settings, then check they took."},
    {"reboot", Verb::Reboot, "MAC...", "Reboot vendor-family and ONVIF devices."},
    {"factory-reset", Verb::FactoryReset, "MAC...", "Reset vendor-family and ONVIF devices to factory settings."},
    {"apply", Verb::Apply, "PLAN.csv", "Change many devices from a CSV plan."},
    {"watch", Verb::Watch, "", "Search again and again; print devices found, changed and gone."},
};

QString generalHelp()
{
    QString text = QStringLiteral("Usage: corvanectl VERB [options]\n\n"
                                  "Finds and configures Corvane's network cameras of both families, and ONVIF "
                                  "devices, from a shell.\n\n"
                                  "Verbs:\n");
    for (const VerbInfo &verb : kVerbs)
        text += QStringLiteral("  %1%2\n")
                    .arg(QString::fromLatin1(verb.name).leftJustified(15))
                    .arg(QLatin1String(verb.description));
    text += QStringLiteral("\n'corvanectl VERB --help' shows a verb's options. Exit codes: 0 all done, 1 a device "
                           "failed or was not found, 2 usage error, 3 the reply port or the adapter cannot be had.\n"
                           "Passwords come from --password-file, the variable CORVANE_PASSWORD, or a prompt.\n");
    return text;
}

ParsedCommandLine usageError(const QString &verb, const QString &message)
{
    ParsedCommandLine result;
    result.exitCode = kExitUsage;
    const QString hint = verb.isEmpty() ? QStringLiteral("corvanectl --help")
                                        : QStringLiteral("corvanectl %1 --help").arg(verb);
    result.standardError = QStringLiteral("corvanectl: %1\nTry '%2'.\n").arg(message, hint).toLocal8Bit();
    return result;
}

bool parseInt(const QString &text, int minimum, int maximum, int &value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < minimum || parsed > maximum)
        return false;
    value = parsed;
    return true;
}
} // namespace

ParsedCommandLine ParseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine result;
    const QString first = arguments.value(1);
    if (first.isEmpty() || first == QLatin1String("-h") || first == QLatin1String("--help")
        || first == QLatin1String("help")) {
        if (first.isEmpty())
            return usageError({}, QStringLiteral("no verb given"));
        result.standardOutput = generalHelp().toLocal8Bit();
        return result;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        result.standardOutput =
            QStringLiteral("corvanectl %1\n").arg(QCoreApplication::applicationVersion()).toLocal8Bit();
        return result;
    }
    const VerbInfo *info = nullptr;
    for (const VerbInfo &verb : kVerbs) {
        if (first == QLatin1String(verb.name))
            info = &verb;
    }
    if (!info)
        return usageError({}, QStringLiteral("unknown verb '%1'").arg(first));

    const Verb verb = info->verb;
    const QString verbName = QLatin1String(info->name);
    const bool searches = verb == Verb::Search || verb == Verb::Watch;
    const bool changes = verb == Verb::Set || verb == Verb::Apply;
    const bool needsPassword = changes || verb == Verb::Reboot || verb == Verb::FactoryReset;

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(info->description));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    if (*info->arguments)
        parser.addPositionalArgument(QLatin1String(info->arguments),
                                     QStringLiteral("Device MAC address(es), ONVIF endpoint address(es) (urn:uuid:...) "
                                                    "or plan file."));

    const QCommandLineOption adapter({QStringLiteral("a"), QStringLiteral("adapter")},
                                     searches ? QStringLiteral("Adapter name or IPv4 address, or all.")
                                              : QStringLiteral("Adapter name or IPv4 address."),
                                     QStringLiteral("ADAPTER"));
    const QCommandLineOption family(QStringLiteral("family"), QStringLiteral("own, vendor, onvif or all (default)."),
                                    QStringLiteral("FAMILY"), QStringLiteral("all"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("How long a search collects answers, in ms."),
                                  QStringLiteral("MS"), QStringLiteral("3000"));
    // The first is the default; apply's lines have always been CSV.
    const QString formats = verb == Verb::Watch    ? QStringLiteral("table|jsonl")
                            : verb == Verb::Apply  ? QStringLiteral("csv|json|jsonl")
                            : verb == Verb::Search ? QStringLiteral("table|json|jsonl|csv")
                                                   : QStringLiteral("table|json");
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output format: %1.").arg(formats), QStringLiteral("FORMAT"),
                                    formats.section(QLatin1Char('|'), 0, 0));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User ID (default: the one the device reports)."),
                                  QStringLiteral("U"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral(
                                              "Read the password from FILE's first line; - is standard input."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"), QStringLiteral("Do not search again to check."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Print what would be sent; send nothing."));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Send even to a device whose settings already are the wanted ones."));
    const QCommandLineOption waitBack(QStringLiteral("wait-back"),
                                      QStringLiteral(
                                          "Wait up to S seconds until the device has gone silent and answers "
                                          "a search again."),
                                      QStringLiteral("S"));
    const QCommandLineOption every(QStringLiteral("every"), QStringLiteral("Seconds between searches (default 15)."),
                                   QStringLiteral("S"), QStringLiteral("15"));
    const QCommandLineOption hard(QStringLiteral("hard"),
                                  QStringLiteral("ONVIF devices: reset everything, addressing too (default: soft, "
                                                 "which keeps it)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Show the engine's diagnostics on stderr."));
    struct Setting
    {
        QCommandLineOption option;
        const char *column;
    };
    const Setting settings[] = {
        {QCommandLineOption(QStringLiteral("ip"), QStringLiteral("New IPv4 address."), QStringLiteral("A")), "ip"},
        {QCommandLineOption(QStringLiteral("mask"), QStringLiteral("New subnet mask."), QStringLiteral("M")), "mask"},
        {QCommandLineOption(QStringLiteral("gateway"), QStringLiteral("New gateway."), QStringLiteral("G")), "gateway"},
        {QCommandLineOption(QStringLiteral("dns"), QStringLiteral("New DNS server."), QStringLiteral("D")), "dns"},
        {QCommandLineOption(QStringLiteral("web-port"), QStringLiteral("New web port."), QStringLiteral("P")),
         "web_port"},
    };
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("Get addresses by DHCP."));
    const QCommandLineOption staticAddressing(QStringLiteral("static"), QStringLiteral("Use the static addresses."));

    if (verb != Verb::Adapters)
        parser.addOption(adapter);
    if (verb == Verb::Search || verb == Verb::Watch)
        parser.addOption(family);
    if (verb != Verb::Adapters)
        parser.addOption(wait);
    parser.addOption(output);
    if (verb == Verb::Set) {
        for (const Setting &setting : settings)
            parser.addOption(setting.option);
        parser.addOption(dhcp);
        parser.addOption(staticAddressing);
    }
    if (needsPassword || verb == Verb::Search) {
        parser.addOption(user);
        parser.addOption(passwordFile);
    }
    if (verb == Verb::FactoryReset)
        parser.addOption(hard);
    if (changes) {
        parser.addOption(noVerify);
        parser.addOption(force);
    }
    if (verb == Verb::Reboot || verb == Verb::FactoryReset)
        parser.addOption(waitBack);
    if (verb == Verb::Apply)
        parser.addOption(dryRun);
    if (verb == Verb::Watch)
        parser.addOption(every);
    parser.addOption(verbose);

    QStringList verbArguments = arguments;
    verbArguments.removeAt(1);
    if (!parser.parse(verbArguments))
        return usageError(verbName, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt names the program by its path and knows nothing of verbs.
        QString help = parser.helpText();
        const qsizetype firstLineEnd = help.indexOf(QLatin1Char('\n'));
        help.replace(0, firstLineEnd,
                     QStringLiteral("Usage: corvanectl %1 [options] %2").arg(verbName, QLatin1String(info->arguments)));
        result.standardOutput = help.toLocal8Bit();
        return result;
    }

    CtlOptions options;
    options.verb = verb;
    options.verbose = parser.isSet(verbose);
    const QStringList positional = parser.positionalArguments();
    if (verb == Verb::Set || verb == Verb::Apply) {
        if (positional.size() != 1)
            return usageError(verbName, QStringLiteral("give exactly one %1").arg(QLatin1String(info->arguments)));
    } else if (verb == Verb::Reboot || verb == Verb::FactoryReset) {
        if (positional.isEmpty())
            return usageError(verbName, QStringLiteral("give one or more MAC addresses"));
    } else if (!positional.isEmpty()) {
        return usageError(verbName, QStringLiteral("unexpected argument '%1'").arg(positional.first()));
    }
    if (verb == Verb::Apply)
        options.planPath = positional.value(0);
    else
        options.macs = positional;

    if (verb != Verb::Adapters && parser.isSet(adapter)) {
        options.adapter = parser.value(adapter);
        if (*options.adapter == QLatin1String("all") && !searches)
            return usageError(verbName,
                              QStringLiteral("-a all is for search and watch: changes go through one adapter"));
    }
    if (searches && parser.isSet(family)) {
        const QString value = parser.value(family);
        if (value == QLatin1String("own"))
            options.families = {true, false, false};
        else if (value == QLatin1String("vendor"))
            options.families = {false, true, false};
        else if (value == QLatin1String("onvif"))
            options.families = {false, false, true};
        else if (value != QLatin1String("all"))
            return usageError(verbName,
                              QStringLiteral("--family takes own, vendor, onvif or all, not '%1'").arg(value));
    }
    if (verb != Verb::Adapters && !parseInt(parser.value(wait), 0, 600000, options.waitMs))
        return usageError(verbName, QStringLiteral("--wait takes milliseconds from 0 to 600000"));
    if (verb == Verb::Watch && !parseInt(parser.value(every), 1, 86400, options.everySeconds))
        return usageError(verbName, QStringLiteral("--every takes seconds from 1 to 86400"));
    {
        const QString value = parser.value(output);
        const struct
        {
            const char *name;
            OutputFormat format;
        } known[] = {{"table", OutputFormat::Table},
                     {"json", OutputFormat::Json},
                     {"jsonl", OutputFormat::Jsonl},
                     {"csv", OutputFormat::Csv}};
        bool found = false;
        for (const auto &[name, format] : known) {
            if (value == QLatin1String(name) && formats.split(QLatin1Char('|')).contains(value)) {
                options.format = format;
                found = true;
            }
        }
        if (!found)
            return usageError(verbName, QStringLiteral("-o takes %1, not '%2'").arg(formats, value));
    }
    if (verb == Verb::Set) {
        for (const Setting &setting : settings) {
            if (parser.isSet(setting.option)
                && !SetPlanValue(options.settings, QString::fromLatin1(setting.column), parser.value(setting.option)))
                return usageError(verbName, options.settings.error);
        }
        if (parser.isSet(dhcp) && parser.isSet(staticAddressing))
            return usageError(verbName, QStringLiteral("--dhcp and --static exclude each other"));
        if (parser.isSet(dhcp) || parser.isSet(staticAddressing))
            options.settings.dhcp = parser.isSet(dhcp);
        options.settings.mac = options.macs.value(0);
    }
    if (needsPassword || verb == Verb::Search) {
        if (parser.isSet(user))
            options.user = parser.value(user);
        if (parser.isSet(passwordFile))
            options.password.file = parser.value(passwordFile);
    }
    options.hard = verb == Verb::FactoryReset && parser.isSet(hard);
    options.verify = !(changes && parser.isSet(noVerify));
    options.dryRun = verb == Verb::Apply && parser.isSet(dryRun);
    options.force = changes && parser.isSet(force);
    if ((verb == Verb::Reboot || verb == Verb::FactoryReset) && parser.isSet(waitBack)
        && !parseInt(parser.value(waitBack), 1, 3600, options.waitBackSeconds))
        return usageError(verbName, QStringLiteral("--wait-back takes seconds from 1 to 3600"));
    result.options = options;
    return result;
}
