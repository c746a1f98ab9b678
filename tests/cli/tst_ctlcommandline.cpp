#include "CommandLine.h"
#include "PasswordSource.h"

#include <QCoreApplication>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
ParsedCommandLine parse(const QStringList &arguments)
{
    return ParseCommandLine(QStringList{u"corvanectl"_s} + arguments);
}
} // namespace

class TestCtlCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setTakesOnlyTheGivenSettings()
    {
        const ParsedCommandLine parsed = parse({u"set"_s, u"00:1A:2B:3C:4D:01"_s, u"--ip"_s, u"10.77.1.31"_s,
                                                u"--web-port"_s, u"8080"_s, u"--dhcp"_s, u"-a"_s, u"veth1"_s,
                                                u"--password-file"_s, u"-"_s});
        QVERIFY2(parsed.options, parsed.standardError.constData());
        const CtlOptions &options = *parsed.options;
        QCOMPARE(options.verb, Verb::Set);
        QCOMPARE(options.settings.mac, u"00:1A:2B:3C:4D:01"_s);
        QCOMPARE(options.settings.ip, std::optional<QString>(u"10.77.1.31"_s));
        QCOMPARE(options.settings.webPort, std::optional<int>(8080));
        QCOMPARE(options.settings.dhcp, std::optional<bool>(true));
        QVERIFY(!options.settings.mask && !options.settings.gateway && !options.settings.dns);
        QCOMPARE(options.adapter, std::optional<QString>(u"veth1"_s));
        QCOMPARE(options.password.file, std::optional<QString>(u"-"_s));
        QVERIFY(options.verify);
    }

    void usageErrorsExitTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no verb") << QStringList();
        QTest::newRow("unknown verb") << QStringList{u"scan"_s};
        QTest::newRow("unknown option") << QStringList{u"search"_s, u"--colour"_s};
        QTest::newRow("bad format") << QStringList{u"search"_s, u"-o"_s, u"yaml"_s};
        QTest::newRow("jsonl for adapters") << QStringList{u"adapters"_s, u"-o"_s, u"jsonl"_s};
        QTest::newRow("csv for watch") << QStringList{u"watch"_s, u"-o"_s, u"csv"_s};
        QTest::newRow("bad family") << QStringList{u"search"_s, u"--family"_s, u"both"_s};
        QTest::newRow("bad wait") << QStringList{u"search"_s, u"--wait"_s, u"soon"_s};
        QTest::newRow("set without mac") << QStringList{u"set"_s, u"--ip"_s, u"10.77.1.5"_s};
        QTest::newRow("set, two macs") << QStringList{u"set"_s, u"A"_s, u"B"_s};
        QTest::newRow("set, bad ip") << QStringList{u"set"_s, u"A"_s, u"--ip"_s, u"10.77.1"_s};
        QTest::newRow("set, bad port") << QStringList{u"set"_s, u"A"_s, u"--web-port"_s, u"70000"_s};
        QTest::newRow("dhcp and static") << QStringList{u"set"_s, u"A"_s, u"--dhcp"_s, u"--static"_s};
        QTest::newRow("set through all") << QStringList{u"set"_s, u"A"_s, u"-a"_s, u"all"_s};
        QTest::newRow("password on the line") << QStringList{u"set"_s, u"A"_s, u"--password"_s, u"x"_s};
        QTest::newRow("reboot without mac") << QStringList{u"reboot"_s};
        QTest::newRow("apply without plan") << QStringList{u"apply"_s};
        QTest::newRow("search with argument") << QStringList{u"search"_s, u"extra"_s};
        QTest::newRow("every zero") << QStringList{u"watch"_s, u"--every"_s, u"0"_s};
        QTest::newRow("csv for set") << QStringList{u"set"_s, u"A"_s, u"-o"_s, u"csv"_s};
        QTest::newRow("table for apply") << QStringList{u"apply"_s, u"plan.csv"_s, u"-o"_s, u"table"_s};
        QTest::newRow("force for search") << QStringList{u"search"_s, u"--force"_s};
        QTest::newRow("wait-back zero") << QStringList{u"reboot"_s, u"A"_s, u"--wait-back"_s, u"0"_s};
        QTest::newRow("wait-back for set") << QStringList{u"set"_s, u"A"_s, u"--wait-back"_s, u"60"_s};
    }

    void usageErrorsExitTwo()
    {
        QFETCH(QStringList, arguments);
        const ParsedCommandLine parsed = parse(arguments);
        QVERIFY(!parsed.options);
        QCOMPARE(parsed.exitCode, int(kExitUsage));
        QVERIFY(parsed.standardError.startsWith("corvanectl: "));
        QVERIFY(parsed.standardOutput.isEmpty());
    }

    void optionsForMachines()
    {
        const ParsedCommandLine set = parse({u"set"_s, u"A"_s, u"--force"_s, u"-o"_s, u"json"_s});
        QVERIFY(set.options);
        QVERIFY(set.options->force);
        QCOMPARE(set.options->format, OutputFormat::Json);
        const ParsedCommandLine apply = parse({u"apply"_s, u"plan.csv"_s});
        QVERIFY(apply.options);
        QVERIFY(!apply.options->force);
        QCOMPARE(apply.options->format, OutputFormat::Csv); // its lines have always been CSV
        const ParsedCommandLine reboot = parse({u"reboot"_s, u"A"_s, u"--wait-back"_s, u"180"_s});
        QVERIFY(reboot.options);
        QCOMPARE(reboot.options->waitBackSeconds, 180);
        QCOMPARE(reboot.options->format, OutputFormat::Table);
    }

    void helpAndVersion()
    {
        const ParsedCommandLine general = parse({u"--help"_s});
        QCOMPARE(general.exitCode, 0);
        for (const char *verb : {"adapters", "search", "set", "reboot", "factory-reset", "apply", "watch"})
            QVERIFY(general.standardOutput.contains(verb));
        const ParsedCommandLine set = parse({u"set"_s, u"--help"_s});
        QCOMPARE(set.exitCode, 0);
        QVERIFY(set.standardOutput.startsWith("Usage: corvanectl set [options] MAC\n"));
        QVERIFY(set.standardOutput.contains("--password-file"));
        QVERIFY(!set.standardOutput.contains("--every"));
        QCOMPARE(parse({u"--version"_s}).standardOutput, QByteArray("corvanectl 3.0.0.0\n"));
    }

    void passwordSources()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("from file\r\nsecond line\n");
        file.flush();
        qputenv(kPasswordVariable, "from the environment");
        // The file wins over the variable; only its first line counts.
        QCOMPARE(ReadPassword({file.fileName()}).password, std::optional<QString>(u"from file"_s));
        QCOMPARE(ReadPassword({}).password, std::optional<QString>(u"from the environment"_s));
        qputenv(kPasswordVariable, "");
        if (qEnvironmentVariableIsSet(kPasswordVariable)) // Windows removes a variable set to nothing
            QCOMPARE(ReadPassword({}).password, std::optional<QString>(QString())); // set, though empty

        QTemporaryFile input;
        QVERIFY(input.open());
        input.write("typed\n");
        input.flush();
        std::FILE *in = std::fopen(input.fileName().toLocal8Bit().constData(), "r");
        QVERIFY(in);
        QCOMPARE(ReadPassword({u"-"_s}, in).password, std::optional<QString>(u"typed"_s));
        std::rewind(in);
        qunsetenv(kPasswordVariable);
        const PasswordResult none = ReadPassword({}, in); // no terminal: no prompt
        std::fclose(in);
        QVERIFY(!none.password);
        QVERIFY(none.error.contains("CORVANE_PASSWORD"));
        QVERIFY(!ReadPassword({u"/nonexistent/password"_s}).password);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(u"3.0.0.0"_s);
    TestCtlCommandLine test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ctlcommandline.moc"
