// Idle CPU of the client on each page: logs in as luna, opens the page, lets it
// settle, then measures the process's CPU time over a quiet window while the
// event loop runs (animations and timers included). Prints one line per page:
// "<page> <percent of one core>".
// Usage: bench_idle_cpu [SECONDS] [PAGE...]   pages: home chat profile ideas games members login
// The server comes from MOONLODGE_BASE_URL.
#include "shell/MainWindow.h"
#include "BenchHarness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <sys/resource.h>

#include <cstdio>

namespace {

using bench::runFor;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QPushButton* navButton(QWidget& window, const QString& text)
{
    for (QPushButton* button : window.findChildren<QPushButton*>(QStringLiteral("navButton")))
        if (button->text().compare(text, Qt::CaseInsensitive) == 0)
            return button;
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    const int seconds = !arguments.isEmpty() && arguments.first().toInt() > 0 ? arguments.takeFirst().toInt() : 10;
    if (arguments.isEmpty())
        arguments = {QStringLiteral("home"), QStringLiteral("chat"), QStringLiteral("profile")};

    MainWindow window;
    window.resize(1200, 750);
    window.show();
    runFor(1000);
    const auto measure = [seconds](const QString& page) {
        const double start = cpuSeconds();
        runFor(seconds * 1000);
        std::printf("%s %.1f\n", qPrintable(page), 100.0 * (cpuSeconds() - start) / seconds);
        std::fflush(stdout);
    };
    if (arguments.contains(QStringLiteral("login")))
        measure(QStringLiteral("login"));
    window.findChild<QLineEdit*>(QStringLiteral("loginUsernameField"))->setText(QStringLiteral("luna"));
    window.findChild<QLineEdit*>(QStringLiteral("loginPasswordField"))->setText(QStringLiteral("moonlodge"));
    window.findChild<QPushButton*>(QStringLiteral("loginButton"))->click();
    runFor(2000);

    for (const QString& page : arguments) {
        if (page == QStringLiteral("login"))
            continue;
        QPushButton* button = page == QStringLiteral("profile") ? window.findChild<QPushButton*>("profileButton")
                                                               : navButton(window, page);
        if (!button) {
            std::fprintf(stderr, "unknown page %s\n", qPrintable(page));
            continue;
        }
        button->click();
        runFor(3000);  // replies, avatars and first frames
        measure(page);
    }
    return 0;
}
