#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

namespace {

QString withoutTrailingSlashes(QString address)
{
    address = address.trimmed();
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

// scheme://host[:port] with http or https, nothing after the authority.
bool isServerUrl(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty() && url.userInfo().isEmpty() && url.path().isEmpty() && !url.hasQuery()
           && !url.hasFragment();
}

}  // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("MoonLodge desktop client: chat, ideas, games, members and voice of your MoonLodge."));
    // Not addHelpOption(): its --help-all lists Qt's own options, which this parser does not take.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Displays this help."));
    parser.addOption(helpOption);
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("Community server address, such as https://moonlodge.example "
                       "(instead of the built-in one and of MOONLODGE_BASE_URL)."),
        QStringLiteral("URL"));
    parser.addOption(serverOption);

    CommandLine result;
    const QString program = QCoreApplication::applicationName();
    if (!parser.parse(arguments)) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("%1: %2\n").arg(program, parser.errorText());
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.m_action = Action::ShowHelp;
        result.m_output = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.m_action = Action::ShowVersion;
        result.m_output = QStringLiteral("%1 %2\n").arg(program, QCoreApplication::applicationVersion());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("%1: unexpected argument: %2\n")
                              .arg(program, parser.positionalArguments().constFirst());
        return result;
    }
    if (parser.isSet(serverOption)) {
        const QString address = withoutTrailingSlashes(parser.value(serverOption));
        if (!isServerUrl(address)) {
            result.m_action = Action::Fail;
            result.m_output = QStringLiteral("%1: --server needs an http or https address such as "
                                             "https://moonlodge.example, not: %2\n")
                                  .arg(program, parser.value(serverOption));
            return result;
        }
        result.m_serverUrl = address;
    }
    return result;
}
