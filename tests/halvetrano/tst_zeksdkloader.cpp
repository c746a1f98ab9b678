#include "CaptureStdout.h"
#include "ZekSdkLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace {
const QSet<QByteArray> kTwelve{"ZEKSDKInitialize", "ZEKSDKInvalidate",       "ZEKCBCreate",
                               "ZEKCBDelete",      "ZEKDevice_Search",       "ZEKDevice_Create",
                               "ZEKDevice_Open",   "ZEKDevice_RebootDevice", "ZEKDevice_FactoryReset",
                               "ZEKDevice_Close",  "ZEKDevice_Delete",       "ZEKDevice_ModifyNetwork"};
const QByteArray kNotFound = "Vendor library not found: devices of the second family will not be searched\n";

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished() || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

bool allTwelve(const ZekSdk &sdk)
{
    return sdk.ZEKSDKInitialize && sdk.ZEKSDKInvalidate && sdk.ZEKCBCreate && sdk.ZEKDevice_Search && sdk.ZEKCBDelete
           && sdk.ZEKDevice_Create && sdk.ZEKDevice_Open && sdk.ZEKDevice_RebootDevice && sdk.ZEKDevice_FactoryReset
           && sdk.ZEKDevice_Close && sdk.ZEKDevice_Delete && sdk.ZEKDevice_ModifyNetwork;
}

bool allZero(const ZekSdk &sdk)
{
    const ZekSdk zero{};
    return std::memcmp(&sdk, &zero, sizeof sdk) == 0;
}

QString canonical(const char *file)
{
    return QFileInfo(QString::fromLocal8Bit(file)).canonicalFilePath();
}
} // namespace

class TestZekSdkLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { qunsetenv("CORVANE_ZEKSDK"); }

    void theLibraryExportsExactlyTheTwelveFunctions()
    {
#ifdef Q_OS_WIN
        QSKIP("an ELF check; on Windows ZEKSDK.def is the export list");
#endif
        QSet<QByteArray> functions;
        QSet<QByteArray> others;
        const QByteArray symbols = run(QStringLiteral(CORVANE_NM), {"-D", "--defined-only", CORVANE_ZEKSDK_FILE});
        QVERIFY(!symbols.isEmpty());
        for (const QByteArray &line : symbols.split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 2)
                continue;
            (fields[fields.size() - 2] == "T" ? functions : others) << fields.last();
        }
        QCOMPARE(functions, kTwelve);
        QCOMPARE(others, QSet<QByteArray>()); // no Qt, no C++ runtime, no data

        const QByteArray headers = run(QStringLiteral(CORVANE_OBJDUMP), {"-p", CORVANE_ZEKSDK_FILE});
        QVERIFY(headers.simplified().contains("SONAME libZEKSDK.so.1"));
        QVERIFY(QFileInfo(QStringLiteral(CORVANE_ZEKSDK_FILE)).fileName().startsWith("libZEKSDK.so.1."));
        QVERIFY(QFileInfo::exists(QStringLiteral(CORVANE_ZEKSDK_SONAME_FILE)));
    }

    void theBuildTreesCopyIsFoundWithoutHelp()
    {
        ZekSdk sdk;
        CapturedOutput said(stderr);
        QCOMPARE(ZekSdkLoad(&sdk, nullptr), 1);
        QCOMPARE(said.Take(), QByteArray());
        QVERIFY(allTwelve(sdk));
        QCOMPARE(canonical(sdk.file), QFileInfo(QStringLiteral(CORVANE_ZEKSDK_FILE)).canonicalFilePath());
        QCOMPARE(sdk.ZEKSDKInitialize(), int32_t(ZEK_OK));
        QCOMPARE(sdk.ZEKSDKInvalidate(), int32_t(ZEK_OK));
    }

    void theEnvironmentOrTheCallerChoosesAnother()
    {
        // libZEKSDK.so.1, or ZEKSDK.dll on Windows
        const QString fileName = QFileInfo(QStringLiteral(CORVANE_ZEKSDK_SONAME_FILE)).fileName();
        const QString fakeFile = QStringLiteral(CORVANE_FAKE_ZEKSDK_DIR "/") + fileName;
        ZekSdk sdk;
        qputenv("CORVANE_ZEKSDK", CORVANE_FAKE_ZEKSDK_DIR); // a folder will do
        QCOMPARE(ZekSdkLoad(&sdk, nullptr), 1);
        QCOMPARE(canonical(sdk.file), QFileInfo(fakeFile).canonicalFilePath());

        qputenv("CORVANE_ZEKSDK", "/nowhere/libZEKSDK.so.1"); // the caller's choice comes first
        QCOMPARE(ZekSdkLoad(&sdk, CORVANE_ZEKSDK_FILE), 1);
        QCOMPARE(canonical(sdk.file), QFileInfo(QStringLiteral(CORVANE_ZEKSDK_FILE)).canonicalFilePath());
        QVERIFY(allTwelve(sdk));
    }

    void aMissingOrUnusableLibraryIsSaidNeverLoaded_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("reason");
        const QString nowhere = QStringLiteral("/nowhere/libZEKSDK.so.1");
        QTest::newRow("no such file") << nowhere
                                      << "Vendor library " + QDir::toNativeSeparators(nowhere).toUtf8()
                                             + ": no such file\n";
        QTest::newRow("empty folder") << "" << QByteArray(": no such file\n");
        QTest::newRow("not a library") << QFINDTESTDATA("tst_zeksdkloader.cpp") << QByteArray("Vendor library ");
#ifdef Q_OS_WIN
        const QString qtCore = QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/Qt6Core.dll");
#else
        const QString qtCore = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Core.so.6");
#endif
        QTest::newRow("without the functions") << qtCore << QByteArray("has no function ZEKSDKInitialize\n");
    }

    void aMissingOrUnusableLibraryIsSaidNeverLoaded()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, reason);
        QTemporaryDir emptyFolder;
        if (file.isEmpty())
            file = emptyFolder.path();
        qputenv("CORVANE_ZEKSDK", QFile::encodeName(file));
        ZekSdk sdk;
        std::memset(&sdk, 0x5a, sizeof sdk);
        CapturedOutput said(stderr);
        QCOMPARE(ZekSdkLoad(&sdk, nullptr), 0);
        const QByteArray text = said.Take();
        QVERIFY(allZero(sdk));
        QVERIFY2(text.endsWith(kNotFound), text.constData());
        QCOMPARE(text.count(kNotFound), 1);
        QVERIFY2(text.contains(reason), text.constData());
        QCOMPARE(text.count('\n'), 2); // why, then what it means
    }
};

QTEST_GUILESS_MAIN(TestZekSdkLoader)
#include "tst_zeksdkloader.moc"
