#include "session/AppSettings.h"
#include "app/CommandLine.h"
#include "session/ServerEndpoints.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

namespace {

// Reads the command line before any window system is needed, so --help and
// --version work without a display. Returns the exit code when the program
// should stop here.
int readCommandLine(int argc, char* argv[])
{
    QCoreApplication probe(argc, argv);
    const CommandLine commandLine = CommandLine::parse(QCoreApplication::arguments());
    switch (commandLine.action()) {
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        std::fputs(qPrintable(commandLine.output()), stdout);
        return 0;
    case CommandLine::Action::Fail:
        std::fputs(qPrintable(commandLine.output()), stderr);
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    ServerEndpoints::setBaseUrlOverride(commandLine.serverUrl());
    return -1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationVersion(QStringLiteral(MOONLODGE_VERSION));
    const int exitCode = readCommandLine(argc, argv);
    if (exitCode >= 0)
        return exitCode;

    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppSettings::kDesktopId));
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(AppSettings::kDesktopId),
                                                 QIcon(QStringLiteral(":/icon/moonlodge.png"))));

    MainWindow window;
    window.show();
    return application.exec();
}
