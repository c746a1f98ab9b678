#include "DeviceListFormat.h"
#include "TestRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace {
CameraInfo record(const char *mac, const char *ip = "10.77.1.20")
{
    CameraInfo info = MakeReply(mac, ip);
    info.media_port = 8000;
    return info;
}

// A record whose texts hold everything a CSV or JSON writer can get wrong.
CameraInfo oddRecord()
{
    CameraInfo info = record("00:1A:2B:3C:4D:5E");
    WriteText(info.model_name, "Dome, \"outdoor\"\nline2");
    WriteText(info.manufacturer, "Caf\xe9 \xff\xfe");    // Latin-1, not UTF-8
    WriteText(info.version, "=HYPERLINK(\"x\")");        // a formula, to a spreadsheet
    std::memset(info.gateway, '7', sizeof info.gateway); // no NUL at all
    WriteText(info.dns, "\x1b[31mred\x07");              // terminal controls
    return info;
}
} // namespace

class TestDeviceListFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldsInTheirOrder()
    {
        CameraInfo info = record("00:1A:2B:3C:4D:5E");
        info.dhcp = 7; // any non-zero value is DHCP
        const DeviceFieldList fields = DeviceFields(info);
        QStringList names;
        for (const DeviceField &field : fields)
            names << QString(field.name);
        QCOMPARE(names,
                 QStringList({u"family"_s, u"mac"_s, u"ip"_s, u"mask"_s, u"gateway"_s, u"dns"_s, u"web_port"_s,
                              u"media_port"_s, u"https"_s, u"dhcp"_s, u"model"_s, u"manufacturer"_s, u"version"_s,
                              u"url"_s, u"endpoint"_s, u"service"_s, u"serial"_s, u"read_error"_s}));
        QCOMPARE(FieldValue(fields, "family"_L1), QJsonValue(u"own"_s));
        QCOMPARE(FieldValue(fields, "dhcp"_L1), QJsonValue(true));
        QCOMPARE(FieldValue(fields, "web_port"_L1), QJsonValue(80));

        WriteText(info.manufacturer, "Halvetrano");
        QCOMPARE(FieldValue(DeviceFields(info), "family"_L1), QJsonValue(u"vendor"_s));
        WriteText(info.manufacturer, "halvetrano"); // the family test is exact
        QCOMPARE(FieldValue(DeviceFields(info), "family"_L1), QJsonValue(u"own"_s));
    }

    void webAddress_data()
    {
        QTest::addColumn<int>("https");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("url");
        QTest::newRow("http default") << 0 << 80 << u"http://10.77.1.20"_s;
        QTest::newRow("http other") << 0 << 81 << u"http://10.77.1.20:81"_s;
        QTest::newRow("https default") << 1 << 443 << u"https://10.77.1.20"_s;
        QTest::newRow("https on 80") << 1 << 80 << u"https://10.77.1.20:80"_s;
        QTest::newRow("unknown scheme") << 2 << 80 << QString();
    }

    void webAddress()
    {
        QFETCH(int, https);
        QFETCH(int, port);
        QFETCH(QString, url);
        CameraInfo info = record("00:1A:2B:3C:4D:5E");
        info.https = static_cast<quint8>(https);
        info.web_port = static_cast<quint16>(port);
        QCOMPARE(DeviceWebAddress(info), url);
        QCOMPARE(FieldValue(DeviceFields(info), "url"_L1).toString(), url);
    }

    void textsAreUtf8OrLatin1()
    {
        QCOMPARE(DeviceText("Caf\xc3\xa9"), u"Caf\u00e9"_s);
        QCOMPARE(DeviceText("Caf\xe9"), u"Caf\u00e9"_s); // the same look, from Latin-1
        QCOMPARE(DeviceText("\xff\xfe\x80"), u"\u00ff\u00fe\u0080"_s);
        QCOMPARE(DeviceText("\xef\xbb\xbf"
                            "a"),
                 u"\ufeffa"_s); // nothing vanishes
    }

    void oddTextsGiveValidJson()
    {
        const QByteArray line = JsonObjectLine(DeviceFields(oddRecord()));
        QVERIFY(!line.contains('\n'));
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value("model"_L1).toString(), u"Dome, \"outdoor\"\nline2"_s);
        QCOMPARE(object.value("manufacturer"_L1).toString(), u"Caf\u00e9 \u00ff\u00fe"_s);
        QCOMPARE(object.value("gateway"_L1).toString(), QString(32, u'7'));
        QCOMPARE(object.value("dns"_L1).toString(), u"\x1b[31mred\x07"_s);
        QCOMPARE(object.value("web_port"_L1).toInt(), 80);
        QVERIFY(line.startsWith("{\"family\":\"own\",\"mac\":")); // the fields' order, not the alphabet's
    }

    void oddTextsSurviveCsv()
    {
        const QList<CameraInfo> records{oddRecord(), record("00:1A:2B:3C:4D:5F", "10.77.1.21")};
        const QByteArray csv = DevicesCsv(records);
        QVERIFY(csv.startsWith("family,mac,ip,mask,gateway,dns,web_port,media_port,https,dhcp,model,manufacturer,"
                               "version,url,endpoint,service,serial,read_error\n"));
        QVERIFY(csv.contains(",'=HYPERLINK(\"\"x\"\")\",") || csv.contains("\"'=HYPERLINK(\"\"x\"\")\""));
        QVERIFY(!QString::fromUtf8(csv).contains(QChar::ReplacementCharacter)); // valid UTF-8 throughout

        const QList<CsvRow> rows = ReadCsv(csv);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[2].line, 4); // the model's line break makes the first device two lines
        for (int i = 0; i < 2; ++i) {
            const DeviceFieldList fields = DeviceFields(records[i]);
            QStringList expected;
            for (const DeviceField &field : fields)
                expected << FieldText(field.value);
            QCOMPARE(rows[i + 1].cells, expected);
        }
    }

    void readsWhatSpreadsheetsWrite()
    {
        // A byte order mark, semicolons, CRLF, a quoted cell and trailing empty rows.
        const QList<CsvRow> rows = ReadCsv("\xef\xbb\xbfmac;ip\r\n\"00:1A;x\";10.77.1.5\r\n;\r\n;\r\n");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].cells, QStringList({u"mac"_s, u"ip"_s}));
        QCOMPARE(rows[1].cells, QStringList({u"00:1A;x"_s, u"10.77.1.5"_s}));
        QCOMPARE(ReadCsv("a,b\n1,2").last().cells, QStringList({u"1"_s, u"2"_s})); // no final line feed
    }

    void tableShowsNoControlCharacters()
    {
        const QByteArray table = DeviceTable({DeviceFields(oddRecord())}, {"mac"_L1, "dns"_L1, "model"_L1});
        QVERIFY(table.startsWith("MAC"));
        QVERIFY(!table.contains('\x1b'));
        QVERIFY(!table.contains('\x07'));
        QCOMPARE(table.count('\n'), 2); // the model's line break does not break the table
    }
};

QTEST_GUILESS_MAIN(TestDeviceListFormat)
#include "tst_devicelistformat.moc"
