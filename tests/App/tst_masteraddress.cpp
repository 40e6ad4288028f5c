// What a user may type as a master's address in the connect dialog.
#include "MasterAddress.h"

#include <QtTest>

class TestMasterAddress : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestMasterAddress::parse_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("ipv4");
    QTest::addColumn<QString>("text");

    const int ipv4 = int(MasterAddress::Kind::Ipv4);
    const int name = int(MasterAddress::Kind::HostName);
    const int invalid = int(MasterAddress::Kind::Invalid);
    const int empty = int(MasterAddress::Kind::Empty);

    QTest::newRow("address") << "192.168.1.10" << ipv4 << 0xC0A8010Au << "192.168.1.10";
    QTest::newRow("spaces around") << "  127.0.0.1 " << ipv4 << 0x7F000001u << "127.0.0.1";
    QTest::newRow("three numbers") << "10.0.0" << invalid << 0u << "10.0.0";
    QTest::newRow("five numbers") << "10.0.0.1.2" << invalid << 0u << "10.0.0.1.2";
    QTest::newRow("number over 255") << "10.0.0.256" << invalid << 0u << "10.0.0.256";
    QTest::newRow("empty part") << "10..0.1" << invalid << 0u << "10..0.1";
    QTest::newRow("no address") << "0.0.0.0" << invalid << 0u << "0.0.0.0";
    QTest::newRow("broadcast") << "255.255.255.255" << invalid << 0u << "255.255.255.255";
    QTest::newRow("multicast") << "224.0.0.251" << invalid << 0u << "224.0.0.251";
    QTest::newRow("with a port") << "192.168.1.10:8784" << invalid << 0u << "192.168.1.10:8784";
    QTest::newRow("IPv6") << "fe80::1" << invalid << 0u << "fe80::1";
    QTest::newRow("name") << "master-hall-1" << name << 0u << "master-hall-1";
    QTest::newRow("full name with its dot") << "master.site.example." << name << 0u << "master.site.example";
    QTest::newRow("name of digits and letters") << "10.0.0.x" << name << 0u << "10.0.0.x";
    QTest::newRow("hyphen first") << "-master" << invalid << 0u << "-master";
    QTest::newRow("underscore") << "master_1" << invalid << 0u << "master_1";
    QTest::newRow("space inside") << "master 1" << invalid << 0u << "master 1";
    QTest::newRow("label too long") << QString(64, QLatin1Char('a')) << invalid << 0u << QString(64, QLatin1Char('a'));
    QTest::newRow("last part a number") << "master.1" << invalid << 0u << "master.1";
    QTest::newRow("nothing") << "   " << empty << 0u << "";
}

void TestMasterAddress::parse()
{
    QFETCH(QString, typed);
    QFETCH(int, kind);
    QFETCH(uint, ipv4);
    QFETCH(QString, text);

    const MasterAddress address = MasterAddress::parse(typed);
    QCOMPARE(int(address.kind), kind);
    QCOMPARE(address.ipv4, quint32(ipv4));
    QCOMPARE(address.text, text);
    // Whatever cannot be used says why.
    QCOMPARE(address.problem.isEmpty(), address.isUsable());
}

QTEST_GUILESS_MAIN(TestMasterAddress)
#include "tst_masteraddress.moc"
