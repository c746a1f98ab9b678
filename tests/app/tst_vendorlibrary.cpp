#include "CHalvetranoDlg.h"
#include "CaptureStdout.h"
#include "DialogHarness.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace TestNetwork;

namespace {
const QByteArray kFakeMac = "5C:F2:07:FA:CE:01"; // the one device the test library reports
const QByteArray kNotFound = "Vendor library not found: devices of the second family will not be searched\n";

// The calls the test library has written down, one per line.
QStringList callsIn(const QString &file)
{
    QFile calls(file);
    if (!calls.open(QIODevice::ReadOnly | QIODevice::Text)) // Text: \r\n on Windows
        return {};
    return QString::fromUtf8(calls.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class TestVendorLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts");
        QVERIFY(m_dir.isValid());
        qputenv("CORVANE_FAKE_ZEKSDK_CALLS", QFile::encodeName(callsFile()));
    }

    void init()
    {
        QFile::remove(callsFile());
        qputenv("CORVANE_ZEKSDK", CORVANE_FAKE_ZEKSDK_DIR);
    }

    void anotherBuildOfTheLibraryIsUsedInstead()
    {
        DialogHarness h;
        QVERIFY(h.dialog->m_pVendorDlg->HasLibrary());
        h.dialog->OnBnClickedSearch();
        QTRY_VERIFY_WITH_TIMEOUT(h.rowOf(kFakeMac) >= 0, 5000);
        const int row = h.rowOf(kFakeMac);
        QCOMPARE(h.list().GetItemText(row, 2), QStringLiteral("10.77.1.77"));
        QCOMPARE(h.list().GetItemText(row, 3), QStringLiteral("FAKE-1"));
        QCOMPARE(h.list().GetItemText(row, 4), QString()); // MANUFACTURER: empty for the second family
        QTRY_VERIFY(!h.dialog->m_pVendorDlg->m_bSearching);
        QCOMPARE(callsIn(callsFile()),
                 QStringList({"ZEKSDKInitialize", "ZEKCBCreate", "ZEKDevice_Search 3000", "ZEKCBDelete 1"}));

        // Reboot of the ticked device: one login, the reboot, and the handle given back.
        QFile::remove(callsFile());
        h.list().SetCheck(row, true);
        h.dialog->OnNMClickListDevice(row);
        h.setText(CCorvaneDlg::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
        h.dialog->OnBnClickedReboot();
        QCOMPARE(h.messages, QStringList({QStringLiteral("IP : 10.77.1.77 / MAC :5C:F2:07:FA:CE:01")}));
        QCOMPARE(callsIn(callsFile()),
                 QStringList({"ZEKDevice_Create", "ZEKDevice_Open 1 10.77.1.77 8000 user=", "ZEKDevice_RebootDevice 1",
                              "ZEKDevice_Close 1", "ZEKDevice_Delete 1"}));

        QFile::remove(callsFile());
        h.dialog.reset();
        QCOMPARE(callsIn(callsFile()), QStringList({"ZEKSDKInvalidate"}));
    }

    void withoutTheLibraryTheOwnFamilyStillWorks()
    {
        DevSim devices;
        QVERIFY(devices.Start({QStringLiteral("--device"), QStringLiteral("mac=00:1A:2B:3C:4D:01,ip=10.77.1.21"),
                               QStringLiteral("--device"),
                               QStringLiteral("family=vendor,mac=00:2B:00:00:00:01,ip=10.77.1.2,mediaPort=8001")}));
        qputenv("CORVANE_ZEKSDK", QFile::encodeName(m_dir.filePath(QStringLiteral("none/libZEKSDK.so.1"))));
        CapturedOutput said(stderr);
        DialogHarness h;
        QVERIFY(!h.dialog->m_pVendorDlg->HasLibrary());
        for (int search = 0; search < 2; ++search) {
            h.dialog->OnBnClickedSearch();
            QTRY_VERIFY_WITH_TIMEOUT(h.rowOf("00:1A:2B:3C:4D:01") >= 0, 5000);
            QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pWaitDlg->isVisible(), 5000); // the vendor search ended at once
        }
        QCOMPARE(h.list().GetItemCount(), 1);
        // Nothing to ask of the vendor library: no message, no crash.
        h.list().SetCheck(0, true);
        h.dialog->OnNMClickListDevice(0);
        h.dialog->OnBnClickedFactoryReset();
        QVERIFY(h.messages.isEmpty());
        const QByteArray text = said.Take();
        QCOMPARE(text.count(kNotFound), 1);
        QVERIFY2(text.endsWith(kNotFound), text.constData());
    }

    void corvaneStartsWithoutTheLibrary()
    {
        QProcess corvane;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVANE_ZEKSDK"), m_dir.filePath(QStringLiteral("none")));
        corvane.setProcessEnvironment(environment);
        corvane.start(QStringLiteral(CORVANE_PROGRAM), QStringList(), QIODevice::ReadOnly | QIODevice::Text);
        QVERIFY(corvane.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += corvane.readAllStandardError()).contains(kNotFound), 10000);
        QVERIFY2(!corvane.waitForFinished(500), "still running, its window up");
        corvane.kill();
        corvane.waitForFinished();
        QCOMPARE((said + corvane.readAllStandardError()).count(kNotFound), 1);
    }

private:
    QString callsFile() const { return m_dir.filePath(QStringLiteral("calls")); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestVendorLibrary)
#include "tst_vendorlibrary.moc"
