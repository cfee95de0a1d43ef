#include "app/CommandLine.h"

#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7")); }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("serverUrl");
        QTest::addColumn<QString>("outputContains");

        const int run = int(CommandLine::Action::Run);
        const int fail = int(CommandLine::Action::Fail);
        QTest::newRow("help") << QStringList{"--help"} << int(CommandLine::Action::ShowHelp) << QString()
                              << QStringLiteral("--server <URL>");
        QTest::newRow("version") << QStringList{"--version"} << int(CommandLine::Action::ShowVersion) << QString()
                                 << QStringLiteral(" 9.8.7\n");
        QTest::newRow("server") << QStringList{"--server", "https://lodge.example:8443/"} << run
                                << QStringLiteral("https://lodge.example:8443") << QString();
        QTest::newRow("other scheme") << QStringList{"--server", "ftp://lodge.example"} << fail << QString()
                                      << QStringLiteral("not: ftp://lodge.example");
        QTest::newRow("path") << QStringList{"--server", "https://lodge.example/api"} << fail << QString()
                              << QStringLiteral("--server");
        QTest::newRow("missing value") << QStringList{"--server"} << fail << QString() << QStringLiteral("server");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << fail << QString()
                                        << QStringLiteral("frobnicate");
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, outputContains);
        const CommandLine commandLine = CommandLine::parse(QStringList{"moonlodge-desktop"} + arguments);
        QTEST(int(commandLine.action()), "action");
        QTEST(commandLine.serverUrl(), "serverUrl");
        QVERIFY2(commandLine.output().contains(outputContains), qPrintable(commandLine.output()));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
