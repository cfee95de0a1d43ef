#pragma once

#include <QString>
#include <QStringList>

// The program's command line: --help, --version and --server URL.
class CommandLine
{
public:
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    // Reads the arguments (the program name first). The application's name and
    // version must be set before, as --version prints them.
    static CommandLine parse(const QStringList& arguments);

    Action action() const { return m_action; }
    // What to print for ShowHelp, ShowVersion and Fail.
    QString output() const { return m_output; }
    // The --server address without trailing slashes; empty when not given.
    QString serverUrl() const { return m_serverUrl; }

private:
    Action m_action = Action::Run;
    QString m_output;
    QString m_serverUrl;
};
