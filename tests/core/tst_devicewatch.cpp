#include "DeviceWatch.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
DeviceFieldList device(const char *mac, const char *ip, int port = 80)
{
    CameraInfo info{};
    WriteText(info.mac_addr, mac);
    WriteText(info.ip_addr, ip);
    info.web_port = static_cast<quint16>(port);
    return DeviceFields(info);
}

QStringList events(const QList<DeviceChange> &changes)
{
    QStringList list;
    for (const DeviceChange &change : changes) {
        list << QString(ChangeKindName(change.kind)) + u' ' + FieldText(FieldValue(change.device, "mac"_L1))
                    + (change.changed.isEmpty() ? QString() : u' ' + change.changed.join(u','));
    }
    return list;
}
} // namespace

class TestDeviceWatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foundChangedAndGone()
    {
        DeviceWatch watch;
        QCOMPARE(events(watch.Update({device("A", "10.77.1.20"), device("B", "10.77.1.21")})),
                 QStringList({u"found A"_s, u"found B"_s}));
        QCOMPARE(events(watch.Update({device("A", "10.77.1.20"), device("B", "10.77.1.21")})), QStringList());

        // A changed address (and with it the url); B missed once: nothing yet.
        QCOMPARE(events(watch.Update({device("A", "10.77.1.30")})), QStringList({u"changed A ip,url"_s}));
        // B missed twice in a row: gone, after the events of this search's devices.
        QCOMPARE(events(watch.Update({device("C", "10.77.1.22"), device("A", "10.77.1.30")})),
                 QStringList({u"found C"_s, u"gone B"_s}));
        // Gone is said once; a device that comes back is found again.
        QCOMPARE(events(watch.Update({device("A", "10.77.1.30"), device("C", "10.77.1.22")})), QStringList());
        QCOMPARE(events(
                     watch.Update({device("B", "10.77.1.21"), device("A", "10.77.1.30"), device("C", "10.77.1.22")})),
                 QStringList({u"found B"_s}));
    }

    void oneMissDoesNotMakeAGone()
    {
        DeviceWatch watch;
        watch.Update({device("A", "10.77.1.20")});
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(watch.Update({}).size(), 0);
            QCOMPARE(watch.Update({device("A", "10.77.1.20")}).size(), 0);
        }
        watch.Update({});
        const QList<DeviceChange> gone = watch.Update({});
        QCOMPARE(events(gone), QStringList({u"gone A"_s}));
        QCOMPARE(FieldText(FieldValue(gone.front().device, "ip"_L1)), u"10.77.1.20"_s); // as last seen
    }

    void aDeviceTwiceInOneSearchCountsOnce()
    {
        DeviceWatch watch;
        QCOMPARE(events(watch.Update({device("A", "10.77.1.20"), device("A", "10.77.1.99")})),
                 QStringList({u"found A"_s}));
        QCOMPARE(events(watch.Update({device("A", "10.77.1.20", 81)})), QStringList({u"changed A web_port,url"_s}));
    }
};

QTEST_GUILESS_MAIN(TestDeviceWatch)
#include "tst_devicewatch.moc"
