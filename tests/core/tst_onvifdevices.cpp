// ONVIF devices in the engine without a network: their records, names, what Save asks, how a
// search lists them beside the other families, and the plan's path for them.

#include "DeviceListFormat.h"
#include "DeviceSearch.h"
#include "DeviceWatch.h"
#include "OnvifListing.h"
#include "PlanApply.h"
#include "SearchRound.h"
#include "TestOnvifDevices.h"
#include "TestRecords.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
OnvifSettings readSettings()
{
    OnvifSettings settings;
    settings.interfaceToken = u"eth0"_s;
    settings.mac = u"02:20:00:00:00:01"_s;
    settings.ip = u"10.77.1.40"_s;
    settings.prefixLength = 24;
    settings.mask = u"255.255.255.0"_s;
    settings.gateway = u"10.77.1.1"_s;
    settings.dns = u"10.77.1.1"_s;
    settings.webPort = 8080;
    settings.manufacturer = u"Acme"_s;
    settings.model = u"NV-200 rev B"_s;
    settings.firmware = u"5.1.2"_s;
    settings.serial = u"SN123"_s;
    return settings;
}
} // namespace

class TestOnvifDevices final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordShowsDiscoveryThenTheLogin()
    {
        OnvifListing listing{MakeOnvifDevice(u"urn:uuid:1"_s, u"10.77.1.40"_s, u"02:20:00:00:00:01"_s), std::nullopt,
                             QString()};
        listing.device.serviceAddress = QUrl(u"https://10.77.1.40:8443/onvif/device_service"_s);
        CameraInfo record = OnvifRecord(listing);
        QCOMPARE(FieldString(record.mac_addr), u"02:20:00:00:00:01"_s);
        QCOMPARE(FieldString(record.ip_addr), u"10.77.1.40"_s);
        QCOMPARE(FieldString(record.model_name), u"NV-200"_s);         // the hardware scope
        QCOMPARE(FieldString(record.manufacturer), u"Acme Cameras"_s); // the name scope, until a login
        QCOMPARE(FieldString(record.version), QString());
        QCOMPARE(FieldString(record.subnet_mask), QString());
        QCOMPARE(int(record.web_port), 8443);
        QCOMPARE(int(record.https), 1);
        QVERIFY(FamilyOf(record) == DeviceFamily::Own); // why the family is kept beside the record

        listing.device.hardware.clear();
        listing.device.mac.clear();
        listing.settings = readSettings();
        record = OnvifRecord(listing);
        QCOMPARE(FieldString(record.mac_addr), u"02:20:00:00:00:01"_s); // from the login
        QCOMPARE(FieldString(record.model_name), u"NV-200 rev B"_s);
        QCOMPARE(FieldString(record.manufacturer), u"Acme"_s);
        QCOMPARE(FieldString(record.version), u"5.1.2"_s);
        QCOMPARE(FieldString(record.subnet_mask), u"255.255.255.0"_s);
        QCOMPARE(int(record.web_port), 8080);
    }

    void devicesAreNamedByMacInAnyFormOrByEndpoint()
    {
        const std::optional<quint64> mac = 0x001A2B3C4D5Eu;
        QCOMPARE(MacNumber(u"00:1a:2b:3c:4d:5e"_s), mac);
        QCOMPARE(MacNumber(u"00-1A-2B-3C-4D-5E"_s), mac);
        QCOMPARE(MacNumber(u"001A2B3C4D5E"_s), mac);
        QCOMPARE(MacNumber("00:1A:2B:3C:4D:5E"), mac);
        QCOMPARE(MacNumber(u"00:1A:2B:3C:4D"_s), std::nullopt);
        QCOMPARE(MacNumber(u"00:1A:2B:3C:4D:5E:6F"_s), std::nullopt);
        QCOMPARE(MacNumber(u"urn:uuid:00112233-4455"_s), std::nullopt);
        QCOMPARE(MacNumber(u"00:1A:2B:3C:4D:5\u00e9"_s), std::nullopt);
        QCOMPARE(MacNumber(QString()), std::nullopt);

        const OnvifListing listing{MakeOnvifDevice(u"urn:uuid:5f1c0000-aaaa-bbbb-cccc-020000000001"_s, u"10.77.1.40"_s,
                                                   u"02:20:00:00:00:01"_s),
                                   std::nullopt, QString()};
        QVERIFY(NamesOnvifDevice(listing, u"urn:uuid:5f1c0000-aaaa-bbbb-cccc-020000000001"_s));
        QVERIFY(NamesOnvifDevice(listing, u"uuid:5F1C0000-AAAA-BBBB-CCCC-020000000001"_s));
        QVERIFY(NamesOnvifDevice(listing, u"02-20-00-00-00-01"_s));
        QVERIFY(!NamesOnvifDevice(listing, u"02:20:00:00:00:02"_s));
        QVERIFY(!NamesOnvifDevice(listing, QString()));
    }

    void theRowNoteSaysWhatIsMissing()
    {
        OnvifListing listing{MakeOnvifDevice(u"urn:uuid:1"_s), std::nullopt, QString()};
        QVERIFY(OnvifRowNote(listing).startsWith(u"ONVIF device urn:uuid:1"_s));
        QVERIFY(OnvifRowNote(listing).contains(u"User ID and Password"_s));
        listing.readError = u"Failed. login failed"_s;
        QVERIFY(OnvifRowNote(listing).contains(u"Failed. login failed"_s));
        listing.readError.clear();
        listing.settings = readSettings();
        QVERIFY(!OnvifRowNote(listing).contains(u"User ID"_s));
    }

    void saveNeverSendsAFieldEmpty()
    {
        const OnvifSettings current = readSettings();
        // Clicked before a login: only the address from discovery and the service port were shown.
        NetworkEdits edits;
        edits.ipAddress = u"10.77.1.41"_s;
        OnvifSettings wanted = WantedOnvifSettings(current, edits, false);
        QCOMPARE(wanted.ip, u"10.77.1.41"_s);
        QCOMPARE(wanted.mask, current.mask);
        QCOMPARE(wanted.prefixLength, 24);
        QCOMPARE(wanted.gateway, current.gateway);
        QCOMPARE(wanted.dns, current.dns);
        QCOMPARE(wanted.webPort, current.webPort);
        QVERIFY(!wanted.dhcp);

        const auto changes = [&current](const OnvifSettings &asked) {
            return ChangedSettings(OnvifSettingsRecord(current), OnvifSettingsRecord(asked));
        };
        QCOMPARE(changes(wanted), QStringList({u"ip"_s}));

        edits.subnetMask = u"255.255.0.0"_s;
        edits.webPort = 81;
        wanted = WantedOnvifSettings(current, edits, true);
        QCOMPARE(wanted.prefixLength, 16);
        QCOMPARE(wanted.webPort, 81);
        QCOMPARE(changes(wanted), QStringList({u"ip"_s, u"mask"_s, u"web_port"_s}));

        // The fields as the device has them: nothing to change, so nothing is sent.
        NetworkEdits same;
        same.ipAddress = current.ip;
        same.webPort = current.webPort;
        QVERIFY(changes(WantedOnvifSettings(current, same, false)).isEmpty());
    }

    void theCheckAfterSaveExpectsTheServiceAtItsNewPort()
    {
        OnvifSettings wanted = readSettings();
        wanted.ip = u"10.77.1.50"_s;
        OnvifDevice found = MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.50"_s);
        QCOMPARE(OnvifMoveVerification(wanted, &found), std::make_pair(u"found at 10.77.1.50"_s, true));
        // Save moved the service with the web port: the device must be announced there.
        wanted.servicePort = 8080;
        QCOMPARE(OnvifMoveVerification(wanted, &found),
                 std::make_pair(u"not found at port 8080: answers at 10.77.1.50:80"_s, false));
        found.serviceAddress.setPort(8080);
        QCOMPARE(OnvifMoveVerification(wanted, &found), std::make_pair(u"found at 10.77.1.50:8080"_s, true));
        // The address is checked first.
        found.serviceAddress.setHost(u"10.77.1.40"_s);
        QCOMPARE(OnvifMoveVerification(wanted, &found).second, false);
    }

    void dhcpIsKeptUnlessAskedOtherwise()
    {
        OnvifSettings current = readSettings();
        current.dhcp = true;
        NetworkEdits unread; // the radio's default is STATIC, but it was never set from the device
        unread.ipAddress = current.ip;
        QVERIFY(WantedOnvifSettings(current, unread, false).dhcp);
        QVERIFY(!WantedOnvifSettings(current, unread, true).dhcp); // the person chose STATIC
        unread.ipAddress = u"10.77.1.50"_s;
        QVERIFY(!WantedOnvifSettings(current, unread, false).dhcp); // a new address is static

        current.dhcp = false;
        NetworkEdits dhcp;
        dhcp.dhcp = 1;
        dhcp.gateway = u"10.77.1.254"_s;
        const OnvifSettings wanted = WantedOnvifSettings(current, dhcp, false);
        QVERIFY(wanted.dhcp);
        QCOMPARE(wanted.gateway, current.gateway); // the server's to give now
    }

    void aDeviceOfItsOwnFamilyIsListedOnce()
    {
        DeviceSearch search;
        QSignalSpy onvif(&search, &DeviceSearch::onvifDeviceFound);
        QVERIFY(search.Offer(MakeReply("00:1A:2B:3C:4D:01")));
        // The same camera over ONVIF, its MAC in another form: its own family's row stands.
        QVERIFY(!search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.40"_s, u"00-1a-2b-3c-4d-01"_s)));
        QVERIFY(search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.40"_s, u"02:20:00:00:00:02"_s)));
        QVERIFY(!search.OfferOnvif(
            MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.40"_s, u"02:20:00:00:00:02"_s))); // answered twice
        QVERIFY(search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:c"_s))); // no MAC yet: its endpoint tells it apart
        QVERIFY(!search.OfferOnvif(MakeOnvifDevice(QString())));
        QCOMPARE(onvif.size(), 2);
        QVERIFY(search.IsFamilyDeviceMac(u"001A2B3C4D01"_s));
        QVERIFY(!search.IsFamilyDeviceMac(u"02:20:00:00:00:02"_s));

        search.Clear();
        QVERIFY(!search.IsFamilyDeviceMac(u"001A2B3C4D01"_s));
        QVERIFY(search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:b"_s)));
    }

    void fieldsAndCsvCarryTheOnvifAddresses()
    {
        OnvifListing listing{MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.40"_s, u"02:20:00:00:00:02"_s), std::nullopt,
                             QString()};
        listing.device.name = QString::fromLatin1(VENDOR_MANUFACTURER); // a name is no family
        listing.readError = u"Failed. login failed"_s;
        const FoundDevice found{OnvifRecord(listing), DeviceFamily::Onvif, nullptr, listing};
        const DeviceFieldList fields = DeviceFields(found);
        QCOMPARE(FieldValue(fields, "family"_L1), QJsonValue(u"onvif"_s));
        QCOMPARE(FieldValue(fields, "manufacturer"_L1), QJsonValue(u"Halvetrano"_s));
        QCOMPARE(FieldValue(fields, "endpoint"_L1), QJsonValue(u"urn:uuid:b"_s));
        QCOMPARE(FieldValue(fields, "service"_L1), QJsonValue(u"http://10.77.1.40/onvif/device_service"_s));
        QCOMPARE(FieldValue(fields, "read_error"_L1), QJsonValue(u"Failed. login failed"_s));
        QCOMPARE(FieldValue(fields, "url"_L1), QJsonValue(u"http://10.77.1.40"_s));
        // Never read: whether it takes DHCP is unknown, not false; once read, it is told.
        QCOMPARE(FieldValue(fields, "dhcp"_L1), QJsonValue());
        QCOMPARE(FieldValue(fields, "mask"_L1), QJsonValue(QString()));
        OnvifListing read = listing;
        read.settings = readSettings();
        QCOMPARE(FieldValue(DeviceFields(OnvifRecord(read), DeviceFamily::Onvif, &read), "dhcp"_L1), QJsonValue(false));
        read.settings->dhcp = true;
        QCOMPARE(FieldValue(DeviceFields(OnvifRecord(read), DeviceFamily::Onvif, &read), "dhcp"_L1), QJsonValue(true));

        const QByteArray csv = DevicesCsv(QList<DeviceFieldList>{DeviceFields(MakeReply("00:1A:2B:3C:4D:01")), fields});
        const QList<CsvRow> rows = ReadCsv(csv);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].cells.value(0), u"own"_s);
        QCOMPARE(rows[1].cells.value(14), QString());
        QCOMPARE(rows[2].cells.value(0), u"onvif"_s);
        QCOMPARE(rows[2].cells.value(14), u"urn:uuid:b"_s);
        QCOMPARE(rows[1].cells.value(9), u"false"_s);
        QCOMPARE(rows[2].cells.value(9), QString()); // dhcp unknown
        // A list written by search is a plan: the endpoint names a device whose MAC is unknown.
        const AddressPlan plan = ReadAddressPlan(
            "mac,endpoint,ip\n,urn:uuid:b,10.77.1.41\n00:1A:2B:3C:4D:01,,10.77.1.42\n");
        QCOMPARE(plan.rows.size(), 2);
        QCOMPARE(plan.rows[0].mac, u"urn:uuid:b"_s);
        QVERIFY(plan.rows[0].error.isEmpty());
        QCOMPARE(plan.rows[1].mac, u"00:1A:2B:3C:4D:01"_s);
    }

    void watchKnowsOnvifDevicesByEndpoint()
    {
        const auto fields = [](const char *endpoint, const QString &mac) {
            const OnvifListing listing{MakeOnvifDevice(QString::fromLatin1(endpoint), u"10.77.1.40"_s, mac),
                                       std::nullopt, QString()};
            return DeviceFields(FoundDevice{OnvifRecord(listing), DeviceFamily::Onvif, nullptr, listing});
        };
        DeviceWatch watch;
        // Two devices without a MAC yet are two devices.
        QCOMPARE(watch.Update({fields("urn:uuid:a", {}), fields("urn:uuid:b", {})}).size(), 2);
        // One's MAC becomes known: the same device, changed.
        const QList<DeviceChange> changes = watch.Update(
            {fields("urn:uuid:a", u"02:20:00:00:00:01"_s), fields("urn:uuid:b", {})});
        QCOMPARE(changes.size(), 1);
        QVERIFY(changes[0].kind == DeviceChange::Kind::Changed);
        QCOMPARE(changes[0].changed, QStringList({u"mac"_s}));

        // Between searches: a Hello finds or changes, a Bye (in the other uuid form) is gone at once.
        QVERIFY(watch.Announced(fields("urn:uuid:b", {})).isEmpty()); // as known
        const QList<DeviceChange> hello = watch.Announced(fields("urn:uuid:c", {}));
        QCOMPARE(hello.size(), 1);
        QVERIFY(hello[0].kind == DeviceChange::Kind::Found);
        const QList<DeviceChange> bye = watch.Left(u"uuid:B"_s);
        QCOMPARE(bye.size(), 1);
        QVERIFY(bye[0].kind == DeviceChange::Kind::Gone);
        QCOMPARE(FieldValue(bye[0].device, "endpoint"_L1), QJsonValue(u"urn:uuid:b"_s));
        QVERIFY(watch.Left(u"urn:uuid:b"_s).isEmpty());        // gone is said once
        QVERIFY(watch.Left(u"02:20:00:00:00:01"_s).isEmpty()); // a Bye names an endpoint, never a MAC
        // The next search does not find b gone again, and finds it anew when it answers.
        QCOMPARE(watch.Update({fields("urn:uuid:a", u"02:20:00:00:00:01"_s), fields("urn:uuid:c", {})}).size(), 0);
        QCOMPARE(watch.Update({fields("urn:uuid:b", {})}).first().kind, DeviceChange::Kind::Found);
    }

    void findingPrefersTheOwnFamilyByMac()
    {
        const OnvifListing listing{MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.40"_s, u"00:1a:2b:3c:4d:01"_s),
                                   std::nullopt, QString()};
        QList<FoundDevice> devices{
            FoundDevice{OnvifRecord(listing), DeviceFamily::Onvif, nullptr, listing},
            FoundDevice{MakeReply("00:1A:2B:3C:4D:01"), DeviceFamily::Own, nullptr, std::nullopt},
        };
        QCOMPARE(FindDevice(devices, u"00:1a:2b:3c:4d:01"_s), &devices[1]);
        QCOMPARE(FindDevice(devices, u"urn:uuid:b"_s), &devices[0]);
        devices.removeLast();
        QCOMPARE(FindDevice(devices, u"00:1A:2B:3C:4D:01"_s), &devices[0]);
        QCOMPARE(FindDevice(devices, u"00:1A:2B:3C:4D:09"_s), nullptr);
    }

    void aPlanRowForAnOnvifDeviceTakesTheOnvifPath()
    {
        // A foreign service address: the login is withheld, so the row ends at once and says
        // why; a set-network request would instead wait for an answer and end "no answer".
        DeviceSearch search;
        CNetworkAdapterObj adapter;
        adapter.m_strName = u"veth1"_s;
        adapter.m_strAddress = u"10.77.1.1"_s;
        PlanApply apply(search, nullptr, adapter);
        OnvifListing listing{MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.40"_s, u"00:1A:2B:3C:4D:01"_s), std::nullopt,
                             QString()};
        listing.device.credentialsSafe = false;
        PlanRow row;
        row.mac = u"00:1A:2B:3C:4D:01"_s;
        row.ip = u"10.77.1.41"_s;
        QSignalSpy finished(&apply, &PlanApply::finished);
        PlanApply::Settings settings;
        settings.password = u"admin"_s;
        settings.answerTimeoutMs = 600000;
        apply.Start({row}, QList<FoundDevice>{{OnvifRecord(listing), DeviceFamily::Onvif, nullptr, listing}}, settings);
        QVERIFY(finished.wait(60000) || finished.size() == 1);
        QVERIFY(apply.Outcomes()[0].result.startsWith(u"no login sent"_s));
        QVERIFY(!apply.Outcomes()[0].ok);
    }
};

QTEST_GUILESS_MAIN(TestOnvifDevices)
#include "tst_onvifdevices.moc"
