#include "AddressPlan.h"
#include "DeviceListFormat.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestAddressPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheGivenSettingsOnly()
    {
        const AddressPlan plan = ReadAddressPlan("MAC,Ip,dhcp,web_port,user,notes\n"
                                                 "00:1A:2B:3C:4D:01,10.77.1.31,static,8080,admin,first floor\n"
                                                 "00:1A:2B:3C:4D:02,,TRUE,,,\n");
        QVERIFY(plan.error.isEmpty());
        QCOMPARE(plan.rows.size(), 2);
        const PlanRow &first = plan.rows[0];
        QCOMPARE(first.line, 2);
        QCOMPARE(first.mac, u"00:1A:2B:3C:4D:01"_s);
        QCOMPARE(first.ip, std::optional<QString>(u"10.77.1.31"_s));
        QCOMPARE(first.dhcp, std::optional<bool>(false));
        QCOMPARE(first.webPort, std::optional<int>(8080));
        QCOMPARE(first.user, std::optional<QString>(u"admin"_s));
        QVERIFY(!first.mask && !first.gateway && !first.dns);
        const PlanRow &second = plan.rows[1];
        QVERIFY(second.error.isEmpty());
        QVERIFY(!second.ip && !second.webPort && !second.user); // empty cells change nothing
        QCOMPARE(second.dhcp, std::optional<bool>(true));
    }

    void aMalformedRowFailsAloneWithItsReason_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no mac") << ",10.77.1.5,,"_ba << u"no MAC address"_s;
        QTest::newRow("bad ip") << "00:1A:2B:3C:4D:09,10.77.1.500,,"_ba << u"ip \"10.77.1.500\" is not"_s;
        QTest::newRow("ip with text") << "00:1A:2B:3C:4D:09,10.77.1.5x,,"_ba << u"ip \"10.77.1.5x\""_s;
        QTest::newRow("bad port") << "00:1A:2B:3C:4D:09,,0,"_ba << u"web_port \"0\""_s;
        QTest::newRow("port too big") << "00:1A:2B:3C:4D:09,,65536,"_ba << u"web_port \"65536\""_s;
        QTest::newRow("bad dhcp") << "00:1A:2B:3C:4D:09,,,maybe"_ba << u"dhcp \"maybe\""_s;
        QTest::newRow("listed twice") << "00:1a:2b:3c:4d:01,,,"_ba << u"listed twice"_s;
    }

    void aMalformedRowFailsAloneWithItsReason()
    {
        QFETCH(QByteArray, row);
        QFETCH(QString, reason);
        const AddressPlan plan = ReadAddressPlan("mac,ip,web_port,dhcp\n00:1A:2B:3C:4D:01,10.77.1.31,,\n" + row
                                                 + "\n00:1A:2B:3C:4D:03,10.77.1.33,,\n");
        QCOMPARE(plan.rows.size(), 3);
        QVERIFY(plan.rows[0].error.isEmpty());
        QVERIFY2(plan.rows[1].error.contains(reason), qPrintable(plan.rows[1].error));
        QCOMPARE(plan.rows[1].line, 3);
        QVERIFY(plan.rows[2].error.isEmpty());
    }

    void aFileWithoutMacColumnIsRefused()
    {
        QVERIFY(!ReadAddressPlan("").error.isEmpty());
        QVERIFY(!ReadAddressPlan("ip,mask\n10.77.1.5,255.255.255.0\n").error.isEmpty());
        QVERIFY(ReadAddressPlan("ip,mask\n").rows.isEmpty());
    }

    void anExportedListIsAPlan()
    {
        CameraInfo info{};
        WriteText(info.mac_addr, "00:1A:2B:3C:4D:01");
        WriteText(info.ip_addr, "10.77.1.20");
        WriteText(info.subnet_mask, "255.255.255.0");
        WriteText(info.model_name, "=cmd|' /C calc'!A0"); // neutralised in the file, ignored by the plan
        info.web_port = 80;
        const AddressPlan plan = ReadAddressPlan(DevicesCsv({info}));
        QCOMPARE(plan.rows.size(), 1);
        const PlanRow &row = plan.rows.front();
        QVERIFY2(row.error.isEmpty(), qPrintable(row.error));
        QCOMPARE(row.mac, u"00:1A:2B:3C:4D:01"_s);
        QCOMPARE(row.ip, std::optional<QString>(u"10.77.1.20"_s));
        QCOMPARE(row.webPort, std::optional<int>(80));
        QCOMPARE(row.dhcp, std::optional<bool>(false));
        QVERIFY(!row.gateway); // empty in the list: left as the device has it
    }

    void dottedQuads()
    {
        QVERIFY(IsDottedQuadText(u"0.0.0.0"_s));
        QVERIFY(IsDottedQuadText(u"255.255.255.255"_s));
        for (const char *bad : {"1.2.3", "1.2.3.4.5", "1..3.4", "256.1.1.1", " 1.2.3.4", "1.2.3.+4", "1.2.3.0004"})
            QVERIFY2(!IsDottedQuadText(QLatin1String(bad)), bad);
    }
};

QTEST_GUILESS_MAIN(TestAddressPlan)
#include "tst_addressplan.moc"
